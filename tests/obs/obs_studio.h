// OBS Studio for one test: `obs` started for a private user (its own HOME and XDG_CONFIG_HOME in
// a scratch folder) on the test's VirtualDisplay, with its obs-websocket server on a free port,
// no first-run wizard, and, when given, one more plug-in module installed in that user's plug-in
// folder. Requests go through tests/obs/obs_request.py (python3-websockets) in a child process.
// The destructor stops OBS (SIGTERM, then SIGKILL) and removes the folder.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumacore::cli::test {

// One response of obs-websocket.
struct ObsResponse {
    bool ok = false;
    int code = 0;        // requestStatus.code (100: success)
    std::string type;    // requestType
    std::string comment; // requestStatus.comment, said when it failed
    // responseData's fields: strings as they are, the rest as JSON; a screenshot's data URL is
    // the path of the decoded file.
    std::map<std::string, std::string> data;
    std::string field(const std::string& key) const {
        const auto found = data.find(key);
        return found == data.end() ? "" : found->second;
    }
};

// The answer to a batch of requests, sent in order on one connection.
struct ObsAnswer {
    std::vector<ObsResponse> responses; // up to and including the first that failed
    std::string problem;                // empty when every request succeeded
};

class ObsStudio {
  public:
    // One line saying what is missing to run OBS here (obs, python3's websockets), or empty.
    static std::string missing();

    // Starts OBS and waits until its websocket answers. `module`, when given, is a plug-in
    // (NAME.so) installed as obs-studio/plugins/NAME/bin/64bit/NAME.so, with `data` (a folder,
    // when given) copied in as obs-studio/plugins/NAME/data. `environment` is OBS's besides.
    explicit ObsStudio(const std::filesystem::path& module = {},
                       const std::filesystem::path& data = {},
                       const EnvironmentChanges& environment = {});
    ~ObsStudio();
    ObsStudio(const ObsStudio&) = delete;
    ObsStudio& operator=(const ObsStudio&) = delete;

    // Empty when OBS runs and answers; otherwise one line saying why not.
    const std::string& problem() const { return problem_; }
    int port() const { return port_; }
    bool running() { return obs_ && obs_->running(); }

    // Sends `requests` (each a JSON object {"requestType": ..., "requestData": {...}}).
    ObsAnswer request(const std::vector<std::string>& requests);
    // One request; its response, or nullopt with `problem` set (to the failure's line).
    std::optional<ObsResponse> request(const std::string& request, std::string& problem);

    // Whether OBS's log lists `name` (NAME.so) among the modules it loaded.
    bool loaded(const std::string& module) const;
    // The end of OBS's log, for failure messages.
    std::string logTail(std::size_t characters = 3000) const;

    // SIGTERM, then SIGKILL when it has not ended within `seconds`; true when it ended by itself.
    bool stop(double seconds = 10);

  private:
    std::filesystem::path folder_;
    std::filesystem::path config_; // XDG_CONFIG_HOME
    int port_ = 0;
    std::unique_ptr<ChildProcess> obs_;
    std::string problem_;
    int batches_ = 0;
};

// A JSON string literal of `text`, quoted and escaped.
std::string jsonString(const std::string& text);

} // namespace lumacore::cli::test

// OBS reads global.ini before it starts obs-websocket: the [OBSWebSocket] keys turn the server on
// at the port chosen, without the password it would otherwise make up and without its first-load
// dialog; [General] FirstRun=false keeps the first-run wizard away. OBS makes its profile and
// scene collection ("Untitled", one scene "Scene") itself. Mesa's software renderer draws
// (LIBGL_ALWAYS_SOFTWARE), --disable-shutdown-check keeps a killed run's "safe mode" question
// away from the next one, and --multi the "already running" question away when another OBS runs
// on the machine (a user's own, another test run's). SIGTERM ends OBS within a few seconds.
#include "obs_studio.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

constexpr double kStartSeconds = 90;   // software rendering on two busy cores is slow to start
constexpr double kRequestSeconds = 30; // the most one batch of requests may take

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A TCP port nobody listens on now (the kernel's choice for a socket bound to port 0).
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', from);
        parts.push_back(line.substr(from, tab - from));
        if (tab == std::string::npos) return parts;
        from = tab + 1;
    }
}

// The responses in obs_request.py's --flat form.
std::vector<ObsResponse> parseFlat(const std::string& text) {
    std::vector<ObsResponse> responses;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> parts = splitTabs(line);
        if (line.starts_with('\t') && parts.size() >= 3 && !responses.empty()) {
            responses.back().data[parts[1]] = line.substr(parts[1].size() + 2);
        } else if (parts.size() >= 4) {
            ObsResponse response;
            response.ok = parts[0] == "1";
            response.code = std::atoi(parts[1].c_str());
            response.type = parts[2];
            response.comment = line.substr(parts[0].size() + parts[1].size() + parts[2].size() + 3);
            responses.push_back(std::move(response));
        }
    }
    return responses;
}

fs::path newestLog(const fs::path& logs) {
    fs::path newest;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(logs, ignored))
        if (newest.empty() || entry.path().filename() > newest.filename()) newest = entry.path();
    return newest;
}

} // namespace

std::string ObsStudio::missing() {
    if (!onPath("obs")) return "OBS Studio (obs) is not installed";
    if (!commandOutput({LUMACORE_OBS_PYTHON, "-c", "import websockets"}))
        return "python3-websockets is not installed for " LUMACORE_OBS_PYTHON;
    return "";
}

ObsStudio::ObsStudio(const fs::path& module, const fs::path& data,
                     const EnvironmentChanges& environment) {
    char name[] = "/tmp/lumacore-obs-XXXXXX";
    if (!::mkdtemp(name)) {
        problem_ = "cannot make a folder for OBS";
        return;
    }
    folder_ = name;
    config_ = folder_ / "config";
    const fs::path settings = config_ / "obs-studio";
    std::error_code error;
    fs::create_directories(settings, error);
    port_ = freePort();
    if (error || port_ == 0) {
        problem_ = "cannot prepare OBS's settings or find a free port";
        return;
    }
    std::ofstream(settings / "global.ini") << "[General]\nFirstRun=false\n\n"
                                           << "[OBSWebSocket]\nFirstLoad=false\n"
                                           << "ServerEnabled=true\nServerPort=" << port_
                                           << "\nAuthRequired=false\nAlertsEnabled=false\n";
    if (!module.empty()) {
        const std::string stem = module.stem().string();
        const fs::path plugin = settings / "plugins" / stem;
        fs::create_directories(plugin / "bin" / "64bit", error);
        if (!error) fs::copy_file(module, plugin / "bin" / "64bit" / module.filename(), error);
        if (!error) fs::create_directories(plugin / "data", error);
        if (!error && !data.empty())
            fs::copy(data, plugin / "data", fs::copy_options::recursive, error);
        if (error) {
            problem_ = "cannot install " + module.string() + " for OBS: " + error.message();
            return;
        }
    }
    EnvironmentChanges changes = environment;
    changes.insert({{"HOME", folder_.string()},
                    {"XDG_CONFIG_HOME", config_.string()},
                    {"XDG_CACHE_HOME", (folder_ / "cache").string()},
                    {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    try {
        obs_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"obs", "--disable-shutdown-check", "--minimize-to-tray",
                                     "--multi"},
            changes, folder_, folder_ / "obs.out", folder_ / "obs.err");
    } catch (const std::runtime_error& failure) {
        problem_ = failure.what();
        return;
    }
    std::string last;
    if (!pollUntil(
            [&] {
                if (!obs_->running()) return true;
                const ObsAnswer answer = request({});
                last = answer.problem;
                return answer.problem.empty();
            },
            kStartSeconds) ||
        !obs_->running())
        problem_ = "OBS " + std::string(obs_->running() ? "did not answer" : "ended") + " within " +
                   std::to_string(int(kStartSeconds)) + " s on port " + std::to_string(port_) +
                   " (" + last + "); its log ends: " + logTail(600);
}

ObsStudio::~ObsStudio() {
    stop();
    std::error_code ignored;
    if (!folder_.empty() && !std::getenv("LUMACORE_KEEP_OBS")) fs::remove_all(folder_, ignored);
}

bool ObsStudio::stop(double seconds) {
    if (!obs_ || !obs_->running()) return true;
    obs_->signal(SIGTERM);
    if (obs_->waitExit(seconds)) return true;
    obs_->stop(seconds);
    return false;
}

ObsAnswer ObsStudio::request(const std::vector<std::string>& requests) {
    ObsAnswer answer;
    const fs::path out = folder_ / ("batch-" + std::to_string(batches_++));
    std::vector<std::string> argv = {LUMACORE_OBS_PYTHON, LUMACORE_OBS_REQUEST, "--flat",
                                     folder_.string(), std::to_string(port_)};
    argv.insert(argv.end(), requests.begin(), requests.end());
    std::optional<int> code;
    try {
        ChildProcess client(argv, {}, {}, out.string() + ".out", out.string() + ".err");
        code = client.waitExit(kRequestSeconds);
    } catch (const std::runtime_error& failure) {
        answer.problem = failure.what();
        return answer;
    }
    answer.responses = parseFlat(readFile(out.string() + ".out"));
    if (!code) {
        answer.problem = "no answer within " + std::to_string(int(kRequestSeconds)) + " s";
    } else if (*code != 0) {
        std::string errors = readFile(out.string() + ".err");
        while (!errors.empty() && errors.back() == '\n')
            errors.pop_back();
        if (!answer.responses.empty() && !answer.responses.back().ok)
            answer.problem = answer.responses.back().type + " failed (" +
                             std::to_string(answer.responses.back().code) +
                             "): " + answer.responses.back().comment;
        else
            answer.problem = errors.empty() ? "obs_request.py failed" : errors;
    } else if (answer.responses.size() != requests.size()) {
        answer.problem = std::to_string(answer.responses.size()) + " responses to " +
                         std::to_string(requests.size()) + " requests";
    }
    return answer;
}

std::optional<ObsResponse> ObsStudio::request(const std::string& request, std::string& problem) {
    ObsAnswer answer = this->request(std::vector<std::string>{request});
    problem = answer.problem;
    if (!problem.empty()) return std::nullopt;
    return answer.responses.front();
}

bool ObsStudio::loaded(const std::string& module) const {
    const std::string log = readFile(newestLog(config_ / "obs-studio" / "logs"));
    const std::string loadedList = "Loaded Modules:";
    const std::size_t from = log.find(loadedList);
    if (from == std::string::npos) return false;
    const std::size_t to = log.find("---------", from);
    return log.substr(from, to - from).find(" " + module + ".so\n") != std::string::npos;
}

std::string ObsStudio::logTail(std::size_t characters) const {
    const std::string log = readFile(newestLog(config_ / "obs-studio" / "logs"));
    return log.size() > characters ? log.substr(log.size() - characters) : log;
}

std::string jsonString(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

} // namespace lumacore::cli::test

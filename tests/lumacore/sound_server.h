// A real PulseAudio server for one test, and recordings of what reaches its sink. The server runs
// in a private runtime folder with one null sink as the default; while it lives, PULSE_SERVER
// and XDG_RUNTIME_DIR point every child the test starts at it, and PULSE_CLIENTCONFIG keeps them
// from starting a server of their own.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumacore::cli::test {

class SoundServer {
  public:
    // Whether the pulseaudio, pactl and parec programs are there (tests skip without them).
    static bool installed();

    // Starts the server with a null sink `sink` and waits until it answers.
    explicit SoundServer(const std::string& sink = "lumacore_test");
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Empty when the server answers; otherwise one line saying why it does not.
    const std::string& problem() const { return problem_; }
    const std::string& sink() const { return sink_; }
    std::string monitor() const { return sink_ + ".monitor"; }
    // The value of PULSE_SERVER that reaches it.
    std::string address() const;

  private:
    void exportTo(const char* name, const std::string& value);

    std::string sink_;
    std::filesystem::path folder_;
    std::unique_ptr<ChildProcess> server_;
    std::string problem_;
    std::vector<std::pair<std::string, std::optional<std::string>>> replaced_;
};

// What reaches the server's sink from now until stop(), as parec writes it to a WAV file.
class Recording {
  public:
    // Starts recording the sink's monitor into `file` and waits until sound arrives.
    Recording(const SoundServer& server, const std::filesystem::path& file);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Empty while the recording runs or ended well; otherwise one line saying what went wrong.
    const std::string& problem() const { return problem_; }
    // Waits until `seconds` more sound than so far has arrived; false when it did not in time.
    bool waitForMore(double seconds);
    // Ends the recording; the file is then complete.
    void stop();
    // The recorded samples, interleaved, as floats from -1 to 1 (after stop()).
    std::vector<float> samples() const;
    int channels() const { return 2; }
    int sampleRate() const { return 44100; }

  private:
    double recordedSeconds() const;

    std::filesystem::path file_;
    std::unique_ptr<ChildProcess> parec_;
    std::string problem_;
};

} // namespace lumacore::cli::test

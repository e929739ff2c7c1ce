// Programs that the end-to-end tests start and keep running beside them (the program under test,
// a sound server, a recorder): each with its own changes to the environment, its output in
// files, and an end the test waits for with a deadline. A child still running when its owner
// goes is killed and reaped.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lumacore::cli::test {

// Changes to a child's environment: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

class ChildProcess {
  public:
    // Starts `argv` (found on PATH) in `folder` (empty: here) with standard output and error
    // going to the files named and standard input read from `input` (a pseudo-terminal's
    // slavePath(), for a program that reads keys there); throws std::runtime_error with one line
    // when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, const EnvironmentChanges& changes = {},
                 const std::filesystem::path& folder = {},
                 const std::filesystem::path& output = "/dev/null",
                 const std::filesystem::path& errors = "/dev/null",
                 const std::filesystem::path& input = "/dev/null");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Its exit code once it has ended within `seconds` (-1 when a signal ended it); nullopt
    // when it is still running then.
    std::optional<int> waitExit(double seconds);
    // The signal that ended it, or 0 (while it runs too).
    int endSignal() const { return endSignal_; }
    void signal(int number);
    // SIGTERM, then SIGKILL if it has not gone within `seconds`.
    void stop(double seconds = 5);

  private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    int endSignal_ = 0;
};

// A terminal for a child's standard input, typed into by the test as a user types.
class PseudoTerminal {
  public:
    // Throws std::runtime_error with one line when the system gives none.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The terminal's device, for the child to open.
    const std::string& slavePath() const { return slave_; }
    // Types `bytes` ("q", "\x1b[C" for Right); false when they could not be written.
    bool type(const std::string& bytes);
    // Whether the program has put the terminal in its key-by-key mode (no line editing), in
    // which each key reaches it as typed.
    bool keyByKey() const;
    // How many typed bytes the program has not read yet.
    int unread() const;

  private:
    int master_ = -1;
    int slaveFd_ = -1; // held, so that what is typed waits there for the program
    std::string slave_;
};

// Asks `condition` every 10 ms until it holds (true) or `seconds` have passed (false).
bool pollUntil(const std::function<bool()>& condition, double seconds);

// Runs `argv` to its end (at most `seconds`) and gives its standard output; nullopt when it
// failed, could not start or did not end in time.
std::optional<std::string> commandOutput(const std::vector<std::string>& argv,
                                         const EnvironmentChanges& changes = {},
                                         double seconds = 10);

// Whether `program` is an executable file on PATH.
bool onPath(const std::string& program);

} // namespace lumacore::cli::test

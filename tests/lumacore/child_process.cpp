// Children through posix_spawn with an edited copy of the environment; waiting polls waitpid.
#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lumacore::cli::test {
namespace {

std::vector<std::string> editedEnvironment(const EnvironmentChanges& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!changes.contains(text.substr(0, text.find('=')))) result.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value) result.push_back(name + "=" + *value);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const EnvironmentChanges& changes,
                           const std::filesystem::path& folder, const std::filesystem::path& output,
                           const std::filesystem::path& errors,
                           const std::filesystem::path& input) {
    if (argv.empty()) throw std::runtime_error("nothing to run");
    FileActions files;
    posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, input.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&files.actions, folder.c_str());
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = editedEnvironment(changes);
    const int error = posix_spawnp(&pid_, argv[0].c_str(), &files.actions, nullptr,
                                   pointers(arguments).data(), pointers(environment).data());
    if (error) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
}

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    const char* slave = nullptr;
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        (slave = ::ptsname(master_)) == nullptr) {
        const std::string reason = std::strerror(errno);
        if (master_ >= 0) ::close(master_);
        throw std::runtime_error("no pseudo-terminal: " + reason);
    }
    slave_ = slave;
    slaveFd_ = ::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
    if (slaveFd_ >= 0) ::close(slaveFd_);
    ::close(master_);
}

bool PseudoTerminal::keyByKey() const {
    termios mode{};
    return ::tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
}

int PseudoTerminal::unread() const {
    int count = 0;
    return slaveFd_ >= 0 && ::ioctl(slaveFd_, FIONREAD, &count) == 0 ? count : -1;
}

bool PseudoTerminal::type(const std::string& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exitCode_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::running() {
    if (exitCode_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exitCode_ = exitCodeOf(status);
    if (WIFSIGNALED(status)) endSignal_ = WTERMSIG(status);
    return false;
}

std::optional<int> ChildProcess::waitExit(double seconds) {
    pollUntil([this] { return !running(); }, seconds);
    return exitCode_;
}

void ChildProcess::signal(int number) {
    if (running()) ::kill(pid_, number);
}

void ChildProcess::stop(double seconds) {
    signal(SIGTERM);
    if (!waitExit(seconds)) {
        signal(SIGKILL);
        waitExit(seconds);
    }
}

bool pollUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::optional<std::string> commandOutput(const std::vector<std::string>& argv,
                                         const EnvironmentChanges& changes, double seconds) {
    char name[] = "/tmp/lumacore-command-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) return std::nullopt;
    ::close(fd);
    std::optional<std::string> result;
    try {
        ChildProcess child(argv, changes, {}, name);
        if (child.waitExit(seconds) == 0) {
            std::ifstream in(name, std::ios::binary);
            result.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    } catch (const std::runtime_error&) {
    }
    ::unlink(name);
    return result;
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t from = 0;
    while (from <= folders.size()) {
        std::size_t to = folders.find(':', from);
        if (to == std::string::npos) to = folders.size();
        const std::string candidate = folders.substr(from, to - from) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        from = to + 1;
    }
    return false;
}

} // namespace lumacore::cli::test

// `lumacore analyse` and the files beside its output, run as a user would: a file that carries the
// name of an old temporary file is never touched, and a run stopped by a signal leaves neither a
// partial file nor a changed output behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    return out;
}

// Ten hours of silence as 8 kHz 16-bit mono PCM: a sparse file, so it takes no room on disk, and
// long enough that an analysis of it is still running when the test stops it.
void writeLongSilence(const fs::path& path) {
    const std::uint32_t dataBytes = 8000u * 2 * 3600 * 10;
    std::string header = "RIFF" + littleEndian(36 + dataBytes, 4) + "WAVEfmt " +
                         littleEndian(16, 4) + littleEndian(1, 2) + littleEndian(1, 2) +
                         littleEndian(8000, 4) + littleEndian(16000, 4) + littleEndian(2, 2) +
                         littleEndian(16, 2) + "data" + littleEndian(dataBytes, 4);
    writeAll(path, header);
    fs::resize_file(path, header.size() + dataBytes);
}

// The program running in `folder`, its output thrown away; killed and reaped if the test ends
// while it still runs.
class Program {
  public:
    Program(const fs::path& folder, const std::vector<std::string>& args) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(LUMACORE_PROGRAM)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(LUMACORE_PROGRAM, argv.data());
        ::_exit(127);
    }
    ~Program() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool running() {
        if (pid_ > 0 && !ended_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return pid_ > 0 && !ended_;
    }
    void signal(int number) const { ::kill(pid_, number); }
    // The wait status once the program has ended within `deadline`; -1 if it is still running.
    int waitUntil(Clock::time_point deadline) {
        while (running() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ended_ ? status_ : -1;
    }

  private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder))
        result.insert(entry.path().filename().string());
    return result;
}

// Whether one of lumacore's hidden temporary files for `output` is in the folder.
bool hasTemporaryFor(const fs::path& folder, const std::string& output) {
    for (const std::string& name : names(folder))
        if (name.rfind("." + output + ".", 0) == 0 && name.ends_with(".part")) return true;
    return false;
}

class AnalyseProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-analyse-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    fs::path folder_;
};

// A finished run replaces its output and adds nothing else; a run stopped by a signal dies of it
// and leaves the folder exactly as it was. Either way "song.lmf.partial", the user's own file,
// keeps its bytes.
TEST_F(AnalyseProgram, KeepsOtherFilesAndLeavesNothingWhenStopped) {
    const struct {
        const char* what;
        std::vector<std::string> args;
        int signal; // 0: let it finish
    } cases[] = {
        {"finished (the demo tune)", {"analyse", "-o", "song.lmf"}, 0},
        {"SIGTERM", {"analyse", "long.wav", "-o", "song.lmf"}, SIGTERM},
        {"SIGINT", {"analyse", "long.wav", "-o", "song.lmf"}, SIGINT},
    };
    writeLongSilence(folder_ / "long.wav");
    for (const auto& c : cases) {
        writeAll(folder_ / "song.lmf", "an earlier analysis");
        writeAll(folder_ / "song.lmf.partial", "the user's own notes");
        const std::set<std::string> before = names(folder_);
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        Program run(folder_, c.args);
        if (c.signal != 0) {
            while (!hasTemporaryFor(folder_, "song.lmf") && run.running() &&
                   Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(run.running()) << c.what << ": ended before it could be stopped";
            ASSERT_TRUE(hasTemporaryFor(folder_, "song.lmf")) << c.what << ": no temporary file";
            run.signal(c.signal);
        }
        const int status = run.waitUntil(deadline);
        ASSERT_NE(status, -1) << c.what << ": still running";
        if (c.signal != 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.what;
            EXPECT_EQ(names(folder_), before) << c.what;
            EXPECT_EQ(readAll(folder_ / "song.lmf"), "an earlier analysis") << c.what;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what;
            EXPECT_EQ(names(folder_), before) << c.what;
            EXPECT_NE(readAll(folder_ / "song.lmf"), "an earlier analysis") << c.what;
        }
        EXPECT_EQ(readAll(folder_ / "song.lmf.partial"), "the user's own notes") << c.what;
    }
}

} // namespace

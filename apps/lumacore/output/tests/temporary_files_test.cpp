// Tests of the temporary files behind every file output: unique names beside the target,
// permissions, and removal by the interrupt handler when a render is killed.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "host/posix/temporary_files.h"
#include "output/frame_sink.h"
#include "test_support.h"

namespace lumacore::cli {
namespace {

using testing_support::bufferOf;
using testing_support::readFile;
using testing_support::ScratchFolder;
using testing_support::SineSource;
using testing_support::testPicture;
using testing_support::writeFile;

mode_t modeOf(const std::string& path) {
    struct stat info = {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(TemporaryFile, IsAUniqueHiddenNameBesideTheTarget) {
    ScratchFolder folder;
    TemporaryFile a(folder / "video.mp4");
    TemporaryFile b(folder / "video.mp4");
    EXPECT_NE(a.path(), b.path());
    const std::regex pattern(R"(\.video\.mp4\.[A-Za-z0-9]{6}\.part)");
    for (const std::string& name : folder.names())
        EXPECT_TRUE(std::regex_match(name, pattern)) << name;
    EXPECT_EQ(folder.names().size(), 2u);

    const std::string longName(250, 'n');
    TemporaryFile shortened(folder / longName);
    EXPECT_LE(std::filesystem::path(shortened.path()).filename().string().size(), 255u);
}

TEST(TemporaryFile, TakesUsualPermissionsOrThoseOfTheFileItReplaces) {
    ScratchFolder folder;
    const mode_t mask = ::umask(0022);
    {
        TemporaryFile fresh(folder / "new.png");
        fresh.commit();
        EXPECT_EQ(modeOf(folder / "new.png"), 0644u);

        writeFile(folder / "kept.png", "old");
        ::chmod((folder / "kept.png").c_str(), 0640);
        TemporaryFile replacing(folder / "kept.png");
        replacing.commit();
        EXPECT_EQ(modeOf(folder / "kept.png"), 0640u);
        EXPECT_EQ(readFile(folder / "kept.png"), "");
    }
    ::umask(mask);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"kept.png", "new.png"}));
}

// An output that is a symbolic link stays one: the file it points to is replaced, beside which
// the temporary file is made, however the link is written.
TEST(TemporaryFile, ReplacesWhatALinkPointsToAndKeepsTheLink) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // name, what it points to
        std::string replaced;                                   // the file that gets the bytes
    };
    const Case cases[] = {
        {"a relative link", {{"out.png", "real/file.png"}}, "real/file.png"},
        {"an absolute link", {{"out.png", "@/real/file.png"}}, "real/file.png"},
        {"a link to a link",
         {{"out.png", "hop.png"}, {"hop.png", "real/file.png"}},
         "real/file.png"},
        {"a link from a folder of its own",
         {{"out.png", "links/inner.png"}, {"links/inner.png", "../real/file.png"}},
         "real/file.png"},
        {"a link to a file not there yet", {{"out.png", "real/new.png"}}, "real/new.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        std::filesystem::create_directories(folder.path() / "real");
        std::filesystem::create_directories(folder.path() / "links");
        writeFile(folder / "real/file.png", "old");
        for (const auto& [name, to] : c.links) {
            const std::string target =
                to.starts_with("@") ? folder.path().string() + to.substr(1) : to;
            std::filesystem::create_symlink(target, folder.path() / name);
        }
        TemporaryFile file(folder / "out.png");
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(file.path()).parent_path(),
                                                (folder.path() / c.replaced).parent_path()))
            << file.path();
        ASSERT_EQ(::write(file.descriptor(), "new", 3), 3);
        file.commit();
        EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "out.png"));
        EXPECT_EQ(readFile(folder / c.replaced), "new");
        EXPECT_EQ(readFile(folder / "out.png"), "new");
    }
}

// A killed render: the handler removes the registered files and folders, then the process dies
// of the signal it got.
TEST(InterruptCleanup, RemovesTemporariesAndDiesOfTheSignal) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchFolder folder;
        writeFile(folder / "kept.mp4", "earlier render");
        const auto before = folder.names();
        EXPECT_EXIT(
            {
                installInterruptCleanup();
                SinkOptions options;
                options.width = 32;
                options.height = 24;
                options.sound = bufferOf(std::make_unique<SineSource>(44100, 5.0));
                auto video = openSink(folder / "kept.mp4", options);
                auto sequence = openSink(folder / "frames/", options);
                auto still = openSink(folder / "still.png", options);
                for (int i = 0; i < 5; ++i) {
                    video->write(testPicture(32, 24, i));
                    sequence->write(testPicture(32, 24, i));
                }
                std::raise(signal);
                std::exit(0);
            },
            ::testing::KilledBySignal(signal), "");
        EXPECT_EQ(folder.names(), before) << "signal " << signal;
        EXPECT_EQ(readFile(folder / "kept.mp4"), "earlier render");
    }
}

TEST(InterruptCleanup, LeavesAnIgnoredSignalIgnored) {
    ScratchFolder folder;
    const std::string path = folder / "registered";
    writeFile(path, "x");
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            installInterruptCleanup();
            registerTemporaryPath(path, false);
            std::raise(SIGHUP);
            std::exit(7);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_TRUE(std::filesystem::exists(path));
}

} // namespace
} // namespace lumacore::cli

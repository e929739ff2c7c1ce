// Tests of the progress line: silent unless standard error is a terminal, and a line that fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "output/progress.h"

namespace lumacore::cli {
namespace {

// Everything waiting on a descriptor, without blocking.
std::string drain(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

void run(int fd, bool enabled) {
    Progress progress(200, enabled, fd);
    for (int i = 0; i <= 200; ++i)
        progress.update(i);
    progress.finish();
}

TEST(ProgressBar, DrawsOnlyOnATerminalWhenEnabled) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    run(pipeEnds[1], true);
    EXPECT_EQ(drain(pipeEnds[0]), "") << "a pipe is not a terminal";
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);

    int controller = -1, terminal = -1;
    if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    run(terminal, false);
    EXPECT_EQ(drain(controller), "") << "disabled";

    run(terminal, true);
    const std::string shown = drain(controller);
    EXPECT_NE(shown.find('\r'), std::string::npos);
    EXPECT_NE(shown.find("100%  200/200"), std::string::npos) << shown;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), '\n') << "finish ends the line";
    EXPECT_LT(std::count(shown.begin(), shown.end(), '\r'), 50) << "201 quick updates";
    ::close(controller);
    ::close(terminal);
}

TEST(ProgressBar, LineFitsAndReportsSpeedAndTimeLeft) {
    struct Case {
        std::int64_t done, total;
        double seconds;
        int columns;
        const char* expected; // part of the line
        bool bar;
    };
    const Case cases[] = {
        {50, 200, 2.0, 120, " 25%  50/200  25.0 fps  ETA 0:06", true},
        {200, 200, 8.0, 120, "100%  200/200  25.0 fps  ETA 0:00", true},
        {0, 200, 0.0, 120, "  0%  0/200  -- fps  ETA --:--", true},
        {500, 200, 1.0, 120, "100%  200/200", true}, // a count beyond the total is clamped
        {30, 200, 1.0, 40, " 15%  30/200  30.0 fps  ETA 0:06", false},
        {7200, -1, 3725.0, 80, "7200 frames  1.9 fps  1:02:05", false},
        {1, 0, 1.0, 80, "100%  0/0", true}, // an empty render
    };
    for (const Case& c : cases) {
        const std::string line = progressLine(c.done, c.total, c.seconds, c.columns);
        EXPECT_NE(line.find(c.expected), std::string::npos) << line;
        EXPECT_LT(line.size(), static_cast<std::size_t>(c.columns)) << line;
        EXPECT_EQ(line.starts_with("["), c.bar) << line;
    }
    const std::string half = progressLine(100, 200, 1.0, 120);
    const auto filled = std::count(half.begin(), half.end(), '#');
    const auto empty = half.find(']') - 1 - filled;
    EXPECT_EQ(filled, static_cast<long>(empty)) << half;
}

} // namespace
} // namespace lumacore::cli

// What the bytes a terminal sends for a key mean to the wallpaper, which takes its keys there.
#include <gtest/gtest.h>

#include <string>

#include "live/terminal_keys.h"

namespace lumacore::cli {
namespace {

TEST(TerminalKeys, EachKeysBytesAreItsActionAndHowManyItTook) {
    struct Case {
        const char* name;
        std::string bytes;
        KeyAction action;
        std::size_t used; // 0: wait for more
    };
    // clang-format off
    const Case cases[] = {
        {"a letter", "q", KeyAction::Quit, 1},
        {"upper case", "Q", KeyAction::Quit, 1},
        {"a letter before the next", "dq", KeyAction::ToggleMode, 1},
        {"space", " ", KeyAction::Pause, 1},
        {"Enter as the terminal sends it", "\n", KeyAction::LeaveFullscreen, 1},
        {"Right", "\x1b[C", KeyAction::SeekForward, 3},
        {"Left in application mode", "\x1bOD", KeyAction::SeekBack, 3},
        {"Page Up", "\x1b[5~", KeyAction::PreviousEntry, 4},
        {"Page Down, then a letter", "\x1b[6~q", KeyAction::NextEntry, 4},
        {"F1", "\x1bOP", KeyAction::Help, 3},
        {"F1 as the Linux console sends it", "\x1b[11~", KeyAction::Help, 5},
        {"Escape alone", "\x1b", KeyAction::ToggleFullscreen, 1},
        {"a sequence cut in two", "\x1b[", KeyAction::None, 0},
        {"a sequence cut after its number", "\x1b[5", KeyAction::None, 0},
        {"an unknown sequence, passed over whole", "\x1b[1;5Aq", KeyAction::None, 6},
        {"a key without an action", "z", KeyAction::None, 1},
        // Nothing a key sends: dropped, so that the keys after it are not held back for ever.
        {"an endless sequence", "\x1b[" + std::string(40, '1'), KeyAction::None, 42},
        {"nothing", "", KeyAction::None, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t used = 99;
        EXPECT_EQ(actionForTerminalKey(c.bytes, used), c.action);
        EXPECT_EQ(used, c.used);
    }
}

} // namespace
} // namespace lumacore::cli

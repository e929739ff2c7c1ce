// The player stand-in driven in-process against the fake plug-in (fake_vis/): the module's
// lifecycle, the player window's answers and records, keys, message boxes, scripted actions,
// dumps read back pixel by pixel, frames playback and the log.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "draw_scripts.h"
#include "fake_vis/fake_vis.h"
#include "frames/frames_file.h"
#include "vishost/host_window.h"
#include "vishost/image_file.h"
#include "vishost/json_log.h"
#include "vishost/plugin.h"
#include "vishost/session.h"

namespace lumacore::vishost {
namespace {

using Args = std::vector<std::string>;

std::string tempPath(const std::string& name) {
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    return std::string(directory) + "vishost_test_" + name;
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// ---- reading pictures back, independently of the writers ----

std::uint32_t readLe(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | b.at(at + i);
    return value;
}

std::uint32_t readBe(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 | b.at(at + 3);
}

// Bit by bit, as the PNG specification defines it.
std::uint32_t slowCrc(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (crc & 1 ? 0xEDB88320u : 0);
    }
    return ~crc;
}

// Returns "" or the first thing wrong with the file.
std::string decodeBmp(const std::vector<unsigned char>& b, Image& image) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "not a BMP";
    if (readLe(b, 2, 4) != b.size()) return "file size field is wrong";
    const std::uint32_t offset = readLe(b, 10, 4);
    const int width = static_cast<int>(readLe(b, 18, 4));
    const int height = static_cast<int>(readLe(b, 22, 4));
    if (readLe(b, 14, 4) != 40 || readLe(b, 28, 2) != 24 || readLe(b, 30, 4) != 0)
        return "not a 24-bit uncompressed BMP";
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    if (offset + stride * height != b.size()) return "pixel data has the wrong size";
    image = {width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = offset + (height - 1 - y) * stride + x * 3;
            image.pixels[static_cast<std::size_t>(y) * width + x] =
                std::uint32_t{b[at + 2]} << 16 | b[at + 1] << 8 | b[at];
        }
    return "";
}

std::string decodePng(const std::vector<unsigned char>& b, Image& image) {
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 8 || !std::equal(signature, signature + 8, b.begin())) return "not a PNG";
    std::vector<unsigned char> idat;
    bool ended = false;
    for (std::size_t at = 8; at < b.size() && !ended;) {
        const std::uint32_t length = readBe(b, at);
        if (at + 12 + length > b.size()) return "chunk runs past the end";
        const std::string type(b.begin() + at + 4, b.begin() + at + 8);
        if (slowCrc(&b[at + 4], length + 4) != readBe(b, at + 8 + length))
            return "bad CRC on " + type;
        const std::vector<unsigned char> data(b.begin() + at + 8, b.begin() + at + 8 + length);
        if (type == "IHDR") {
            image.width = static_cast<int>(readBe(data, 0));
            image.height = static_cast<int>(readBe(data, 4));
            if (data[8] != 8 || data[9] != 2 || data[10] || data[11] || data[12])
                return "not 8-bit RGB without interlace";
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data.begin(), data.end());
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (!ended) return "no IEND";
    if (idat.size() < 6 || (idat[0] * 256 + idat[1]) % 31 != 0 || (idat[0] & 0x0F) != 8)
        return "bad zlib header";
    std::vector<unsigned char> raw;
    std::size_t at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > idat.size()) return "deflate data cut short";
        last = idat[at] & 1;
        if ((idat[at] >> 1) != 0) return "not a stored block";
        const std::uint32_t length = readLe(idat, at + 1, 2);
        if ((length ^ readLe(idat, at + 3, 2)) != 0xFFFF) return "LEN and NLEN disagree";
        at += 5;
        if (at + length > idat.size()) return "stored block cut short";
        raw.insert(raw.end(), idat.begin() + at, idat.begin() + at + length);
        at += length;
    }
    std::uint32_t s1 = 1, s2 = 0;
    for (unsigned char c : raw)
        s1 = (s1 + c) % 65521, s2 = (s2 + s1) % 65521;
    if (at + 4 != idat.size() || readBe(idat, at) != (s2 << 16 | s1)) return "bad Adler-32";
    const std::size_t row = 1 + 3 * static_cast<std::size_t>(image.width);
    if (raw.size() != row * image.height) return "image data has the wrong size";
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        if (raw[y * row] != 0) return "unexpected filter type";
        for (int x = 0; x < image.width; ++x) {
            const unsigned char* p = &raw[y * row + 1 + 3 * x];
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                std::uint32_t{p[0]} << 16 | p[1] << 8 | p[2];
        }
    }
    return "";
}

std::string decodeFile(const std::string& path, Image& image) {
    const std::vector<unsigned char> bytes = readBytes(path);
    return path.size() > 4 && path.substr(path.size() - 4) == ".bmp" ? decodeBmp(bytes, image)
                                                                     : decodePng(bytes, image);
}

// ---- a minimal JSON checker: is the text one well-formed JSON value? ----

class JsonChecker {
  public:
    explicit JsonChecker(const std::string& text) : t_(text) {}
    bool valid() {
        const bool ok = value();
        space();
        return ok && i_ == t_.size();
    }

  private:
    void space() {
        while (i_ < t_.size() && std::string(" \n\r\t").find(t_[i_]) != std::string::npos)
            ++i_;
    }
    bool eat(char c) {
        space();
        if (i_ < t_.size() && t_[i_] == c) return ++i_, true;
        return false;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (t_.compare(i_, w.size(), w) != 0) return false;
        i_ += w.size();
        return true;
    }
    bool string() {
        if (!eat('"')) return false;
        while (i_ < t_.size() && t_[i_] != '"') {
            const auto c = static_cast<unsigned char>(t_[i_++]);
            if (c < 0x20 || c >= 0x80) return false; // the log is plain ASCII
            if (c == '\\') {
                if (i_ >= t_.size()) return false;
                const char e = t_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (i_ >= t_.size() || !std::isxdigit(static_cast<unsigned char>(t_[i_++])))
                            return false;
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            }
        }
        return eat('"');
    }
    bool number() {
        const std::size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '-') ++i_;
        while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_])))
            ++i_;
        return i_ > start && std::isdigit(static_cast<unsigned char>(t_[i_ - 1]));
    }
    bool value() {
        space();
        if (i_ >= t_.size()) return false;
        switch (t_[i_]) {
        case '{':
            ++i_;
            if (eat('}')) return true;
            do {
                if (!string() || !eat(':') || !value()) return false;
            } while (eat(','));
            return eat('}');
        case '[':
            ++i_;
            if (eat(']')) return true;
            do {
                if (!value()) return false;
            } while (eat(','));
            return eat(']');
        case '"':
            return string();
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }
    const std::string& t_;
    std::size_t i_ = 0;
};

// ---- the fixture: the fake plug-in stays loaded so that its event list outlives each run ----

class VisHost : public ::testing::Test {
  protected:
    void SetUp() override {
        dll_ = LoadLibraryA(fakevis::kDllName);
        ASSERT_NE(dll_, nullptr) << "cannot load " << fakevis::kDllName;
        events_ = reinterpret_cast<fakevis::EventsFunction>(
            reinterpret_cast<void*>(GetProcAddress(dll_, "fakeVisEvents")));
        reset_ = reinterpret_cast<fakevis::ResetFunction>(
            reinterpret_cast<void*>(GetProcAddress(dll_, "fakeVisReset")));
        ASSERT_TRUE(events_ && reset_);
    }
    void TearDown() override {
        for (const std::string& path : cleanup_)
            std::remove(path.c_str());
        if (dll_) FreeLibrary(dll_);
    }

    Report run(const Args& args, bool threaded = false) {
        reset_();
        Args all = {fakevis::kDllName, "--no-delay", threaded ? "--threaded" : "--single-thread"};
        all.insert(all.end(), args.begin(), args.end());
        return runSession(parseCommandLine(all));
    }

    // The fake's events whose name is one of `names` (the part before the first colon).
    std::vector<std::string> events(const std::vector<std::string>& names) const {
        std::vector<std::string> kept;
        for (const std::string& event : split(events_(), ';'))
            for (const std::string& name : names)
                if (event == name || startsWith(event, name + ":")) kept.push_back(event);
        return kept;
    }

    // The same, cut at each "render": entry k holds what came before the k-th render.
    std::vector<std::vector<std::string>>
    eventsPerFrame(const std::vector<std::string>& names) const {
        std::vector<std::vector<std::string>> frames(1);
        for (const std::string& event : split(events_(), ';')) {
            if (event == "render") {
                frames.emplace_back();
                continue;
            }
            for (const std::string& name : names)
                if (event == name || startsWith(event, name + ":")) frames.back().push_back(event);
        }
        return frames;
    }

    std::string temp(const std::string& name) {
        cleanup_.push_back(tempPath(name));
        return cleanup_.back();
    }

    std::string writeFrames(const std::string& name, const std::vector<Frame>& frames,
                            std::uint32_t sampleRate = 44100) {
        const std::string path = temp(name);
        FramesWriter writer(path, sampleRate, {60, 1});
        for (const Frame& frame : frames)
            writer.append(frame);
        writer.finish();
        return path;
    }

    HMODULE dll_ = nullptr;
    fakevis::EventsFunction events_ = nullptr;
    fakevis::ResetFunction reset_ = nullptr;
    std::vector<std::string> cleanup_;
};

std::vector<Frame> randomFrames(int count, std::uint64_t seed) {
    testing::Random random(seed);
    std::vector<Frame> frames(count);
    for (int k = 0; k < count; ++k) {
        frames[k].timeUs = 16667ull * k;
        for (auto* rows : {&frames[k].spectrum, &frames[k].waveform})
            for (auto& row : *rows)
                for (unsigned char& v : row)
                    v = static_cast<unsigned char>(random.next());
        frames[k].spectrum[0][0] = 0; // never the stop marker
    }
    return frames;
}

const WindowSnapshot* findRole(const Snapshot& snapshot, const std::string& role) {
    for (const WindowSnapshot& window : snapshot.windows)
        if (window.role == role) return &window;
    return nullptr;
}

const Snapshot* findSnapshot(const Report& report, const std::string& label) {
    for (const Snapshot& snapshot : report.snapshots)
        if (snapshot.label == label) return &snapshot;
    return nullptr;
}

std::vector<RecordedMessage> messagesNumbered(const Report& report, unsigned message) {
    std::vector<RecordedMessage> found;
    for (const RecordedMessage& m : report.messages)
        if (m.message == message) found.push_back(m);
    return found;
}

// ---- lifecycle ----

TEST_F(VisHost, DrivesTheModuleLifecycleAsAPlayerDoes) {
    const struct {
        const char* name;
        Args args;
        bool threaded;
        int initResult, frames;
        const char* endReason;
        bool quit;
        const char* lifecycle; // the module's calls and its window's end, in order
    } cases[] = {
        // clang-format off
        {"three frames", {"--count", "3"}, false, 0, 3, "count", true,
         "init render render render quit destroy"},
        {"three frames, vis thread", {"--count", "3"}, true, 0, 3, "count", true,
         "init render render render quit destroy"},
        {"no frames", {"--count", "0"}, false, 0, 0, "count", true, "init quit destroy"},
        {"failed Init", {"--module", "1", "--count", "3"}, false, 1, 0, "init-failed", false,
         "init-failed"},
        {"failed Init, vis thread", {"--module", "1", "--count", "3"}, true, 1, 0, "init-failed",
         false, "init-failed"},
        {"window closed", {"--count", "5", "--at", "2:close"}, false, 0, 2, "quit-message", true,
         "init render render destroy quit"},
        {"window closed, vis thread", {"--count", "5", "--at", "2:close"}, true, 0, 2,
         "quit-message", true, "init render render destroy quit"},
        {"closed after the last frame", {"--count", "2", "--at", "2:close"}, false, 0, 2, "count",
         true, "init render render destroy quit"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Report report = run(c.args, c.threaded);
        EXPECT_TRUE(report.errors.empty()) << report.errors.front();
        EXPECT_TRUE(report.initCalled);
        EXPECT_EQ(report.initResult, c.initResult);
        EXPECT_EQ(report.framesRendered, c.frames);
        EXPECT_EQ(report.endReason, c.endReason);
        EXPECT_EQ(report.quitCalled, c.quit);
        EXPECT_EQ(events({"init", "init-failed", "render", "quit", "destroy"}),
                  split(c.lifecycle, ' '));
        EXPECT_EQ(exitCodeFor(report), c.initResult == 0 ? 0 : 1);
        ASSERT_FALSE(report.snapshots.empty());
        EXPECT_EQ(report.snapshots.back().label, "end");
    }
}

TEST_F(VisHost, FillsTheRecordBeforeInit) {
    const std::vector<Frame> frames = randomFrames(1, 3);
    const struct {
        Args args;
        const char* fields;
    } cases[] = {
        {{"--count", "1"}, "fields:44100:2:LumacoreVisHost:self"},
        {{"--frames", writeFrames("rate.lmcf", frames, 48000)},
         "fields:48000:2:LumacoreVisHost:self"},
    };
    for (const auto& c : cases) {
        const Report report = run(c.args);
        EXPECT_EQ(events({"fields"}), std::vector<std::string>{c.fields});
        EXPECT_EQ(report.moduleDescription, "Fake Vis");
        EXPECT_EQ(report.headerDescription, "Fake Plug-in");
    }
}

TEST_F(VisHost, FailedInitIsReportedByItsMessageBoxAndNeverQuit) {
    const Report report = run({"--module", "1", "--count", "2", "--at", "1:config"});
    EXPECT_TRUE(report.messageBoxHooked);
    ASSERT_EQ(report.messageBoxes.size(), 1u);
    const MessageBoxRecord& box = report.messageBoxes[0];
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "Cannot start");
    EXPECT_EQ(box.ownerClass, kHostWindowClass);
    EXPECT_EQ(box.flags, static_cast<unsigned>(MB_OK));
    // Actions for frames that never came are reported as such.
    ASSERT_EQ(report.actions.size(), 1u);
    EXPECT_FALSE(report.actions[0].applied);
    EXPECT_NE(report.actions[0].error.find("not reached"), std::string::npos);
}

// ---- the player window ----

TEST_F(VisHost, AnswersPlaylistQueriesAndRecordsThem) {
    const struct {
        const char* name;
        Args playlist;
        const char* listPos;
        std::optional<std::string> title;
    } cases[] = {
        {"second of three", {"--title", "One", "--title", "Two", "--title", "Three"}, "1", "Two"},
        {"null entry", {"--title", "One", "--null-title"}, "1", std::nullopt},
        {"past the end", {"--title", "One"}, "3", std::nullopt},
        {"empty playlist", {}, "0", std::nullopt},
        {"negative position", {"--title", "One"}, "-1", std::nullopt},
        {"odd bytes", {"--title", "Caf\xE9 \"live\" \\ \x01"}, "0", "Caf\xE9 \"live\" \\ \x01"},
    };
    for (const bool threaded : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (threaded ? ", vis thread" : ""));
            Args args = c.playlist;
            args.insert(args.end(), {"--list-pos", c.listPos, "--count", "2", "--at", "1:timer"});
            const Report report = run(args, threaded);
            const int pos = std::stoi(c.listPos);
            EXPECT_EQ(events({"title"}),
                      std::vector<std::string>{"title:" + std::to_string(pos) + ":" +
                                               c.title.value_or("(null)")});

            const std::vector<RecordedMessage> queries = messagesNumbered(report, WM_USER);
            ASSERT_EQ(queries.size(), 2u);
            EXPECT_EQ(queries[0].lParam, kIpcGetListPos);
            EXPECT_EQ(queries[0].result, pos);
            EXPECT_EQ(queries[1].lParam, kIpcGetPlaylistTitle);
            EXPECT_EQ(queries[1].wParam, static_cast<WPARAM>(pos));
            EXPECT_EQ(queries[1].title, c.title);
            EXPECT_EQ(queries[1].result == 0, !c.title.has_value());
            EXPECT_LT(queries[0].sequence, queries[1].sequence);
            for (const RecordedMessage& query : queries) {
                EXPECT_FALSE(query.posted); // sent, and answered at once
                EXPECT_EQ(query.frame, 1);
            }
        }
    }
}

// ---- keys ----

struct KeyEvent {
    std::string name;
    unsigned code;
    DWORD lParam;
};

std::vector<KeyEvent> keyEvents(const std::vector<std::string>& events) {
    std::vector<KeyEvent> keys;
    for (const std::string& event : events) {
        const std::vector<std::string> parts = split(event, ':');
        keys.push_back(
            {parts[0], static_cast<unsigned>(std::stoul(parts[1], nullptr, 16)),
             parts.size() > 2 ? static_cast<DWORD>(std::stoul(parts[2], nullptr, 16)) : 0});
    }
    return keys;
}

TEST_F(VisHost, KeysReachThePlugInTranslatedAndForwardedKeysAreRecordedUnchanged) {
    const struct {
        const char* action;
        std::vector<std::string> seen; // name:code as the plug-in's window got them
        bool extended;
    } cases[] = {
        {"key:a", {"keydown:0x41", "char:0x61", "keyup:0x41"}, false},
        {"key:tab", {"keydown:0x9", "char:0x9", "keyup:0x9"}, false},
        {"key:escape", {"keydown:0x1B", "char:0x1B", "keyup:0x1B"}, false},
        {"key:enter", {"keydown:0xD", "char:0xD", "keyup:0xD"}, false},
        {"key:left", {"keydown:0x25", "keyup:0x25"}, true}, // no character
        {"keydown:0x42", {"keydown:0x42", "char:0x62"}, false},
        {"keyup:0x43", {"keyup:0x43"}, false},
        {"char:65", {"char:0x41"}, false},
        {"char:z", {"char:0x7A"}, false},
    };
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "vis thread" : "one thread");
        // One action a frame: what the plug-in saw between two renders came from that action.
        Args args = {"--count", std::to_string(std::size(cases) + 1)};
        for (std::size_t i = 0; i < std::size(cases); ++i)
            args.insert(args.end(), {"--at", std::to_string(i + 1) + ":" + cases[i].action});
        const Report report = run(args, threaded);
        const std::vector<std::vector<std::string>> frames =
            eventsPerFrame({"keydown", "keyup", "char"});
        ASSERT_GT(frames.size(), std::size(cases));

        std::vector<KeyEvent> releases;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            SCOPED_TRACE(c.action);
            const std::vector<KeyEvent> keys = keyEvents(frames[i + 1]);
            std::vector<std::string> seen;
            for (const KeyEvent& key : keys) {
                char text[32];
                std::snprintf(text, sizeof text, "%s:0x%X", key.name.c_str(), key.code);
                seen.push_back(text);
            }
            EXPECT_EQ(seen, c.seen);

            // A keyboard's lParam: one repeat, a scan code, the extended flag, and the
            // previous-state and transition bits set on release only.
            for (const KeyEvent& key : keys) {
                if (key.name == "char") continue;
                EXPECT_EQ(key.lParam & 0xFFFF, 1u) << key.name;
                EXPECT_NE((key.lParam >> 16) & 0xFF, 0u) << key.name;
                EXPECT_EQ(((key.lParam >> 24) & 1) != 0, c.extended) << key.name;
                EXPECT_EQ(key.lParam >> 30, key.name == "keyup" ? 3u : 0u) << key.name;
                if (key.name == "keyup") releases.push_back(key);
            }
        }

        // Every release the plug-in forwarded reached the player window as it was.
        const std::vector<RecordedMessage> forwarded = messagesNumbered(report, WM_KEYUP);
        ASSERT_EQ(forwarded.size(), releases.size());
        for (std::size_t i = 0; i < forwarded.size(); ++i) {
            EXPECT_EQ(forwarded[i].wParam, releases[i].code);
            EXPECT_EQ(static_cast<DWORD>(forwarded[i].lParam), releases[i].lParam);
            EXPECT_TRUE(forwarded[i].posted);
        }
    }
}

// ---- message boxes ----

TEST_F(VisHost, MessageBoxesAreRecordedAndAnsweredWithoutBlocking) {
    const Report report = run(
        {"--count", "4", "--at", "1:command:4242", "--at", "2:config", "--at", "3:command:4242"});
    EXPECT_EQ(report.framesRendered, 4);
    EXPECT_EQ(events({"msgbox"}), (std::vector<std::string>{"msgbox:1", "msgbox:1"}));
    ASSERT_EQ(report.messageBoxes.size(), 3u);
    const struct {
        const char* caption;
        const char* text;
        unsigned flags;
        int frame;
    } expected[] = {
        {fakevis::kBoxCaption, fakevis::kBoxText, fakevis::kBoxFlags, 1},
        {"Fake Vis", "Fake configuration", MB_OK, 2},
        {fakevis::kBoxCaption, fakevis::kBoxText, fakevis::kBoxFlags, 3},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const MessageBoxRecord& box = report.messageBoxes[i];
        EXPECT_EQ(box.caption, expected[i].caption) << i;
        EXPECT_EQ(box.text, expected[i].text) << i;
        EXPECT_EQ(box.flags, expected[i].flags) << i;
        EXPECT_EQ(box.frame, expected[i].frame) << i;
        EXPECT_EQ(box.ownerClass, kHostWindowClass) << i;
        EXPECT_EQ(box.answer, IDOK) << i;
        if (i > 0) {
            EXPECT_GT(box.sequence, report.messageBoxes[i - 1].sequence);
        }
    }
}

// ---- windows and actions ----

TEST_F(VisHost, WindowActionsReachThePlugInWindow) {
    const struct {
        const char* name;
        Args actions;
        const char* events; // what the window noted, in order
        int clientWidth, clientHeight;
        bool iconic;
    } cases[] = {
        // clang-format off
        {"resize", {"1:resize:160,100"}, "size:160,100", 160, 100, false},
        {"resize twice", {"1:resize:300,50", "2:resize:120,90"}, "size:300,50 size:120,90", 120,
         90, false},
        {"mouse", {"1:mouse:12,34", "2:mouse:-3,7"}, "mouse:12,34 mouse:-3,7", 200, 120, false},
        {"command", {"1:command:77", "1:command:78:1"}, "command:77:0 command:78:1", 200, 120,
         false},
        {"timer", {"2:timer:9"}, "title:0:(null)", 200, 120, false},
        {"minimise", {"1:minimise"}, "size:0,0", 0, 0, true},
        {"minimise, restore", {"1:minimise", "2:restore"}, "size:0,0", 200, 120, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Args args = {"--count", "3"};
        for (const std::string& action : c.actions)
            args.insert(args.end(), {"--at", action});
        const Report report = run(args);
        for (const ActionRecord& action : report.actions) {
            EXPECT_TRUE(action.applied) << action.text;
            EXPECT_EQ(action.error, "") << action.text;
        }
        // Creating and showing the window size it to 200 x 120 first.
        std::vector<std::string> seen;
        for (const std::string& event : events({"mouse", "command", "title", "size"}))
            if (event != "size:200,120") seen.push_back(event);
        EXPECT_EQ(seen, split(c.events, ' '));

        const WindowSnapshot* window = findRole(report.snapshots.back(), "window");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->className, fakevis::kWindowClass);
        EXPECT_EQ(window->iconic, c.iconic);
        if (!c.iconic) {
            EXPECT_EQ(window->clientWidth, c.clientWidth);
            EXPECT_EQ(window->clientHeight, c.clientHeight);
        }
        EXPECT_EQ(window->title, "Fake Vis");
        EXPECT_EQ(window->ownerRole, "none");
        EXPECT_TRUE(window->visible);
        EXPECT_EQ(window->style & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    }
}

TEST_F(VisHost, DialogActionsDriveTheOpenDialog) {
    const std::string picture = temp("dialog.png");
    const Report report =
        run({"--count", "4", "--at", "1:command:4243", "--at", "2:slider:1000:7", "--at",
             "2:slider:1000:3:thumbtrack", "--at", "2:slider:1000:12:pagedown", "--at",
             "2:slider:1000:5:8", "--at", "3:click:1008", "--at", "3:dump-dialog:" + picture});
    for (const ActionRecord& action : report.actions)
        EXPECT_EQ(action.error, "") << action.text;
    EXPECT_EQ(
        events({"dialog", "hscroll", "dlgcommand"}),
        (std::vector<std::string>{"dialog", "hscroll:4:7:1000", "hscroll:5:3:1000",
                                  "hscroll:3:12:1000", "hscroll:8:5:1000", "dlgcommand:1008:0"}));

    const Snapshot* atDump = findSnapshot(report, "dump-dialog:" + picture);
    ASSERT_NE(atDump, nullptr);
    const WindowSnapshot* dialog = findRole(*atDump, "dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->className, "#32770");
    EXPECT_EQ(dialog->title, "Fake Settings");
    EXPECT_EQ(dialog->ownerRole, "player");
    EXPECT_TRUE(dialog->visible);
    ASSERT_NE(findRole(*atDump, "window"), nullptr); // the plug-in's window is not the dialog

    ASSERT_EQ(report.dumps.size(), 1u);
    EXPECT_TRUE(report.dumps[0].dialog);
    EXPECT_EQ(report.dumps[0].error, "");
    Image image;
    ASSERT_EQ(decodeFile(picture, image), "");
    EXPECT_EQ(image.width, dialog->clientWidth);
    EXPECT_EQ(image.height, dialog->clientHeight);
}

TEST_F(VisHost, ActionsThatCannotApplySayWhy) {
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"--at", "1:slider:1000:5"}, "no open dialog"},
        {{"--at", "1:click:1"}, "no open dialog"},
        {{"--at", "1:command:4243", "--at", "2:click:77"}, "no control 77"},
        {{"--at", "1:dump-dialog:" + tempPath("none.png")}, "no open dialog"},
        {{"--at", "1:dump:" + tempPath("picture.gif")}, "unknown picture type"},
        {{"--at", "1:close", "--at", "2:key:a"}, "not reached"},
        {{"--at", "1:minimise", "--at", "2:dump:" + tempPath("iconic.png")},
         "client area is empty"},
        {{"--at", "9:timer"}, "not reached"},
        {{"--at", "1:resize:10,10"}, "the client area became"}, // below the smallest frame
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        Args args = {"--count", "3"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Report report = run(args);
        EXPECT_NE(report.actions.back().error.find(c.error), std::string::npos)
            << report.actions.back().error;
        EXPECT_EQ(exitCodeFor(report), 1);
    }
}

// ---- dumps and frames playback ----

TEST_F(VisHost, DumpsHoldWhatTheLastRenderDrew) {
    const std::vector<Frame> frames = randomFrames(3, 21);
    const std::string path = writeFrames("dumps.lmcf", frames);
    const struct {
        const char* file;
        int at;        // the frame before which it is taken
        int drawnFrom; // the frame whose render it shows
        int width, height;
    } dumps[] = {
        {"first.bmp", 1, 0, 200, 120},
        {"first.png", 1, 0, 200, 120},
        {"resized.png", 3, 2, 151, 89}, // after the last frame; the window was resized at 2
        {"resized.bmp", 3, 2, 151, 89},
    };
    Args args = {"--frames", path, "--at", "2:resize:151,89"};
    for (const auto& d : dumps)
        args.insert(args.end(), {"--at", std::to_string(d.at) + ":dump:" + temp(d.file)});
    const Report report = run(args);
    EXPECT_EQ(report.endReason, "frames-ended");
    EXPECT_EQ(report.framesRendered, 3);
    ASSERT_EQ(report.dumps.size(), std::size(dumps));

    for (std::size_t i = 0; i < std::size(dumps); ++i) {
        const auto& d = dumps[i];
        SCOPED_TRACE(d.file);
        EXPECT_EQ(report.dumps[i].error, "");
        EXPECT_EQ(report.dumps[i].width, d.width);
        EXPECT_EQ(report.dumps[i].height, d.height);
        Image image;
        ASSERT_EQ(decodeFile(tempPath(d.file), image), "");
        ASSERT_EQ(image.width, d.width);
        ASSERT_EQ(image.height, d.height);
        int wrong = 0;
        const Frame& frame = frames[d.drawnFrom];
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                if (image.at(x, y) !=
                    fakevis::patternPixel(frame.spectrum, frame.waveform, x, y, d.height))
                    ++wrong;
        EXPECT_EQ(wrong, 0);

        const Snapshot* snapshot = findSnapshot(report, "dump:" + tempPath(d.file));
        ASSERT_NE(snapshot, nullptr);
        EXPECT_EQ(snapshot->frame, d.at);
        const WindowSnapshot* window = findRole(*snapshot, "window");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->clientWidth, d.width);
        EXPECT_EQ(window->clientHeight, d.height);
    }
}

TEST_F(VisHost, FramesFilesPlayUntilTheyEndOrTheModuleStops) {
    std::vector<Frame> marked = randomFrames(5, 8);
    std::copy(std::begin(fakevis::kStopMarker), std::end(fakevis::kStopMarker),
              marked[2].spectrum[0]);
    const std::string plain = writeFrames("plain.lmcf", randomFrames(4, 9));
    const std::string stop = writeFrames("stop.lmcf", marked);
    const std::string damaged = temp("damaged.lmcf");
    {
        std::string bytes(reinterpret_cast<const char*>(readBytes(plain).data()),
                          readBytes(plain).size());
        bytes.resize(bytes.size() - 100);
        std::ofstream(damaged, std::ios::binary) << bytes;
    }
    const struct {
        const char* name;
        Args args;
        int frames;
        const char* endReason;
        bool quit;
        int exitCode;
    } cases[] = {
        {"whole file", {"--frames", plain}, 4, "frames-ended", true, 0},
        {"count first", {"--frames", plain, "--count", "2"}, 2, "count", true, 0},
        {"render stops", {"--frames", stop}, 3, "render-returned", true, 0},
        {"damaged", {"--frames", damaged}, 0, "not-started", false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Report report = run(c.args);
        EXPECT_EQ(report.framesRendered, c.frames);
        EXPECT_EQ(report.endReason, c.endReason);
        EXPECT_EQ(report.quitCalled, c.quit);
        EXPECT_EQ(exitCodeFor(report), c.exitCode);
        EXPECT_EQ(static_cast<int>(events({"render"}).size()), c.frames);
    }
    const Report damagedRun = run({"--frames", damaged});
    ASSERT_EQ(damagedRun.errors.size(), 1u);
    EXPECT_NE(damagedRun.errors[0].find("damaged.lmcf"), std::string::npos);
    EXPECT_FALSE(damagedRun.initCalled);
}

// ---- loading ----

// ---- resource accounting ----

TEST_F(VisHost, TheLedgerCountsWhatThePlugInLeavesBehindAndWhatItMisuses) {
    using vishost::ResourceCounts;
    ResourceCounts leaked;
    leaked.objects = 2;
    leaked.pens = 1;
    leaked.brushes = 1;
    leaked.dcs = 1;
    leaked.classes = 1;
    leaked.windows = 1;
    leaked.timers = 1;
    const struct {
        const char* name;
        Args args;
        ResourceCounts alive;
        int deletedWhileSelected, releasedHoldingObject, deadDeletes, callsOnReleasedDCs;
    } cases[] = {
        {"a clean run", {"--count", "3"}, {}, 0, 0, 0, 0},
        {"leaks", {"--count", "3", "--at", "1:command:4244"}, leaked, 0, 0, 0, 0},
        {"misuse", {"--count", "3", "--at", "1:command:4245"}, {}, 1, 1, 0, 0},
        {"dead handles", {"--count", "3", "--at", "1:command:4246"}, {}, 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Report report = run(c.args, true); // the vis thread takes leaked windows with it
        const auto& r = report.resources;
        ASSERT_TRUE(r.hooked);
        ASSERT_EQ(report.cycles.size(), 1u);
        EXPECT_EQ(report.cycles[0].alive, c.alive);
        EXPECT_EQ(r.alive.objects, c.alive.objects);
        EXPECT_EQ(r.deletedWhileSelected, c.deletedWhileSelected);
        EXPECT_EQ(r.releasedHoldingObject, c.releasedHoldingObject);
        EXPECT_EQ(r.deadDeletes, c.deadDeletes);
        EXPECT_EQ(r.callsOnReleasedDCs, c.callsOnReleasedDCs);
        EXPECT_EQ(r.unknownFrees, 0);
        // Every frame's GetDC was given back, and Init's class and window went at Quit.
        EXPECT_GE(r.dcsTaken, 3);
        EXPECT_EQ(r.dcsTaken - r.dcsReleased, c.alive.dcs);
        EXPECT_EQ(r.classesRegistered - r.classesUnregistered, c.alive.classes);
    }
}

TEST_F(VisHost, CyclesRepeatTheRunInOneLoadAndConfigCanComeFromThePlayer) {
    const Report report = run({"--cycles", "3", "--count", "4", "--player-config", "2"}, true);
    ASSERT_EQ(report.cycles.size(), 3u);
    for (const auto& cycle : report.cycles) {
        EXPECT_EQ(cycle.initResult, 0);
        EXPECT_EQ(cycle.framesRendered, 4);
        EXPECT_EQ(cycle.alive, vishost::ResourceCounts{});
    }
    EXPECT_EQ(report.totalFrames, 12);
    EXPECT_EQ(report.playerConfigs, 6);
    EXPECT_EQ(events({"init", "quit"}),
              (std::vector<std::string>{"init", "quit", "init", "quit", "init", "quit"}));
    EXPECT_EQ(report.resources.classesRegistered, 3);
    EXPECT_EQ(report.resources.windowsCreated, report.resources.windowsDestroyed);

    // --total stops starting cycles once the frames are in, and ends the cycle that reaches it.
    const Report total = run({"--total", "10", "--count", "4"}, true);
    EXPECT_EQ(total.totalFrames, 10);
    EXPECT_EQ(total.cycles.size(), 3u);
    EXPECT_EQ(total.cycles.back().framesRendered, 2);
}

// What hosts do that break the one-thread contract or the order of calls, seen by the fake,
// which takes no care of threads.
TEST_F(VisHost, HostsCallFromOtherThreadsAndOutOfOrder) {
    const struct {
        const char* name;
        Args args;
        const char* calls; // the module's calls in order, when they are known
        const char* endReason;
        std::vector<std::string> threads; // the fake's notes of calls on another thread
    } cases[] = {
        {"Quit alone", {"--quit-only"}, "quit", "quit-only", {}},
        {"Render from a second thread",
         {"--render-thread", "--count", "3"},
         "init render render render quit",
         "count",
         {"render-thread:other"}},
        {"the window closed under the second thread",
         {"--render-thread", "--count", "100000", "--at", "2:close"},
         "",
         "quit-message",
         {"render-thread:other"}},
        {"Quit from the player's thread",
         {"--quit-thread", "pumping", "--count", "2"},
         "init render render quit",
         "count",
         {"quit-thread:other"}},
        {"Quit from the player's thread, the window's thread blocked",
         {"--quit-thread", "blocked", "--count", "2"},
         "init render render quit",
         "count",
         {"quit-thread:other"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Report report = run(c.args, true);
        EXPECT_TRUE(report.errors.empty()) << report.errors.front();
        EXPECT_EQ(report.endReason, c.endReason);
        EXPECT_TRUE(report.quitCalled);
        EXPECT_EQ(exitCodeFor(report), 0);
        if (*c.calls) {
            EXPECT_EQ(events({"init", "render", "quit"}), split(c.calls, ' '));
        }
        EXPECT_EQ(events({"render-thread", "quit-thread"}), c.threads);
    }
    // The close stopped the second thread within a few frames, and Quit came after it.
    const Report closed = run({"--render-thread", "--count", "100000", "--at", "2:close"}, true);
    EXPECT_LT(closed.framesRendered, 1000);
    const std::vector<std::string> calls = events({"destroy", "quit"});
    EXPECT_EQ(calls, (std::vector<std::string>{"destroy", "quit"}));
    // The fake's Quit on the player's thread cannot destroy the window of another thread: the
    // ledger says so, and the window goes only with its thread.
    const Report crossed = run({"--quit-thread", "pumping", "--count", "1"}, true);
    EXPECT_EQ(crossed.resources.crossThreadDestroys, 1);
}

TEST_F(VisHost, FloodedTimerTicksReachTheWindowEveryTimeRound) {
    const Report single = run({"--flood-timer", "--count", "4"});
    EXPECT_EQ(events({"title"}).size(), 4u);
    const Report threaded = run({"--flood-timer", "--render-thread", "--count", "20"}, true);
    EXPECT_EQ(threaded.framesRendered, 20);
    EXPECT_GE(events({"title"}).size(), 1u);
    EXPECT_TRUE(threaded.errors.empty());
}

// A player thread that waits for the vis thread without taking its messages: a plug-in that
// asks it with SendMessage waits until the deadline, one that does not ask ends meanwhile.
TEST_F(VisHost, ABusyPlayerThreadIsMeasuredAgainstADeadline) {
    const Report quiet = run({"--busy-main", "5000", "--count", "2"}, true);
    EXPECT_TRUE(quiet.visEndedWhileBusy);
    EXPECT_LT(quiet.busyMainMs, 5000.0);
    const Report asking = run({"--busy-main", "600", "--count", "2", "--at", "1:timer"}, true);
    EXPECT_FALSE(asking.visEndedWhileBusy);
    EXPECT_GE(asking.busyMainMs, 590.0);
    EXPECT_EQ(events({"title"}), std::vector<std::string>{"title:0:(null)"});
    EXPECT_TRUE(asking.quitCalled);
}

TEST_F(VisHost, LoadsPlugInsAndListsTheirModules) {
    const PluginLibrary plugin(fakevis::kDllName);
    EXPECT_EQ(plugin.handle(), dll_);
    EXPECT_STREQ(plugin.header().description, "Fake Plug-in");
    const std::vector<PluginLibrary::Entry> modules = plugin.modules();
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(modules[0].index, 0);
    EXPECT_EQ(modules[0].description, "Fake Vis");
    EXPECT_EQ(modules[1].description, "Failing");

    const struct {
        Args args;
        const char* error;
    } failures[] = {
        {{"no_such_plugin.dll"}, "cannot load no_such_plugin.dll"},
        {{"kernel32.dll"}, "no export winampVisGetHeader"},
        {{fakevis::kDllName, "--module", "2"}, "no module 2"},
    };
    for (const auto& f : failures) {
        const Report report = runSession(parseCommandLine(f.args));
        ASSERT_EQ(report.errors.size(), 1u);
        EXPECT_NE(report.errors[0].find(f.error), std::string::npos) << report.errors[0];
        EXPECT_FALSE(report.initCalled);
        EXPECT_EQ(exitCodeFor(report), 3);
    }
}

// ---- the command line ----

TEST(VisHostCommandLine, ParsesScheduledActions) {
    const struct {
        const char* text;
        int frame;
        ActionKind kind;
        int first, second, third;
        const char* path;
    } cases[] = {
        // clang-format off
        {"3:dump:C:\\pictures\\a.png", 3, ActionKind::Dump, 0, 0, 0, "C:\\pictures\\a.png"},
        {"0:dump-dialog:d.bmp", 0, ActionKind::DumpDialog, 0, 0, 0, "d.bmp"},
        {"0x10:key:Tab", 16, ActionKind::Key, VK_TAB, 0, 0, ""},
        {"2:key:f5", 2, ActionKind::Key, VK_F5, 0, 0, ""},
        {"2:keydown:65", 2, ActionKind::KeyDown, 'A', 0, 0, ""},
        {"2:keyup:q", 2, ActionKind::KeyUp, 'Q', 0, 0, ""},
        {"0:char::", 0, ActionKind::Char, ':', 0, 0, ""},
        {"0:char:z", 0, ActionKind::Char, 'z', 0, 0, ""},
        {"0:char:9", 0, ActionKind::Char, 9, 0, 0, ""},
        {"1:mouse:-5,7", 1, ActionKind::Mouse, -5, 7, 0, ""},
        {"1:resize:640,480", 1, ActionKind::Resize, 640, 480, 0, ""},
        {"1:slider:1000:7", 1, ActionKind::Slider, 1000, 7, TB_THUMBPOSITION, ""},
        {"1:slider:1002:0:thumbtrack", 1, ActionKind::Slider, 1002, 0, TB_THUMBTRACK, ""},
        {"1:slider:1002:3:endtrack", 1, ActionKind::Slider, 1002, 3, TB_ENDTRACK, ""},
        {"1:slider:1002:3:6", 1, ActionKind::Slider, 1002, 3, 6, ""},
        {"2:command:1010:1", 2, ActionKind::Command, 1010, 1, 0, ""},
        {"2:timer", 2, ActionKind::Timer, 1, 0, 0, ""},
        {"4:minimize", 4, ActionKind::Minimise, 0, 0, 0, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ScheduledAction parsed = parseScheduledAction(c.text);
        EXPECT_EQ(parsed.frame, c.frame);
        EXPECT_EQ(parsed.action.kind, c.kind);
        EXPECT_EQ(parsed.action.first, c.first);
        EXPECT_EQ(parsed.action.second, c.second);
        EXPECT_EQ(parsed.action.third, c.third);
        EXPECT_EQ(parsed.action.path, c.path);
    }

    // The playlist keeps command-line order, null entries included.
    const Options o = parseCommandLine(
        {"p.dll", "--title", "A", "--null-title", "--title", "", "--list-pos", "0x2"});
    EXPECT_EQ(o.playlist, (std::vector<std::optional<std::string>>{"A", std::nullopt, ""}));
    EXPECT_EQ(o.listPos, 2);
}

TEST(VisHostCommandLine, RejectsMistakesWithOneLine) {
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{}, "no plug-in"},
        {{"p.dll", "--module"}, "needs a value"},
        {{"p.dll", "--module", "x"}, "not a number"},
        {{"p.dll", "--module", "-1"}, "outside"},
        {{"p.dll", "--count", "0x"}, "not a number"},
        {{"p.dll", "--count", "12abc"}, "not a number"},
        {{"p.dll", "--count", "99999999999"}, "outside"},
        {{"p.dll", "--signal", "hiss"}, "unknown signal"},
        {{"p.dll", "--cycles", "0"}, "outside"},
        {{"p.dll", "--total", "-5"}, "outside"},
        {{"p.dll", "--player-config", "0"}, "outside"},
        {{"p.dll", "--random", "x"}, "not a number"},
        {{"p.dll", "--frames", "f", "--signal", "music"}, "exclude"},
        {{"p.dll", "--at", "3"}, "expected K:ACTION"},
        {{"p.dll", "--at", "dump:x.png"}, "not a number"},
        {{"p.dll", "--at", "3:jump"}, "unknown action"},
        {{"p.dll", "--at", "3:key:nokey"}, "unknown key"},
        {{"p.dll", "--at", "3:key:300"}, "outside"},
        {{"p.dll", "--at", "3:slider:1000"}, "wrong number"},
        {{"p.dll", "--at", "3:slider:1000:5:sideways"}, "unknown scroll code"},
        {{"p.dll", "--at", "3:resize:100"}, "two numbers"},
        {{"p.dll", "--at", "3:close:now"}, "wrong number"},
        {{"p.dll", "--at", "3:dump:"}, "needs a file name"},
        {{"p.dll", "--bogus"}, "unknown option"},
        {{"p.dll", "--quit-thread", "sideways"}, "expected pumping or blocked"},
        {{"p.dll", "--busy-main", "0"}, "outside"},
        {{"p.dll", "--render-thread", "--single-thread"}, "need --threaded"},
        {{"p.dll", "--busy-main", "100", "--quit-thread", "pumping"}, "exclude"},
        {{"p.dll", "--quit-only", "--config-only"}, "exclude"},
        {{"a.dll", "b.dll"}, "more than one"},
    };
    for (const auto& c : cases) {
        try {
            parseCommandLine(c.args);
            ADD_FAILURE() << "accepted; expected " << c.error;
        } catch (const UsageError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(c.error), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

// ---- pictures and the log ----

TEST(VisHostImages, EncodersRoundTripThroughIndependentReaders) {
    testing::Random random(5);
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {3, 2}, {5, 7}, {150, 200}}; // the last needs several stored blocks
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        Image image{size.width, size.height, {}};
        for (int i = 0; i < size.width * size.height; ++i)
            image.pixels.push_back(random.next() & 0xFFFFFF);
        Image fromBmp, fromPng;
        ASSERT_EQ(decodeBmp(encodeBmp(image), fromBmp), "");
        ASSERT_EQ(decodePng(encodePng(image), fromPng), "");
        for (const Image* decoded : {&fromBmp, &fromPng}) {
            EXPECT_EQ(decoded->width, image.width);
            EXPECT_EQ(decoded->height, image.height);
            EXPECT_EQ(decoded->pixels, image.pixels);
        }
    }
}

TEST(VisHostLog, StringsAreEscaped) {
    const struct {
        std::string text, json;
    } cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir", "\"C:\\\\dir\""},
        {"a\nb\tc\r", "\"a\\nb\\tc\\r\""},
        {std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001F\\u007F\""},
        {std::string("nul\0in", 6), "\"nul\\u0000in\""},
        {"Caf\xE9", "\"Caf\\u00E9\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jsonString(c.text), c.json);
}

TEST_F(VisHost, TheLogIsWellFormedJsonAfterABusyRun) {
    const std::string picture = temp("log.png");
    const std::string log = temp("log.json");
    const Report report =
        run({"--count", "4", "--title", "Line\nbreak \"quoted\" \xE9", "--null-title", "--at",
             "1:timer", "--at", "1:key:a", "--at", "2:command:4242", "--at", "2:command:4243",
             "--at", "3:dump:" + picture, "--at", "3:slider:1000:2", "--at", "3:click:99"});
    ASSERT_EQ(writeReport(log, report), "");
    const std::vector<unsigned char> bytes = readBytes(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(JsonChecker(text).valid()) << text;
    for (const char* key :
         {"\"init\": {\"called\": true, \"result\": 0}", "\"framesRendered\": 4",
          "\"endReason\": \"count\"", "\"quitCalled\": true", "\"name\": \"WM_KEYUP\"",
          "\"ipc\": \"IPC_GETPLAYLISTTITLE\"", "\"title\": \"Line\\nbreak \\\"quoted\\\" \\u00E9\"",
          "\"caption\": \"Fake notice\"", "\"role\": \"dialog\"", "\"label\": \"end\"",
          "\"error\": \"the dialog has no control 99\""})
        EXPECT_NE(text.find(key), std::string::npos) << key;
}

} // namespace
} // namespace lumacore::vishost

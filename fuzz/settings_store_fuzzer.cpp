// Takes any bytes as a plugin.ini, reads the displays' keys and keys named by the file itself
// through IniFileStore, writes values back, and traps unless every write changed nothing but
// the key it owns (other bytes kept, other keys reading as before) and reads back as written, and
// unless the displays' writes as one batch give the bytes of the same writes one at a time.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/ini_file_store.h"
#include "host/settings.h"

namespace {

using lumacore::IniFileStore;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The file's text as code units, the way the store takes it: 16-bit units behind a UTF-16
// byte-order mark, bytes otherwise; the mark itself is no part of the first line.
std::u16string units(const std::string& bytes) {
    std::u16string out;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool le = bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE;
    const bool be = bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF;
    if (!le && !be) {
        const bool utf8 = bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF;
        for (std::size_t i = utf8 ? 3 : 0; i < bytes.size(); ++i)
            out.push_back(at(i));
        return out;
    }
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(le ? at(i) | at(i + 1) << 8 : at(i) << 8 | at(i + 1)));
    return out; // an odd last byte stays last (checked apart), so that added text stays readable
}

bool hasBreak(const std::u16string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (s[i] == '\r' || s[i] == '\n') return true;
    return false;
}

// The text cut after every line-break unit.
std::vector<std::u16string> pieces(const std::u16string& s) {
    std::vector<std::u16string> out(1);
    for (const char16_t c : s) {
        out.back().push_back(c);
        if (c == '\r' || c == '\n') out.emplace_back();
    }
    if (out.back().empty()) out.pop_back();
    return out;
}

// Every old line is still there, in order, byte for byte; an unterminated last line may have
// gained its break.
bool linesKept(const std::u16string& before, const std::u16string& after) {
    const std::vector<std::u16string> old = pieces(before), now = pieces(after);
    std::size_t j = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
        const bool open = i + 1 == old.size() && old[i].back() != '\r' && old[i].back() != '\n';
        while (j < now.size() && now[j] != old[i] &&
               !(open && now[j].size() == old[i].size() + 1 && now[j].starts_with(old[i])))
            ++j;
        if (j == now.size()) return false;
        ++j;
    }
    return true;
}

// A write either adds whole lines, or changes text inside one line; every other unit stays.
void checkOnlyOwnedLineChanged(const std::string& beforeBytes, const std::string& afterBytes) {
    if (beforeBytes.starts_with("\xEF\xBB\xBF")) check(afterBytes.starts_with("\xEF\xBB\xBF"));
    const bool utf16 = beforeBytes.starts_with("\xFF\xFE") || beforeBytes.starts_with("\xFE\xFF");
    if (utf16 && beforeBytes.size() % 2 == 1)
        check(afterBytes.size() % 2 == 1 && afterBytes.back() == beforeBytes.back());
    const std::u16string before = units(beforeBytes), after = units(afterBytes);
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::size_t beforeEnd = before.size() - suffix, afterEnd = after.size() - suffix;
    if (prefix == beforeEnd) { // nothing removed
        if (!hasBreak(after, prefix, afterEnd)) return;
        check(linesKept(before, after));
        return;
    }
    check(!hasBreak(before, prefix, beforeEnd) && !hasBreak(after, prefix, afterEnd));
}

// How the store compares names: blanks around trimmed, cut at a NUL, ASCII case folded.
std::string nameKey(const std::string& name) {
    std::string s = name.substr(0, name.find('\0'));
    const auto blank = [](char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && blank(s[b]))
        ++b;
    s.erase(0, b);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// Names a caller could write and read back: one line, and a key that cannot pass for a header
// or hold the separator.
bool writableSection(const std::string& s) {
    return s.find_first_of("\r\n") == std::string::npos;
}
bool writableKey(const std::string& k) {
    const std::string name = nameKey(k);
    return k.find_first_of("\r\n=") == std::string::npos && (name.empty() || name[0] != '[');
}

struct Probe {
    std::string section, key;
};

// Keeps the writes it is given, for one batch.
class Collector final : public lumacore::SettingsStore {
  public:
    unsigned readInt(const std::string&, const std::string&, int fallback) override {
        return static_cast<unsigned>(fallback);
    }
    bool writeString(const std::string& section, const std::string& key,
                     const std::string& value) override {
        writes.push_back({section, key, value});
        return true;
    }
    std::vector<lumacore::IniSetting> writes;
};

// Every probe is read twice and each write costs a few file operations: these keep one input
// to a few milliseconds.
constexpr std::size_t kMaxProbes = 24;
constexpr std::size_t kMaxWrites = 6;

// Section and key names the file itself mentions, as a reader of it would ask for them.
void collectNames(const std::string& bytes, std::vector<std::string>& sections,
                  std::vector<std::string>& keys) {
    std::size_t pos = 0;
    while (pos < bytes.size() && sections.size() + keys.size() < kMaxProbes) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty()) continue;
        const std::size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            sections.push_back(line.substr(1, close - 1));
        } else {
            keys.push_back(line.substr(0, line.find('=')));
        }
    }
}

// Replacing a file on a disk file system can wait for the disk; memory is much quicker.
std::filesystem::path scratchFolder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

} // namespace

// The store allocates many small strings per file operation: a smaller quarantine and no
// filling of fresh blocks keep AddressSanitizer's share of the time down.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:max_malloc_fill_size=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The file is removed after each input: libFuzzer ends without running static destructors.
    static const std::filesystem::path file =
        scratchFolder() / ("lumacore-fuzz-plugin-" + std::to_string(getpid()) + ".ini");
    spill(file, data, size);
    const std::string original(reinterpret_cast<const char*>(data), size);

    // The displays' own keys, some spelt as a careless hand would, and names from the file.
    std::vector<Probe> probes{{"Lumacor 3D", "Posx"},    {"Lumacor 3D", "Brightness"},
                              {"lumacor 3d", " posx  "}, {"Oscilliscope", "Screen_x"},
                              {"VU Meter", "Screen_y"},  {"", "Posx"},
                              {"Lumacor 3D", "Missing"}};
    std::vector<std::string> sections, keys;
    collectNames(original, sections, keys);
    for (const std::string& section : sections)
        if (writableSection(section)) probes.push_back({section, "Posx"});
    for (const std::string& key : keys) {
        if (!writableKey(key)) continue;
        probes.push_back({"", key});
        probes.push_back({sections.empty() ? "Lumacor 3D" : sections[0], key});
    }
    if (probes.size() > kMaxProbes) probes.resize(kMaxProbes);

    IniFileStore store(file.string());
    lumacore::HistoryState history;
    lumacore::readHistorySettings(history, store, "Lumacor 3D");
    lumacore::ScopeState scope;
    lumacore::readScopeSettings(scope, store, "Oscilliscope");
    check(slurp(file) == original); // reading never writes

    // Writes: each probe in turn gets a value derived from its position and the input.
    std::vector<unsigned> expected(probes.size());
    for (std::size_t i = 0; i < probes.size(); ++i)
        expected[i] = store.readInt(probes[i].section, probes[i].key, -7);
    const std::size_t writes = std::min<std::size_t>(probes.size(), kMaxWrites);
    for (std::size_t w = 0; w < writes; ++w) {
        const std::size_t target = (w * 7 + (size ? data[w % size] : 0)) % probes.size();
        const int values[] = {0, -1, 1, 2147483647, -2147483647 - 1, 100, 640, -25};
        const int value = values[(w + size) % std::size(values)] ^ static_cast<int>(w << 4);
        const std::string before = slurp(file);
        check(store.writeString(probes[target].section, probes[target].key, std::to_string(value)));
        const std::string after = slurp(file);
        checkOnlyOwnedLineChanged(before, after);

        const std::string section = nameKey(probes[target].section);
        const std::string key = nameKey(probes[target].key);
        for (std::size_t i = 0; i < probes.size(); ++i)
            if (nameKey(probes[i].section) == section && nameKey(probes[i].key) == key)
                expected[i] = static_cast<unsigned>(value);
        check(store.readInt(probes[target].section, probes[target].key, -7) == expected[target]);
    }
    // Every key reads what was last written to it, or what it read before.
    for (std::size_t i = 0; i < probes.size(); ++i)
        check(store.readInt(probes[i].section, probes[i].key, -7) == expected[i]);

    // The displays' writes at quit, then their reads at the next load give the same values.
    const auto plus = [](int a, unsigned b) {
        return static_cast<int>(static_cast<unsigned>(a) + b);
    };
    history.windowRect = {history.windowX, history.windowY, plus(history.windowX, 300),
                          plus(history.windowY, 200)};
    const std::string beforeQuit = slurp(file);
    lumacore::writeHistorySettings(history, store, "Lumacor 3D");
    lumacore::writeScopeSettings(scope, store, "Oscilliscope");
    // The same writes as one batch, as a Linux program saves them, give exactly the same bytes.
    const std::string afterQuit = slurp(file);
    Collector batch;
    lumacore::writeHistorySettings(history, batch, "Lumacor 3D");
    lumacore::writeScopeSettings(scope, batch, "Oscilliscope");
    spill(file, reinterpret_cast<const uint8_t*>(beforeQuit.data()), beforeQuit.size());
    check(store.write(batch.writes).empty());
    check(slurp(file) == afterQuit);
    lumacore::HistoryState reread;
    reread.windowX = ~history.windowX;
    lumacore::readHistorySettings(reread, store, "Lumacor 3D");
    check(reread.windowX == history.windowRect.left && reread.windowY == history.windowRect.top);
    check(reread.windowWidth == 300 && reread.windowHeight == 200);
    check(reread.mode3D == history.mode3D);
    lumacore::ScopeState rescope{~scope.screenX, ~scope.screenY};
    lumacore::readScopeSettings(rescope, store, "Oscilliscope");
    check(rescope.screenX == scope.screenX && rescope.screenY == scope.screenY);
    std::error_code error;
    std::filesystem::remove(file, error);
    return 0;
}

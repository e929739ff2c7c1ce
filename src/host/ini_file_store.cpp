#include "host/ini_file_store.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "host/file_update.h"

namespace lumacore {

namespace {

namespace fs = std::filesystem;

// The text as code units: bytes for ANSI and UTF-8 files, 16-bit units for UTF-16 files. Every
// character that the format gives a meaning to is ASCII, so bytes of other characters never
// look like one.
using Units = std::u16string;

enum class Encoding { Bytes, Utf16Le, Utf16Be };

struct Text {
    Encoding encoding = Encoding::Bytes;
    std::string mark; // the byte-order mark, as it was
    Units units;
    std::string tail; // an odd last byte of a UTF-16 file
};

// The length of the byte-order mark `bytes` start with: 3 (UTF-8), 2 (UTF-16) or 0.
std::size_t markLength(const std::string& bytes) {
    const auto starts = [&](const char* mark) { return bytes.rfind(mark, 0) == 0; };
    if (starts("\xEF\xBB\xBF")) return 3;
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) return 2;
    return 0;
}

Text decode(const std::string& bytes) {
    Text text;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const std::size_t size = bytes.size();
    const std::size_t mark = markLength(bytes);
    if (mark == 3) text.mark = bytes.substr(0, 3);
    if (mark == 2) text.encoding = byte(0) == 0xFF ? Encoding::Utf16Le : Encoding::Utf16Be;
    if (text.encoding == Encoding::Bytes) {
        for (std::size_t i = text.mark.size(); i < size; ++i)
            text.units.push_back(byte(i));
        return text;
    }
    text.mark = bytes.substr(0, 2);
    const bool little = text.encoding == Encoding::Utf16Le;
    std::size_t i = 2;
    for (; i + 1 < size; i += 2) {
        const unsigned first = byte(i), second = byte(i + 1);
        text.units.push_back(
            static_cast<char16_t>(little ? first | second << 8 : first << 8 | second));
    }
    text.tail = bytes.substr(i);
    return text;
}

std::string encode(const Text& text) {
    std::string bytes = text.mark;
    for (const char16_t unit : text.units) {
        if (text.encoding == Encoding::Bytes) {
            bytes.push_back(static_cast<char>(unit));
            continue;
        }
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes.push_back(text.encoding == Encoding::Utf16Le ? low : high);
        bytes.push_back(text.encoding == Encoding::Utf16Le ? high : low);
    }
    return bytes + text.tail;
}

// A caller's string as the platform sees it: a C string, one unit per byte.
Units widen(const std::string& s) {
    Units units;
    for (const char c : s) {
        if (c == '\0') break;
        units.push_back(static_cast<unsigned char>(c));
    }
    return units;
}

bool isBlank(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

bool isBreak(char16_t c) {
    return c == '\r' || c == '\n';
}

Units cString(Units s) {
    const std::size_t nul = s.find(u'\0');
    if (nul != Units::npos) s.resize(nul);
    return s;
}

Units stripLeading(const Units& s) {
    std::size_t b = 0;
    while (b < s.size() && isBlank(s[b]))
        ++b;
    return s.substr(b);
}

Units trimmed(const Units& s) {
    Units t = stripLeading(s);
    while (!t.empty() && isBlank(t.back()))
        t.pop_back();
    return t;
}

bool sameName(const Units& a, const Units& b) {
    if (a.size() != b.size()) return false;
    const auto fold = [](char16_t c) -> char16_t { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// One non-blank line.
struct Entry {
    std::size_t begin = 0, end = 0; // the line without its surrounding blanks
    std::size_t lineEnd = 0;        // where its line break starts, or the end of the text
    bool header = false;
    Units name; // as names compare: trimmed and cut at a NUL
    bool hasValue = false;
    std::size_t valueBegin = 0; // the value is [valueBegin, end)
};

struct Section {
    Units name;
    std::vector<Entry> entries; // the header line first; none for the unnamed section
};

std::vector<Section> parse(const Units& u) {
    std::vector<Section> sections(1); // the lines before any header
    const std::size_t n = u.size();
    std::size_t pos = 0;
    while (pos < n) {
        Entry entry;
        entry.begin = pos;
        while (pos < n && !isBreak(u[pos]))
            ++pos;
        entry.lineEnd = entry.end = pos;
        while (pos < n && isBreak(u[pos]))
            ++pos;
        while (entry.begin < entry.end && isBlank(u[entry.begin]))
            ++entry.begin;
        while (entry.end > entry.begin && isBlank(u[entry.end - 1]))
            --entry.end;
        if (entry.begin == entry.end) continue;

        if (u[entry.begin] == '[') {
            std::size_t close = entry.end;
            while (close > entry.begin && u[close - 1] != ']')
                --close;
            if (close > entry.begin) { // a header; what follows its last ']' is ignored
                entry.header = true;
                entry.name =
                    cString(trimmed(u.substr(entry.begin + 1, close - 1 - (entry.begin + 1))));
                sections.push_back({entry.name, {entry}});
                continue;
            }
        }
        std::size_t nameEnd = entry.end;
        for (std::size_t i = entry.begin; i < entry.end; ++i) {
            if (u[i] != '=') continue;
            nameEnd = i;
            while (nameEnd > entry.begin && isBlank(u[nameEnd - 1]))
                --nameEnd;
            entry.hasValue = true;
            entry.valueBegin = i + 1;
            while (entry.valueBegin < entry.end && isBlank(u[entry.valueBegin]))
                ++entry.valueBegin;
            break;
        }
        entry.name = cString(u.substr(entry.begin, nameEnd - entry.begin));
        sections.back().entries.push_back(std::move(entry));
    }
    return sections;
}

// The first section of the name; the only one the platform searches.
const Section* findSection(const std::vector<Section>& sections, const Units& name) {
    for (const Section& section : sections)
        if (sameName(section.name, name)) return &section;
    return nullptr;
}

const Entry* findKey(const Section& section, const Units& name) {
    for (const Entry& entry : section.entries)
        if (!entry.header && sameName(entry.name, name)) return &entry;
    return nullptr;
}

// The stored value as GetPrivateProfileIntA's 30-character buffer receives it: matching quotes
// removed, at most 29 characters (a closing quote beyond them stays, and the last character
// kept is dropped instead, as the platform does).
Units bufferedValue(const Units& value) {
    constexpr std::size_t kBuffer = 30;
    const bool quoted =
        value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0];
    const Units rest = quoted ? value.substr(1) : value;
    Units buffer = rest.substr(0, kBuffer - 1);
    if (quoted && kBuffer >= rest.size()) buffer.pop_back();
    return buffer;
}

// The platform's integer parse: whitespace, a sign, a base prefix, digits; wraps modulo 2^32.
std::uint32_t parseInteger(const Units& s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] <= ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::uint32_t base = 10;
    if (s.size() - i >= 2 && s[i] == '0') {
        const char16_t prefix = s[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    std::uint32_t total = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        std::uint32_t digit = base;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'Z')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'z')
            digit = c - 'a' + 10;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return negative ? 0u - total : total;
}

// The file's bytes; empty for a missing file. Returns why it cannot be read, or nothing.
std::string readFile(const fs::path& path, std::string& bytes) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return error == std::errc::not_a_directory ? "part of its path is not a folder" : "";
    if (error) return error.message();
    if (status.type() == fs::file_type::directory) return "it is a folder";
    if (status.type() != fs::file_type::regular) return "it is not a regular file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return "it cannot be opened";
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? "it cannot be read" : "";
}

// Where a line goes after the line whose break starts at `lineEnd`, and the break it ends with:
// that line's own break, or `fallback` appended when it has none.
std::size_t afterLine(Units& u, std::size_t lineEnd, const Units& fallback, Units& lineBreak) {
    if (lineEnd == u.size()) {
        u += fallback;
        lineBreak = fallback;
        return u.size();
    }
    const std::size_t length =
        u[lineEnd] == '\r' && lineEnd + 1 < u.size() && u[lineEnd + 1] == '\n' ? 2 : 1;
    lineBreak = u.substr(lineEnd, length);
    return lineEnd + length;
}

Units firstBreak(const Units& u) {
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (!isBreak(u[i])) continue;
        return u[i] == '\r' && i + 1 < u.size() && u[i + 1] == '\n' ? u.substr(i, 2)
                                                                    : u.substr(i, 1);
    }
    return u"\r\n";
}

Units keyLine(const Units& key, const Units& value, const Units& lineBreak) {
    Units line = trimmed(key);
    line += u'=';
    line += value;
    line += lineBreak;
    return line;
}

// Sets key=value in the text; false when the key already holds exactly that value.
bool setValue(Units& u, const std::string& sectionName, const std::string& keyName,
              const std::string& valueText) {
    const Units section = widen(sectionName), key = widen(keyName);
    const Units value = stripLeading(widen(valueText));
    const Units lineBreak = firstBreak(u);
    const std::vector<Section> sections = parse(u);

    const Section* found = findSection(sections, trimmed(section));
    if (!found) {
        if (!u.empty() && !isBreak(u.back())) u += lineBreak;
        u += u'[';
        u += trimmed(section);
        u += u']';
        u += lineBreak;
        u += keyLine(key, value, lineBreak);
        return true;
    }
    if (const Entry* entry = findKey(*found, trimmed(key))) {
        if (!entry->hasValue) {
            u.insert(entry->end, 1, u'=');
            u.insert(entry->end + 1, value);
            return true;
        }
        const std::size_t length = entry->end - entry->valueBegin;
        if (cString(u.substr(entry->valueBegin, length)) == value) return false;
        u.replace(entry->valueBegin, length, value);
        return true;
    }
    std::size_t at = 0; // the unnamed section may have no lines: it starts the file
    Units ending = lineBreak;
    if (!found->entries.empty())
        at = afterLine(u, found->entries.back().lineEnd, lineBreak, ending);
    u.insert(at, keyLine(key, value, ending));
    return true;
}

// The text a batch of writes leaves: nullopt when it is the text as it was.
std::optional<std::string> withSettings(const std::string& bytes,
                                        const std::vector<IniSetting>& settings) {
    Text text = decode(bytes);
    bool changed = false;
    for (const IniSetting& setting : settings)
        changed = setValue(text.units, setting.section, setting.key, setting.value) || changed;
    if (!changed) return std::nullopt;
    // A file without a mark must not come to start like one, or the next read would take it
    // for another encoding and find none of its keys: a new first line whose name begins with
    // those bytes gets a blank line before it.
    std::string written = encode(text);
    if (text.mark.empty() && markLength(written) != 0) {
        text.units.insert(0, firstBreak(text.units));
        written = encode(text);
    }
    if (written == bytes) return std::nullopt; // a key set and then set back
    return written;
}

bool holdsBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

// A name for a one-line message: line breaks shown as \r and \n.
std::string shown(const std::string& s) {
    std::string out;
    for (const char c : s)
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

} // namespace

struct IniSnapshot::Parsed {
    Text text;
    std::vector<Section> sections;
    std::string error;

    // The value text of a key that has one, cut at a NUL.
    std::optional<Units> value(const std::string& section, const std::string& key) const {
        const Section* found = findSection(sections, trimmed(widen(section)));
        if (!found) return std::nullopt;
        const Entry* entry = findKey(*found, trimmed(widen(key)));
        if (!entry || !entry->hasValue) return std::nullopt;
        return cString(text.units.substr(entry->valueBegin, entry->end - entry->valueBegin));
    }
};

IniSnapshot::IniSnapshot() : parsed_(std::make_shared<Parsed>()) {}

unsigned IniSnapshot::readInt(const std::string& section, const std::string& key,
                              int fallback) const {
    const unsigned missing = static_cast<unsigned>(fallback);
    try {
        const std::optional<Units> stored = parsed_->value(section, key);
        if (!stored) return missing;
        const Units value = bufferedValue(*stored);
        return value.empty() ? missing : parseInteger(value);
    } catch (...) {
        return missing;
    }
}

std::optional<std::string> IniSnapshot::readString(const std::string& section,
                                                   const std::string& key) const {
    std::optional<Units> value = parsed_->value(section, key);
    if (!value) return std::nullopt;
    if (value->size() >= 2 && ((*value)[0] == '\'' || (*value)[0] == '"') &&
        value->back() == (*value)[0])
        value = value->substr(1, value->size() - 2);
    std::string narrow;
    for (const char16_t unit : *value)
        narrow.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return narrow;
}

const std::string& IniSnapshot::error() const {
    return parsed_->error;
}

IniFileStore::IniFileStore(std::string path) : path_(std::move(path)) {}

unsigned IniFileStore::readInt(const std::string& section, const std::string& key, int fallback) {
    return read().readInt(section, key, fallback);
}

bool IniFileStore::writeString(const std::string& section, const std::string& key,
                               const std::string& value) {
    return write({{section, key, value}}).empty();
}

IniSnapshot IniFileStore::read() const {
    IniSnapshot snapshot;
    auto parsed = std::make_shared<IniSnapshot::Parsed>();
    try {
        std::string bytes;
        const std::string problem = readFile(fs::path(path_), bytes);
        if (!problem.empty()) {
            parsed->error = "cannot read '" + path_ + "': " + problem;
        } else {
            parsed->text = decode(bytes);
            parsed->sections = parse(parsed->text.units);
        }
    } catch (const std::exception& error) {
        parsed = std::make_shared<IniSnapshot::Parsed>();
        parsed->error = "cannot read '" + path_ + "': " + error.what();
    }
    snapshot.parsed_ = std::move(parsed);
    return snapshot;
}

std::string IniFileStore::write(const std::vector<IniSetting>& settings) {
    for (const IniSetting& s : settings)
        if (holdsBreak(s.section) || holdsBreak(s.key) || holdsBreak(s.value))
            return "cannot write '" + path_ + "': [" + shown(s.section) + "] " + shown(s.key) +
                   "=" + shown(s.value) + " holds a line break";
    return updateFile(path_, [&](const std::optional<std::string>& bytes) {
        return withSettings(bytes.value_or(std::string()), settings);
    });
}

} // namespace lumacore

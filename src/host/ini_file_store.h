// The settings file as a plain file, for builds without the platform's profile functions (and
// for checking them). Reads give exactly what GetPrivateProfileIntA gives for the same bytes:
//
// - lines end at any run of CR and LF characters; blanks (tab, LF, VT, FF, CR, ^Z, space) around
//   a line are ignored and blank lines skipped;
// - a line starting with '[' and holding a ']' opens a section named by the text up to the last
//   ']', trimmed; lines before the first header form an unnamed section;
// - any other line is a key: the name runs up to the first '=' (trimmed), the value from after
//   it (trimmed); a line without '=' is a key without value, which reads as missing. Comment
//   lines (';') are simply keys nobody asks for;
// - names compare without regard to ASCII case and are cut at a NUL byte; the first section of a
//   name is the only one searched, and within it the first key of the name wins;
// - a value in matching single or double quotes loses them; at most 29 characters are parsed,
//   as the platform's 30-character buffer allows; an empty result reads as missing;
// - the number: leading characters up to space skipped, one optional sign, "0x", "0o" or "0b"
//   selecting base 16, 8 or 2, then digits up to the first non-digit, wrapping modulo 2^32;
// - a UTF-8 byte-order mark is skipped; a UTF-16 mark (either byte order) makes the file UTF-16.
//
// Writes differ from the platform's in one deliberate way: the platform loads the whole file
// and saves it back in its own form (CRLF endings, no blank lines, no blanks around names,
// consecutive nameless keys dropped), while this store changes only what it owns:
//
// - an existing key keeps its line, spelling and spacing; only the value text is replaced (a key
//   without '=' gains "=value"); writing the value it already has leaves the file untouched;
// - a new key becomes a line after the last line of its section; a new section is appended at
//   the end of the file; new lines take the line ending of their neighbour, else the file's
//   first, else CRLF; an unterminated last line gets that ending before anything is added;
// - a file without a byte-order mark never gains one: a new first line whose name begins with
//   the bytes of a mark gets a blank line before it;
// - every other byte stays as it was. Both stores read the result identically.
//
// Every write is one read-change-replace of the whole file under an exclusive lock (updateFile),
// through a uniquely named temporary file beside it, so a failed write loses nothing and two
// writers at once both keep their keys. A section, key or value holding CR or LF is refused: it
// would add lines of its own (a new section, say). A file that cannot be read gives the
// fallbacks; a read-only or unreadable file is not written. Names are compared in ASCII case only
// and the text is taken byte for byte: the settings' names are ASCII, so the platform's code-page
// conversion changes nothing they can match.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/settings_store.h"

namespace lumacore {

// One key to set: what writeString takes, for a batch.
struct IniSetting {
    std::string section;
    std::string key;
    std::string value;
};

// The file as one read found it: any number of reads without touching the file again, each
// giving what the store's readInt gave at that moment.
class IniSnapshot {
  public:
    IniSnapshot(); // no file
    unsigned readInt(const std::string& section, const std::string& key, int fallback) const;
    // The value as GetPrivateProfileStringA gives it: trimmed, cut at a NUL, matching quotes
    // removed; a 16-bit unit beyond one byte reads as '?'. Nullopt when the key is missing or has
    // no '='.
    std::optional<std::string> readString(const std::string& section, const std::string& key) const;
    // Empty, or one line naming the file and why it could not be read (every read then gives
    // its fallback). A missing file is no error.
    const std::string& error() const;

  private:
    friend class IniFileStore;
    struct Parsed;
    std::shared_ptr<const Parsed> parsed_;
};

class IniFileStore final : public SettingsStore {
  public:
    explicit IniFileStore(std::string path);

    // Each reads the whole file, as the platform does.
    unsigned readInt(const std::string& section, const std::string& key, int fallback) override;
    bool writeString(const std::string& section, const std::string& key,
                     const std::string& value) override;

    // The whole file read once, for many reads.
    IniSnapshot read() const;
    // Sets every setting, in order, in one locked read-change-replace of the file: all of them
    // or none. Gives exactly the bytes that writeString for each in turn would give. Returns an
    // empty string, or one line naming the file and saying why nothing was written.
    std::string write(const std::vector<IniSetting>& settings);

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

} // namespace lumacore

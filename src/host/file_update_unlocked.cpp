// updateFile for Windows builds, where only the tests use the portable settings store (the
// plug-in itself writes through the platform's profile functions): the same checks and the same
// replacement through a uniquely named file beside the target, without a lock.
#include "host/file_update.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "host/file_error.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
    throw FileError("cannot write '" + path + "': " + reason, reason);
}

fs::path temporaryBeside(const fs::path& path) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        fs::path candidate = path;
        candidate += "." + std::to_string(random()) + ".part";
        if (!fs::exists(candidate)) return candidate;
    }
}

} // namespace

std::string updateFile(const std::string& pathText, const FileChange& change) {
    try {
        const fs::path path(pathText);
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        std::optional<std::string> bytes;
        if (status.type() != fs::file_type::not_found) {
            if (error) fail(pathText, error.message());
            if (status.type() == fs::file_type::directory) fail(pathText, "it is a folder");
            if (status.type() != fs::file_type::regular) fail(pathText, "it is not a regular file");
            if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
                fail(pathText, "the file is read-only");
            std::ifstream in(path, std::ios::binary);
            if (!in) fail(pathText, "cannot read it");
            bytes.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (in.bad()) fail(pathText, "cannot read it");
        }
        const std::optional<std::string> next = change(bytes);
        if (!next) return {};
        const fs::path temporary = temporaryBeside(path);
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (out) out.write(next->data(), static_cast<std::streamsize>(next->size()));
            if (out) out.close();
            if (!out) {
                fs::remove(temporary, error);
                fail(pathText, "cannot write beside it");
            }
        }
        if (bytes) fs::permissions(temporary, status.permissions(), error); // best effort
        fs::rename(temporary, path, error);
        if (error) {
            const std::string reason = error.message();
            fs::remove(temporary, error);
            fail(pathText, reason);
        }
        return {};
    } catch (const FileError& error) {
        return error.what();
    } catch (const std::exception& error) {
        return "cannot write '" + pathText + "': " + error.what();
    }
}

} // namespace lumacore

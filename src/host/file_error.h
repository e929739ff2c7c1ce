// The one error type of file handling shared by the settings store and lumacore's outputs: a
// one-line message naming the file, and the reason alone for callers that name the file their
// own way.
#pragma once

#include <stdexcept>
#include <string>

namespace lumacore {

class FileError : public std::runtime_error {
  public:
    explicit FileError(const std::string& message)
        : std::runtime_error(message), reason_(message) {}
    FileError(const std::string& message, std::string reason)
        : std::runtime_error(message), reason_(std::move(reason)) {}

    // What went wrong without the file's name in front, e.g. "folder 'x' does not exist".
    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
};

} // namespace lumacore

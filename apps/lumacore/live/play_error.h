// The error a live window's or sound device's failure becomes.
#pragma once

#include <stdexcept>

namespace lumacore::cli {

// A problem of the window or the sound device, in one line.
class PlayError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace lumacore::cli

// The list `lumacore play` works through: the files given, and the audio files of the folders
// given (sorted by name, their subfolders too when asked), in order; files dropped on the window
// are appended. An empty entry stands for the built-in demo tune.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "audio/audio_files.h"

namespace lumacore::cli {

class Playlist {
  public:
    // The entries of `inputs`; an input that does not exist is left out with one line in
    // `problems`. No inputs at all: the demo tune.
    Playlist(const std::vector<std::string>& inputs, bool recursive,
             std::vector<std::string>& problems);

    const std::vector<std::string>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    std::size_t current() const { return current_; }
    const std::string& entry() const { return entries_[current_]; }

    // Moves to the next entry and returns true, or returns false at the end of the list (with
    // `loop`: back to the first, unless the list is empty).
    bool next(bool loop);
    // Moves to the previous entry (the first stays the first).
    void previous();
    // Appends the entries of `inputs` (as the constructor expands them) and returns the index
    // of the first one added, or the size before when none was.
    std::size_t append(const std::vector<std::string>& inputs, bool recursive,
                       std::vector<std::string>& problems);
    void select(std::size_t index) { current_ = index < entries_.size() ? index : current_; }

  private:
    std::vector<std::string> entries_;
    std::size_t current_ = 0;
};

} // namespace lumacore::cli

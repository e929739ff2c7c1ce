// The sound decoded once and shared: stereo frames addressed by their absolute number in the
// input (frame 0: its start), read by several readers at their own positions (the analyser, the
// video encoder, later the sound card). Only the frames some reader can still ask for are held,
// so a song of any length takes the same memory. Readers may read on different threads (a video
// encodes its sound on the output's thread while the analysis reads on the render thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_source.h"

namespace lumacore::cli {

class SampleBuffer {
  public:
    // Reads `source`, which must outlive the buffer, from its current position, numbered from
    // `firstFrame` (0 for a source at its start).
    explicit SampleBuffer(AudioSource& source, std::int64_t firstFrame = 0);
    // The same, owning the source.
    explicit SampleBuffer(std::unique_ptr<AudioSource> source, std::int64_t firstFrame = 0);
    SampleBuffer(const SampleBuffer&) = delete;
    SampleBuffer& operator=(const SampleBuffer&) = delete;

    const AudioInfo& info() const { return source_.info(); }

    // Moves the source to `frame`: everything held is dropped and every reader continues from
    // there. Throws AudioError.
    void seek(std::int64_t frame);

    // One reader's view. A reader's reads never start before the start of its previous read
    // (windows may overlap); frames before every reader's position are let go.
    class Reader {
      public:
        Reader(SampleBuffer& buffer, std::int64_t from);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        // Copies frames [from, from + count) into `out` (interleaved left, right) and returns
        // how many there are: fewer only at the end of the sound, 0 from there on. The source's
        // AudioError passes through; a read before the reader's position is a logic_error.
        std::size_t read(std::int64_t from, float* out, std::size_t count);
        std::int64_t position() const { return position_; }

      private:
        friend class SampleBuffer;
        SampleBuffer& buffer_;
        std::int64_t position_;
    };

    // Frames held now: bounded by how far apart the readers are, never by the song's length.
    std::int64_t heldFrames() const;
    // Whether the source has said it is at its end.
    bool ended() const;

  private:
    std::int64_t slowestReader() const;
    void decodeUntil(std::int64_t frame);
    void hold(const float* samples, std::int64_t first, std::size_t count);
    void grow(std::size_t frames);

    mutable std::mutex mutex_; // guards everything below and the readers' positions
    std::unique_ptr<AudioSource> owned_;
    AudioSource& source_;
    std::vector<float> ring_; // frame f at 2 * (f & (capacity - 1))
    std::size_t capacity_ = 0;
    std::int64_t start_; // frames [start_, end_) are held
    std::int64_t end_;
    bool ended_ = false;
    std::vector<Reader*> readers_;
    std::vector<float> block_;
};

} // namespace lumacore::cli

// Audacious hands a visualiser a node of 512 frames about every 32 ms, each the sound heard at
// that moment; the frames between two nodes never reach it. The live path wants a continuous
// stream at the true time, so each node stands for the time since the node before: its frames
// are repeated, forwards and backwards in turn so that no join jumps, until they fill that time
// (or, when the time is shorter, its newest frames alone fill it). Where one node's frames meet
// the next's, the first fades in over the last continued, so that the join is no click either
// (a click the spectrum would show across every band). Counting in whole frames of the moment
// since the stream began keeps the stream's length equal to the time heard, without drift. Any
// number of channels becomes stereo: mono on both sides, the front pair of more than two.
#pragma once

#include <cstdint>
#include <vector>

namespace lumacore::audacious {

class NodeStream {
  public:
    // A gap between nodes longer than this is a stall, not sound: the stream starts afresh. At
    // low rates Audacious hands over far fewer nodes (one every 0.45 s or so at 8 kHz, against
    // one every 32 ms at 44.1 kHz), and each then still stands for the sound between.
    static constexpr double kMaxGapSeconds = 1.0;
    // How many frames a node takes to fade in over the one before.
    static constexpr int kFadeFrames = 64;

    // `sampleRate` is Audacious's output rate, above zero.
    explicit NodeStream(int sampleRate) : rate_(sampleRate) {}

    // The stereo frames that node `pcm` (`frames` frames of `channels` interleaved) heard at `now`
    // seconds stands for, into stereo(); their count. The first node after a start (or after
    // restart(), or a stall) stands for its own length and sets restarted().
    std::int64_t hear(const float* pcm, int channels, int frames, double now);
    // The next node begins a new stream (a seek, a pause, another track).
    void restart() { started_ = false; }

    const std::vector<float>& stereo() const { return stereo_; }
    // Whether the last node began a new stream.
    bool restarted() const { return restarted_; }

  private:
    int rate_;
    bool started_ = false;
    bool restarted_ = false;
    std::int64_t lastFrame_ = 0;   // the moment of the node before, in frames
    std::vector<float> node_;      // this node in stereo
    std::vector<float> previous_;  // the node before in stereo, for the fade
    std::int64_t previousEnd_ = 0; // where its frames stopped, counted back and forth
    std::vector<float> stereo_;
};

} // namespace lumacore::audacious

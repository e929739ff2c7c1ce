// Reads any bytes as a frames file, once from a seekable stream (length checked up front) and
// once from a stream that cannot seek (checked as it goes); traps if the two disagree, and
// writes an accepted file back to check that it comes out byte for byte the same.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "frames/frames_file.h"

namespace {

using lumacore::Frame;
using lumacore::FramesError;
using lumacore::FramesHeader;
using lumacore::FramesReader;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// A stream over memory that cannot tell its position or seek, like a pipe.
class PipeBuffer : public std::streambuf {
  public:
    PipeBuffer(const uint8_t* data, size_t size) {
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
        setg(begin, begin, begin + size);
    }
};

struct Outcome {
    bool accepted = false;
    FramesHeader header;
    std::vector<Frame> frames;
};

Outcome readAll(std::istream& in) {
    Outcome outcome;
    try {
        FramesReader reader(in, "fuzz");
        outcome.header = reader.header();
        Frame frame;
        while (reader.next(frame)) {
            check(reader.framesRead() <= reader.header().frameCount);
            check(outcome.frames.empty() || frame.timeUs >= outcome.frames.back().timeUs);
            outcome.frames.push_back(frame);
        }
        check(outcome.frames.size() == reader.header().frameCount);
        outcome.accepted = true;
    } catch (const FramesError& error) {
        check(error.what()[0] != '\0');
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream seekable(bytes);
    const Outcome first = readAll(seekable);

    PipeBuffer pipe(data, size);
    std::istream unseekable(&pipe);
    const Outcome second = readAll(unseekable);

    check(first.accepted == second.accepted);
    if (!first.accepted) return 0;
    check(first.frames.size() == second.frames.size());

    // An accepted file is in canonical form: writing its contents again gives the same bytes.
    std::stringstream out;
    {
        lumacore::FramesWriter writer(out, first.header.sampleRate, first.header.frameRate);
        for (const Frame& frame : first.frames)
            writer.append(frame);
        writer.finish();
    }
    check(out.str() == bytes);
    return 0;
}

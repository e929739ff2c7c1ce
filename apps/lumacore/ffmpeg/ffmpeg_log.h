// FFmpeg's log, routed to the owners of the objects it talks about, and FFmpeg's error texts.
// FFmpeg has one log callback for the whole process; every message comes with the object it is
// about. An owner (the decoder of one file, the encoder of one video) watches its objects and
// gets their errors, from whatever thread logged them, to explain its own one-line messages;
// what one owner hears never reaches another. Messages about objects nobody watches go to
// FFmpeg's own printer at the level the program chose (none unless it chose one).
#pragma once

#include <string>
#include <vector>

namespace lumacore::cli {

class FfmpegLog {
  public:
    FfmpegLog();
    ~FfmpegLog(); // forgets every object it watched
    FfmpegLog(const FfmpegLog&) = delete;
    FfmpegLog& operator=(const FfmpegLog&) = delete;

    // Messages about `object` (an FFmpeg context, or one whose log names it as its parent) now
    // come here. A null object is ignored.
    void watch(const void* object);
    void forget(const void* object);
    // The last error logged about a watched object since the previous call, on one line.
    std::string takeLastError();

  private:
    friend struct FfmpegLogRouter;
    std::vector<const void*> watched_; // guarded by the router's lock
    std::string lastError_;            // likewise
};

// Makes text safe for a one-line message or a title: control characters become spaces, and
// leading and trailing spaces go.
std::string oneLine(std::string text);

// FFmpeg's description of `code`, followed by the last error `log` heard when that says more.
std::string errorText(int code, FfmpegLog* log = nullptr);

} // namespace lumacore::cli

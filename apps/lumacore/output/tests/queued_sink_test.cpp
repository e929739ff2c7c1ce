// The output thread: every picture reaches the output once, in order, as it was when written
// (the module goes on drawing into the same bitmap); the output's error reaches the renderer;
// an output abandoned midway is never finished.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "output/queued_sink.h"

namespace lumacore::cli {
namespace {

struct Seen {
    std::vector<std::uint32_t> pictures; // each picture's first pixel
    bool wholePictures = true;           // every pixel as in the first one
    std::atomic<bool> finished{false};
    std::atomic<bool> destroyed{false};
};

class RecordingSink : public FrameSink {
  public:
    RecordingSink(Seen& seen, int failAt) : seen_(seen), failAt_(failAt) {}
    ~RecordingSink() override { seen_.destroyed = true; }
    void write(const Bitmap& picture) override {
        if (static_cast<int>(seen_.pictures.size()) == failAt_)
            throw OutputError("cannot write 'x.mp4': No space left on device");
        const std::uint32_t first = picture.row(0)[0];
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                seen_.wholePictures = seen_.wholePictures && picture.row(y)[x] == first;
        seen_.pictures.push_back(first);
    }
    void finish() override { seen_.finished = true; }

  private:
    Seen& seen_;
    int failAt_;
};

TEST(QueuedSink, PassesEveryPictureOnAndTheOutputsErrorBack) {
    struct Case {
        const char* name;
        int failAt;    // the output's failing picture; -1: none
        bool finish;   // or abandoned after the pictures
        int delivered; // pictures the output takes
    };
    const Case cases[] = {
        {"all written and finished", -1, true, 40},
        {"the output fails", 5, true, 5},
        {"abandoned midway", -1, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen;
        std::string error;
        {
            QueuedSink queued(std::make_unique<RecordingSink>(seen, c.failAt), 2);
            Bitmap picture(64, 48);
            try {
                for (std::uint32_t i = 0; i < 40; ++i) {
                    picture.fill(i); // the module redraws its one bitmap
                    queued.write(picture);
                }
                if (c.finish) queued.finish();
            } catch (const OutputError& e) {
                error = e.what();
            }
            EXPECT_EQ(seen.finished, c.failAt < 0 && c.finish);
        }
        EXPECT_TRUE(seen.destroyed);
        EXPECT_TRUE(seen.wholePictures) << "a picture changed while it waited";
        for (std::size_t i = 0; i < seen.pictures.size(); ++i)
            EXPECT_EQ(seen.pictures[i], pixelOf(static_cast<Colour>(i))) << "picture " << i;
        if (c.delivered >= 0) {
            EXPECT_EQ(seen.pictures.size(), static_cast<std::size_t>(c.delivered));
        }
        EXPECT_EQ(error, c.failAt < 0 ? "" : "cannot write 'x.mp4': No space left on device");
    }
}

} // namespace
} // namespace lumacore::cli

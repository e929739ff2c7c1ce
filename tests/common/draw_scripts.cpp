#include "draw_scripts.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "history/column_box.h"
#include "history/history_render.h"
#include "history/palette.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore::testing {

std::uint32_t Random::next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 16);
}

int Random::between(int lo, int hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    return static_cast<int>(lo + static_cast<std::int64_t>(next() % span));
}

std::uint32_t backgroundPixel(int x, int y) {
    return static_cast<std::uint32_t>((x * 7 + y * 13) & 0xFF) << 8 |
           static_cast<std::uint32_t>((x ^ y) & 0xFF) | 0x400000u;
}

namespace {

std::string sizedName(const char* kind, int w, int h) {
    std::ostringstream name;
    name << kind << '_' << w << 'x' << h;
    return name.str();
}

void randomColours(Surface& s, Random& r) {
    s.setPen(r.colour());
    s.setBrush(r.colour());
}

DrawScript rectangles(int w, int h, int count, std::uint64_t seed) {
    return {sizedName("rectangles", w, h), w, h, [=](Surface& s) {
                Random r(seed);
                for (int i = 0; i < count; ++i) {
                    if (i % 3 == 0) randomColours(s, r);
                    // Small, thin, reversed and empty rectangles as well as large ones.
                    const int size = i % 4 == 0 ? 3 : (i % 4 == 1 ? 12 : w + 40);
                    const int left = r.between(-20, w + 20);
                    const int top = r.between(-20, h + 20);
                    s.rectangle(left, top, left + r.between(-size, size),
                                top + r.between(-size, size));
                }
            }};
}

DrawScript quadrilaterals(int w, int h, int count, std::uint64_t seed) {
    return {sizedName("quadrilaterals", w, h), w, h, [=](Surface& s) {
                Random r(seed);
                for (int i = 0; i < count; ++i) {
                    randomColours(s, r);
                    const int cx = r.between(-10, w + 10);
                    const int cy = r.between(-10, h + 10);
                    const int size = i % 3 == 0 ? 4 : (i % 3 == 1 ? 20 : 80);
                    std::array<Point, 4> q;
                    for (Point& p : q)
                        p = {cx + r.between(-size, size), cy + r.between(-size, size)};
                    switch (i % 6) {
                    case 0: // collapsed to a point
                        q[1] = q[2] = q[3] = q[0];
                        break;
                    case 1: // collapsed to a line
                        q[2] = q[1];
                        q[3] = q[0];
                        break;
                    case 2: // convex: an axis-aligned or slanted parallelogram
                        q[2] = {q[1].x + (q[3].x - q[0].x), q[1].y + (q[3].y - q[0].y)};
                        break;
                    default: // arbitrary: concave and self-intersecting among them
                        break;
                    }
                    s.polygon(q);
                }
            }};
}

// The 3D boxes at every height 0..255, placed along all four edges of the surface.
DrawScript columnBoxes(int w, int h) {
    return {sizedName("column_boxes", w, h), w, h, [=](Surface& s) {
                HistoryState state;
                state.drawDC = &s;
                state.depthStep = depthStepFor(h);
                for (int height = 0; height <= 255; ++height) {
                    s.setPen(rgb(height, 255 - height, 40));
                    s.setBrush(rgb(20, height, 255 - height));
                    const int t = height * 3;
                    drawColumnBox(state, t % (w + 8) - 4, 2, height);       // top edge
                    drawColumnBox(state, t % (w + 8) - 4, h + 2, height);   // bottom edge
                    drawColumnBox(state, 1, t % (h + 8), height);           // left edge
                    drawColumnBox(state, w - 1, t % (h + 8), height);       // right edge
                    drawColumnBox(state, (t * 7) % w, (t * 5) % h, height); // inside
                }
            }};
}

DrawScript lines(int w, int h, std::uint64_t seed) {
    return {sizedName("lines", w, h), w, h, [=](Surface& s) {
                Random r(seed);
                // A star: from the centre to every point of a square ring, all directions.
                const int cx = w / 2, cy = h / 2, radius = std::min(w, h) / 2 + 5;
                for (int k = -radius; k <= radius; ++k) {
                    for (const Point end :
                         {Point{cx + k, cy - radius}, Point{cx + k, cy + radius},
                          Point{cx - radius, cy + k}, Point{cx + radius, cy + k}}) {
                        s.setPen(r.colour());
                        s.moveTo(cx, cy);
                        s.lineTo(end.x, end.y);
                    }
                }
                // Zero-length lines, and chains that continue from the current position.
                for (int i = 0; i < 2000; ++i) {
                    s.setPen(r.colour());
                    if (i % 5 == 0) s.moveTo(r.between(-30, w + 30), r.between(-30, h + 30));
                    if (i % 7 == 0) {
                        const Point here{r.between(0, w), r.between(0, h)};
                        s.moveTo(here.x, here.y);
                        s.lineTo(here.x, here.y);
                        continue;
                    }
                    s.lineTo(r.between(-30, w + 30), r.between(-30, h + 30));
                }
            }};
}

DrawScript pixels(int w, int h, std::uint64_t seed) {
    return {sizedName("pixels", w, h), w, h, [=](Surface& s) {
                Random r(seed);
                for (int i = 0; i < 5000; ++i)
                    s.setPixel(r.between(-5, w + 5), r.between(-5, h + 5), r.colour());
            }};
}

DrawScript scrolls(int w, int h) {
    return {sizedName("scrolls", w, h), w, h, [=](Surface& s) {
                Random r(99);
                for (const int dx : {0, 1, 2, 7, w - 1, w, w + 1, 3 * w, -3}) {
                    s.setPen(r.colour());
                    s.setBrush(r.colour());
                    s.rectangle(r.between(0, w), r.between(0, h), r.between(0, w), r.between(0, h));
                    s.scrollLeft(w - dx, h - r.between(0, h / 2), dx);
                    s.scrollLeft(w, h, dx); // source partly beyond the right edge
                }
            }};
}

// Coordinates far outside the surface, within the range the platform honours exactly (2^27).
DrawScript farOutside(int w, int h, std::uint64_t seed) {
    return {sizedName("far_outside", w, h), w, h, [=](Surface& s) {
                Random r(seed);
                const int far[] = {-100000000, -1000000, -70000, 70000, 1000000, 100000000};
                // Polygons far above the surface are left out: the platform steps every
                // scanline from the top vertex down, which would take minutes per polygon.
                const int farBelow[] = {-70000, 70000, 1000000, 100000000};
                auto coordinate = [&](int size) {
                    return r.next() % 2 ? far[r.next() % 6] : r.between(-10, size + 10);
                };
                auto polygonY = [&](int size) {
                    return r.next() % 2 ? farBelow[r.next() % 4] : r.between(-10, size + 10);
                };
                for (int i = 0; i < 600; ++i) {
                    randomColours(s, r);
                    switch (i % 3) {
                    case 0:
                        s.moveTo(coordinate(w), coordinate(h));
                        s.lineTo(coordinate(w), coordinate(h));
                        break;
                    case 1:
                        s.rectangle(coordinate(w), coordinate(h), coordinate(w), coordinate(h));
                        break;
                    default: {
                        const std::array<Point, 4> q{{{coordinate(w), polygonY(h)},
                                                      {coordinate(w), polygonY(h)},
                                                      {coordinate(w), polygonY(h)},
                                                      {coordinate(w), polygonY(h)}}};
                        s.polygon(q);
                    }
                    }
                }
            }};
}

DrawScript historySequence(int w, int h, bool threeD, int frames) {
    return {sizedName(threeD ? "history_3d" : "history_2d", w, h), w, h, [=](Surface& s) {
                auto state = std::make_unique<HistoryState>();
                auto module = std::make_unique<winampVisModule>();
                state->drawDC = &s;
                setClientSize(*state, w, h);
                buildPalette(*state);
                setMode(*state, threeD ? 1 : 0);
                for (int f = 0; f < frames; ++f) {
                    if (f == frames / 2) state->brightness = 1.7f;
                    scriptedFrame(*module, f);
                    historyRender(*state, *module);
                }
            }};
}

DrawScript oscilloscopeSequence(int w, int h, int channels, int frames) {
    return {sizedName(channels == 2 ? "oscilloscope" : "oscilloscope_mono", w, h), w, h,
            [=](Surface& s) {
                auto module = std::make_unique<winampVisModule>();
                module->nCh = channels;
                for (int f = 0; f < frames; ++f) {
                    scriptedFrame(*module, f);
                    // Full-scale and wrapping samples too: -128, 64/65, 127.
                    module->waveformData[0][f % 288] = 0x80;
                    module->waveformData[1][(f * 7) % 288] = 65;
                    module->waveformData[0][(f * 11) % 288] = 127;
                    oscilloscopeRender(s, *module);
                }
            }};
}

DrawScript vuMeterSequence(int w, int h, int frames) {
    return {sizedName("vu_meter", w, h), w, h, [=](Surface& s) {
                auto module = std::make_unique<winampVisModule>();
                ScopeState state;
                for (int f = 0; f < frames; ++f) {
                    scriptedFrame(*module, f);
                    if (f % 7 == 3)
                        std::memset(module->waveformData, 0x80, sizeof module->waveformData);
                    if (f % 11 == 5)
                        std::memset(module->waveformData, 0, sizeof module->waveformData);
                    vuMeterRender(state, s, *module);
                }
            }};
}

} // namespace

void scriptedFrame(winampVisModule& module, int frame) {
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < kSamplesPerChannel; ++i) {
            // A falling spectrum with moving peaks, a silent stretch and full-scale bursts.
            const double base = 200.0 * std::exp(-i / 60.0);
            const double peak =
                120.0 * std::exp(-std::pow((i - (frame * 7 + ch * 40) % 150) / 6.0, 2));
            int value = static_cast<int>(base + peak) + (frame * 31 + i * 17 + ch * 5) % 23;
            if (frame % 11 == 5) value = 0;
            if (frame % 13 == 7 && i % 9 == 0) value = 255;
            module.spectrumData[ch][i] = static_cast<unsigned char>(value > 255 ? 255 : value);
            module.waveformData[ch][i] = static_cast<unsigned char>(
                static_cast<int>(100 * std::sin((i + frame * 3) * 0.07 + ch)));
        }
    }
}

std::vector<DrawScript> fidelityScripts() {
    std::vector<DrawScript> scripts;
    scripts.push_back(rectangles(200, 150, 4000, 1));
    scripts.push_back(rectangles(7, 5, 2000, 2));
    scripts.push_back(quadrilaterals(200, 150, 3000, 3));
    scripts.push_back(quadrilaterals(9, 4, 1500, 4));
    scripts.push_back(columnBoxes(300, 200));
    scripts.push_back(columnBoxes(40, 30));
    scripts.push_back(lines(160, 120, 5));
    scripts.push_back(lines(3, 2, 6));
    scripts.push_back(pixels(64, 48, 7));
    scripts.push_back(scrolls(120, 90));
    scripts.push_back(scrolls(1, 1));
    scripts.back().drawsSomething = false;
    scripts.push_back(farOutside(120, 90, 8));
    scripts.push_back(oscilloscopeSequence(289, 257, 2, 12));
    scripts.push_back(oscilloscopeSequence(276, 243, 1, 6));
    scripts.push_back(oscilloscopeSequence(50, 40, 2, 4));
    scripts.push_back(vuMeterSequence(289, 257, 320));
    scripts.push_back(vuMeterSequence(60, 130, 100));
    for (const bool threeD : {false, true}) {
        scripts.push_back(historySequence(800, 600, threeD, 40));
        scripts.push_back(historySequence(1920, 1080, threeD, 30));
        scripts.push_back(historySequence(333, 217, threeD, 60));
        scripts.push_back(historySequence(17, 11, threeD, 40));
        scripts.push_back(historySequence(2, 3, threeD, 20));
        // A 1x1 client area: every strip and band is a one-cell rectangle, which GDI leaves
        // undrawn.
        scripts.push_back(historySequence(1, 1, threeD, 20));
        scripts.back().drawsSomething = false;
    }
    return scripts;
}

} // namespace lumacore::testing

// The title banner: the strip's clearing, the colour drawn from the runtime's generator, the
// font and the text, in the order the display window has always drawn them.
#include "history/title_banner.h"

#include <algorithm>

#include "host/arith.h"

namespace lumacore {
namespace {

constexpr double kBanner = kBannerFraction;
constexpr char kBannerFace[] = "Arial";

// 0..230 from a value of the runtime's generator; a generator that strays outside 0..32767 is
// held to that range rather than overflowing the product.
int component(const std::function<int()>& rand) {
    return 230 * std::clamp(rand(), 0, 32767) / 32767;
}

} // namespace

int bannerTop(int clientHeight) {
    return truncToInt((1.0 - kBanner) * clientHeight);
}

int bannerFontHeight(int clientHeight) {
    return truncToInt((1.0 - kBanner) * clientHeight * 0.1);
}

void drawTitleBanner(HistoryState& state, Surface& dc, const char* title,
                     const std::function<int()>& rand) {
    const int W = state.windowWidth;
    const int H = state.windowHeight;
    const int top = bannerTop(H);

    // The strip and the text's cells are the display's background; the glyphs are its picture.
    dc.setPen(state.backgroundColour);
    dc.setBrush(state.backgroundColour);
    dc.setOpacity(Surface::Opacity::Clear);
    dc.rectangle(0, top, W, H);
    dc.setBackgroundColour(state.backgroundColour);

    const int blue = component(rand);
    const int green = component(rand);
    const int red = component(rand);
    dc.setTextColour(rgb(red, green, blue));

    dc.selectFont(bannerFontHeight(H), kBannerFace);
    if (title != nullptr) dc.textOut(0, top, title);
    dc.setOpacity(Surface::Opacity::Solid);
}

void skipTitleBanner(const std::function<int()>& rand) {
    for (int component = 0; component < 3; ++component)
        rand();
}

} // namespace lumacore

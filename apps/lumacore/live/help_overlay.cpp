// The help over the picture.
#include "live/help_overlay.h"

#include <algorithm>
#include <string>

#include "host/raster/raster_surface.h"
#include "live/key_actions.h"

namespace lumacore::cli {

void drawKeyHelp(Bitmap& picture, TextRenderer& text) {
    const std::string_view help = keyHelp();
    const int lines = static_cast<int>(std::count(help.begin(), help.end(), '\n')) + 1;
    std::size_t longest = 0;
    for (std::size_t from = 0; from <= help.size();) {
        const std::size_t end = std::min(help.find('\n', from), help.size());
        longest = std::max(longest, end - from);
        from = end + 1;
    }
    // A monospaced cell is about 0.6 of the line's height wide: the longest line and the
    // margins fit across, every line and the margins down.
    const int byWidth = picture.width() * 10 / (6 * (static_cast<int>(longest) + 4));
    const int lineHeight = std::clamp(std::min(picture.height() / (lines + 2), byWidth), 8, 28);
    RasterSurface surface(picture, &text);
    surface.selectFont(lineHeight, "Courier New");
    surface.setTextColour(rgb(255, 255, 255));
    surface.setBackgroundColour(rgb(0, 0, 0));
    int y = lineHeight / 2;
    std::size_t from = 0;
    while (from <= help.size()) {
        const std::size_t end = std::min(help.find('\n', from), help.size());
        surface.textOut(lineHeight / 2, y, " " + std::string(help.substr(from, end - from)) + " ");
        y += lineHeight;
        from = end + 1;
    }
}

} // namespace lumacore::cli

// The help over the picture.
#include "play/help_overlay.h"

#include <algorithm>
#include <string>

#include "host/raster/raster_surface.h"
#include "play/key_actions.h"

namespace lumacore::cli {

void drawKeyHelp(Bitmap& picture, TextRenderer& text) {
    const std::string_view help = keyHelp();
    const int lines = static_cast<int>(std::count(help.begin(), help.end(), '\n')) + 1;
    const int lineHeight = std::clamp(picture.height() / (lines + 2), 9, 28);
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

#include "live/surface_picture.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace lumacore::cli {

SDL_Rect picturePlace(int width, int height, int pictureWidth, int pictureHeight, bool scaled) {
    SDL_Rect target{0, 0, width, height};
    if (scaled && pictureWidth > 0 && pictureHeight > 0) {
        const int factor = std::max(std::min(width / pictureWidth, height / pictureHeight), 1);
        target.w = pictureWidth * factor;
        target.h = pictureHeight * factor;
        target.x = (width - target.w) / 2;
        target.y = (height - target.h) / 2;
    }
    return target;
}

bool putPicture(const Bitmap& picture, SDL_Surface* target, bool scaled) {
    if (target == nullptr || picture.width() <= 0 || picture.height() <= 0) return false;
    // The rasteriser's rows as a surface, read in place.
    const std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)> source(
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(picture.row(0)),
                                           picture.width(), picture.height(), 32,
                                           picture.stride() * 4, SDL_PIXELFORMAT_RGB888),
        SDL_FreeSurface);
    if (!source) return false;
    SDL_SetSurfaceBlendMode(source.get(), SDL_BLENDMODE_NONE);
    SDL_Rect place = picturePlace(target->w, target->h, picture.width(), picture.height(), scaled);
    if (scaled) SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
    // At the image's own size one copy of rows; otherwise stretched.
    if (place.w == picture.width() && place.h == picture.height())
        return SDL_BlitSurface(source.get(), nullptr, target, &place) == 0;
    return SDL_BlitScaled(source.get(), nullptr, target, &place) == 0;
}

Bitmap pictureIn(const SDL_Surface& source) {
    Bitmap picture(source.w, source.h);
    // SDL's XRGB8888 words are the bitmap's 0x00RRGGBB ones, the unused byte aside.
    if (SDL_ConvertPixels(source.w, source.h, source.format->format, source.pixels, source.pitch,
                          SDL_PIXELFORMAT_RGB888, picture.row(0), picture.stride() * 4) != 0)
        return {};
    for (int y = 0; y < source.h; ++y)
        for (std::uint32_t* p = picture.row(y); p != picture.row(y) + source.w; ++p)
            *p &= 0xFFFFFF;
    return picture;
}

} // namespace lumacore::cli

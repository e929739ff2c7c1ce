// A picture put into an SDL surface (a window's own image): filling it, or enlarged by the
// largest whole factor that fits and centred on black.
#pragma once

#include <SDL.h>

#include "host/raster/bitmap.h"

namespace lumacore::cli {

// Where a picture of `pictureWidth` x `pictureHeight` goes in an image of `width` x `height`:
// all of it, or with `scaled` the largest whole multiple of the picture that fits, centred.
SDL_Rect picturePlace(int width, int height, int pictureWidth, int pictureHeight, bool scaled);

// Copies `picture` into `target` at picturePlace(), stretched where the sizes differ; with
// `scaled` the rest is black. False when SDL could not.
bool putPicture(const Bitmap& picture, SDL_Surface* target, bool scaled);

// What `source` shows, as the rasteriser's 0x00RRGGBB words (the unused byte cleared); an empty
// bitmap when SDL could not convert it (SDL's error says why).
Bitmap pictureIn(const SDL_Surface& source);

} // namespace lumacore::cli

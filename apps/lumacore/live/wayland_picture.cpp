// The three fits. Each target row is written once: copied, enlarged from one source row, or a
// copy of the row above when it comes from the same source row.
#include "live/wayland_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumacore::cli {
namespace {

std::uint32_t* rowOf(const PixelTarget& target, int y) {
    return target.pixels + static_cast<std::ptrdiff_t>(y) * target.stride;
}

void clearRows(const PixelTarget& target, int from, int to) {
    for (int y = from; y < to; ++y)
        std::fill_n(rowOf(target, y), target.width, 0u);
}

void copy(const Bitmap& picture, const PixelTarget& target) {
    const int width = std::min(picture.width(), target.width);
    const int height = std::min(picture.height(), target.height);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* out = rowOf(target, y);
        std::memcpy(out, picture.row(y), static_cast<std::size_t>(width) * sizeof(*out));
        std::fill(out + width, out + target.width, 0u);
    }
    clearRows(target, height, target.height);
}

// Column `x` of the target takes source column columns[x]; a negative entry is black.
void mapRows(const Bitmap& picture, const PixelTarget& target, const std::vector<int>& columns,
             int top, int rows, int (*sourceRow)(int, int, int), int factorOrHeight) {
    clearRows(target, 0, top);
    int previous = -1;
    for (int y = 0; y < rows; ++y) {
        const int from = sourceRow(y, factorOrHeight, target.height);
        std::uint32_t* out = rowOf(target, top + y);
        if (from == previous) {
            std::memcpy(out, rowOf(target, top + y - 1),
                        static_cast<std::size_t>(target.width) * sizeof(*out));
            continue;
        }
        const std::uint32_t* in = picture.row(from);
        for (int x = 0; x < target.width; ++x)
            out[x] = columns[x] < 0 ? 0u : in[columns[x]];
        previous = from;
    }
    clearRows(target, top + rows, target.height);
}

void enlarge(const Bitmap& picture, const PixelTarget& target) {
    const int factor = std::min(target.width / picture.width(), target.height / picture.height());
    if (factor < 1) return copy(picture, target);
    const int left = (target.width - picture.width() * factor) / 2;
    const int top = (target.height - picture.height() * factor) / 2;
    std::vector<int> columns(target.width, -1);
    for (int x = 0; x < picture.width() * factor; ++x)
        columns[left + x] = x / factor;
    mapRows(
        picture, target, columns, top, picture.height() * factor,
        [](int y, int f, int) { return y / f; }, factor);
}

void stretch(const Bitmap& picture, const PixelTarget& target) {
    if (picture.width() == target.width && picture.height() == target.height)
        return copy(picture, target);
    std::vector<int> columns(target.width);
    for (int x = 0; x < target.width; ++x)
        columns[x] = static_cast<int>(static_cast<long long>(x) * picture.width() / target.width);
    // The source height rides in the factor's place.
    mapRows(
        picture, target, columns, 0, target.height,
        [](int y, int height, int targetHeight) {
            return static_cast<int>(static_cast<long long>(y) * height / targetHeight);
        },
        picture.height());
}

} // namespace

void drawPicture(const Bitmap& picture, PictureFit fit, const PixelTarget& target) {
    if (target.width <= 0 || target.height <= 0) return;
    if (picture.width() <= 0 || picture.height() <= 0) return clearRows(target, 0, target.height);
    switch (fit) {
    case PictureFit::Copy:
        return copy(picture, target);
    case PictureFit::WholeFactor:
        return enlarge(picture, target);
    case PictureFit::Stretch:
        return stretch(picture, target);
    }
}

} // namespace lumacore::cli

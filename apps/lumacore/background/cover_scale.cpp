// Scaling to cover in two passes of libswscale: the whole picture to 0xAARRGGBB words at its own
// size, made opaque over black there (so that no hidden colour bleeds into the scaling), then
// the rectangle of it with the area's shape, centred, scaled to the area straight into the
// bitmap's rows.
#include "background/cover_scale.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "background/picture_file.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace lumacore::cli {
namespace {

// Bicubic, rounded accurately, chroma at full resolution in and out: smooth enlargements, and a
// flat colour comes through exactly.
constexpr int kScaleFlags =
    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

// AV_INPUT_BUFFER_PADDING_SIZE in words.
constexpr std::size_t kSlackWords = AV_INPUT_BUFFER_PADDING_SIZE / 4;

struct Rectangle {
    int x = 0, y = 0, width = 0, height = 0;
};

// The part of a `sourceWidth` x `sourceHeight` picture that, scaled, exactly covers `width` x
// `height`: its full height and the middle of its width when it is wider than the area, its
// full width and the middle of its height otherwise.
Rectangle coverCrop(int sourceWidth, int sourceHeight, int width, int height) {
    const std::int64_t wideness = std::int64_t{sourceWidth} * height;
    const std::int64_t areaWideness = std::int64_t{width} * sourceHeight;
    // round(a * b / c) for positive values.
    const auto scaled = [](std::int64_t a, std::int64_t b, std::int64_t c) {
        return static_cast<int>((2 * a * b + c) / (2 * c));
    };
    if (wideness > areaWideness) {
        const int kept = std::clamp(scaled(sourceHeight, width, height), 1, sourceWidth);
        return {(sourceWidth - kept) / 2, 0, kept, sourceHeight};
    }
    const int kept = std::clamp(scaled(sourceWidth, height, width), 1, sourceHeight);
    return {0, (sourceHeight - kept) / 2, sourceWidth, kept};
}

// The formats FFmpeg still decodes JPEG to: the same layouts as their plain twins, full range.
AVPixelFormat plainFormat(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

// The picture at its own size as 0xAARRGGBB words, colours taken as the picture says (range
// and matrix) when it is YUV.
std::vector<std::uint32_t> toWords(const AVFrame& picture) {
    bool fullRange = picture.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = plainFormat(static_cast<AVPixelFormat>(picture.format), fullRange);
    const int width = picture.width, height = picture.height;
    ScalerPtr scaler(sws_getContext(width, height, format, width, height, AV_PIX_FMT_RGB32,
                                    kScaleFlags, nullptr, nullptr, nullptr));
    if (!scaler) {
        const char* name = av_get_pix_fmt_name(format);
        throw PictureProblem(std::string("cannot convert its pixels (") +
                             (name ? name : "unknown format") + ")");
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) &&
        descriptor->nb_components >= 3) {
        int *inverse = nullptr, *table = nullptr;
        int sourceRange = 0, range = 0, brightness = 0, contrast = 0, saturation = 0;
        sws_getColorspaceDetails(scaler.get(), &inverse, &sourceRange, &table, &range, &brightness,
                                 &contrast, &saturation);
        sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(picture.colorspace),
                                 fullRange ? 1 : 0, table, range, brightness, contrast, saturation);
    }
    // With room after the last row: libswscale's vector readers may read a little past it, as
    // FFmpeg's own frames allow.
    std::vector<std::uint32_t> words(static_cast<std::size_t>(width) * height + kSlackWords);
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(words.data())};
    int strides[4] = {width * 4};
    if (sws_scale(scaler.get(), picture.data, picture.linesize, 0, height, planes, strides) < 0)
        throw PictureProblem("cannot convert its pixels");
    return words;
}

// Each word over black: its colour times its alpha, rounded; the alpha byte cleared.
void overBlack(std::vector<std::uint32_t>& words) {
    for (std::uint32_t& word : words) {
        const std::uint32_t alpha = word >> 24;
        std::uint32_t result = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const std::uint32_t product = ((word >> shift) & 0xFF) * alpha + 128;
            result |= ((product + (product >> 8)) >> 8) << shift;
        }
        word = result;
    }
}

} // namespace

Bitmap scaleToCover(const AVFrame& picture, int width, int height) {
    std::vector<std::uint32_t> words = toWords(picture);
    overBlack(words);

    const Rectangle crop = coverCrop(picture.width, picture.height, width, height);
    ScalerPtr scaler(sws_getContext(crop.width, crop.height, AV_PIX_FMT_0RGB32, width, height,
                                    AV_PIX_FMT_0RGB32, kScaleFlags, nullptr, nullptr, nullptr));
    if (!scaler) throw PictureProblem("cannot scale the picture");
    Bitmap covered(width, height);
    const std::uint8_t* from[4] = {reinterpret_cast<const std::uint8_t*>(
        words.data() + static_cast<std::size_t>(crop.y) * picture.width + crop.x)};
    const int fromStrides[4] = {picture.width * 4};
    std::uint8_t* to[4] = {reinterpret_cast<std::uint8_t*>(covered.row(0))};
    const int toStrides[4] = {covered.stride() * 4};
    if (sws_scale(scaler.get(), from, fromStrides, 0, crop.height, to, toStrides) < 0)
        throw PictureProblem("cannot scale the picture");
    for (int y = 0; y < height; ++y)
        for (std::uint32_t& word : std::span(covered.row(y), width))
            word &= 0x00FFFFFF;
    return covered;
}

} // namespace lumacore::cli

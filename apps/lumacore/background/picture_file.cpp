// Opens a file with libavformat and decodes one picture with libavcodec. Only local files are
// read (also by formats that name other files), a name is never taken as a numbered sequence,
// and the decoder's allocator refuses pictures beyond kMaxBackgroundSourcePixels: every picture
// returned has between 1 and that many pixels.
#include "background/picture_file.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "background/background_image.h"

namespace lumacore::cli {
namespace {

// Packets of other streams read past before a video's first picture gives up: a video file
// interleaves its sound with its pictures, but not this many.
constexpr int kMaxPacketsRead = 1000;

// Names the faults of the file itself before FFmpeg sees it, to say them plainly.
void checkFile(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) throw PictureProblem("no such file");
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) throw PictureProblem("no such file");
    if (error) throw PictureProblem("cannot read the file (" + error.message() + ")");
    if (fs::is_directory(status)) throw PictureProblem("is a directory");
    if (!fs::is_regular_file(status)) throw PictureProblem("not a regular file");
    if (fs::file_size(path, error) == 0 && !error) throw PictureProblem("empty file");
}

[[noreturn]] void tooLarge(long long width, long long height) {
    throw PictureProblem("the picture is " + std::to_string(width) + "x" + std::to_string(height) +
                         " pixels, more than " + std::to_string(kMaxBackgroundSourcePixels) +
                         " in all");
}

// The decoder's allocator: refuses a picture beyond the limit, noting its size for the message.
int allocateWithinLimit(AVCodecContext* codec, AVFrame* frame, int flags) {
    if (static_cast<long long>(frame->width) * frame->height > kMaxBackgroundSourcePixels) {
        auto* refused = static_cast<PictureFile::Size*>(codec->opaque);
        *refused = {frame->width, frame->height};
        return AVERROR(ENOMEM);
    }
    return avcodec_default_get_buffer2(codec, frame, flags);
}

// ID3 and FLAC pictures carry their type, which FFmpeg gives as the stream's comment.
bool isFrontCover(const AVStream& stream) {
    const AVDictionaryEntry* type = av_dict_get(stream.metadata, "comment", nullptr, 0);
    return type && std::string_view(type->value) == "Cover (front)";
}

} // namespace

PictureFile::PictureFile(const std::string& path) {
    checkFile(path);
    Dictionary options;
    av_dict_set(options.address(), "protocol_whitelist", "file", 0);
    av_dict_set(options.address(), "pattern_type", "none", 0); // image2: the name as it is
    // Allocated here so that its log is watched from the first message.
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) throw PictureProblem("out of memory");
    log_.watch(raw);
    const std::string url = "file:" + path;
    if (const int code = avformat_open_input(&raw, url.c_str(), nullptr, options.address());
        code < 0) {
        if (code == AVERROR(EACCES) || code == AVERROR(ENOENT) || code == AVERROR(EISDIR))
            fail("cannot open the file", code);
        fail("not a kind of file FFmpeg reads", code);
    }
    format_.reset(raw);
    log_.watch(format_->pb);
}

void PictureFile::fail(const std::string& what, int code) {
    throw PictureProblem(what + " (" + errorText(code, &log_) + ")");
}

void PictureFile::openDecoder(const AVStream& stream) {
    const AVCodecID id = stream.codecpar->codec_id;
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (!decoder)
        throw PictureProblem(std::string("no decoder for its picture (") + avcodec_get_name(id) +
                             ")");
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) throw PictureProblem("out of memory");
    log_.watch(codec_.get());
    if (const int code = avcodec_parameters_to_context(codec_.get(), stream.codecpar); code < 0)
        fail("cannot set up the decoder", code);
    codec_->opaque = &refused_;
    codec_->get_buffer2 = allocateWithinLimit;
    if (const int code = avcodec_open2(codec_.get(), decoder, nullptr); code < 0)
        fail(std::string("cannot open the ") + decoder->name + " decoder", code);
}

void PictureFile::failDecoding(int code) {
    if (refused_.width > 0) tooLarge(refused_.width, refused_.height);
    fail("not a picture, or a damaged one", code);
}

FramePtr PictureFile::decode(const AVPacket* packet) {
    if (const int code = avcodec_send_packet(codec_.get(), packet); code < 0 && code != AVERROR_EOF)
        failDecoding(code);
    FramePtr frame(av_frame_alloc());
    if (!frame) throw PictureProblem("out of memory");
    const int code = avcodec_receive_frame(codec_.get(), frame.get());
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return nullptr;
    if (code < 0) failDecoding(code);
    if (frame->width < 1 || frame->height < 1)
        throw PictureProblem("the picture is " + std::to_string(frame->width) + "x" +
                             std::to_string(frame->height) + " pixels");
    if (static_cast<long long>(frame->width) * frame->height > kMaxBackgroundSourcePixels)
        tooLarge(frame->width, frame->height);
    return frame;
}

FramePtr PictureFile::firstPicture() {
    const int index = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) throw PictureProblem("not a picture: the file holds no image");
    openDecoder(*format_->streams[index]);
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw PictureProblem("out of memory");
    for (int read = 0; read < kMaxPacketsRead; ++read) {
        const int code = av_read_frame(format_.get(), packet.get());
        if (code == AVERROR_EOF) break;
        if (code < 0) fail("cannot read the file", code);
        FramePtr picture = packet->stream_index == index ? decode(packet.get()) : nullptr;
        av_packet_unref(packet.get());
        if (picture) return picture;
    }
    if (FramePtr picture = decode(nullptr)) return picture;
    throw PictureProblem("no picture in the file");
}

FramePtr PictureFile::coverPicture() {
    const AVStream* cover = nullptr;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* stream = format_->streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        if (!cover || (isFrontCover(*stream) && !isFrontCover(*cover))) cover = stream;
    }
    if (!cover) return nullptr;
    // An empty packet would end the stream instead of holding a picture.
    if (cover->attached_pic.size <= 0) throw PictureProblem("its cover art is empty");
    openDecoder(*cover);
    if (FramePtr picture = decode(&cover->attached_pic)) return picture;
    if (FramePtr picture = decode(nullptr)) return picture;
    throw PictureProblem("its cover art holds no picture");
}

} // namespace lumacore::cli

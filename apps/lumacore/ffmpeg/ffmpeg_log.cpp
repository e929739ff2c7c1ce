// The one callback FFmpeg logs through: under one lock it finds the owner watching the object a
// message is about (or the object's log parent) and keeps the owner's last error.
#include "ffmpeg/ffmpeg_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <unordered_map>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace lumacore::cli {

struct FfmpegLogRouter {
    std::mutex lock;
    std::unordered_map<const void*, FfmpegLog*> owners;

    static FfmpegLogRouter& instance() {
        static FfmpegLogRouter router;
        return router;
    }

    // The owner of `object` or of its nearest log parent; called with the lock held.
    FfmpegLog* ownerOf(void* object) {
        for (int depth = 0; object && depth < 8; ++depth) {
            if (auto found = owners.find(object); found != owners.end()) return found->second;
            const AVClass* type = *static_cast<const AVClass**>(object);
            if (!type || type->parent_log_context_offset <= 0) return nullptr;
            object = *reinterpret_cast<void**>(static_cast<std::uint8_t*>(object) +
                                               type->parent_log_context_offset);
        }
        return nullptr;
    }

    static void callback(void* object, int level, const char* format, va_list arguments) {
        FfmpegLogRouter& router = instance();
        {
            std::lock_guard<std::mutex> guard(router.lock);
            if (FfmpegLog* owner = router.ownerOf(object)) {
                if (level <= AV_LOG_ERROR) {
                    char line[512];
                    std::vsnprintf(line, sizeof line, format, arguments);
                    owner->lastError_ = line;
                }
                return;
            }
        }
        av_log_default_callback(object, level, format, arguments);
    }
};

FfmpegLog::FfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        // FFmpeg's own printer stays silent unless the program chose a level itself.
        if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
        av_log_set_callback(FfmpegLogRouter::callback);
    });
}

FfmpegLog::~FfmpegLog() {
    FfmpegLogRouter& router = FfmpegLogRouter::instance();
    std::lock_guard<std::mutex> guard(router.lock);
    for (const void* object : watched_)
        if (auto found = router.owners.find(object);
            found != router.owners.end() && found->second == this)
            router.owners.erase(found);
}

void FfmpegLog::watch(const void* object) {
    if (!object) return;
    FfmpegLogRouter& router = FfmpegLogRouter::instance();
    std::lock_guard<std::mutex> guard(router.lock);
    router.owners[object] = this;
    if (std::find(watched_.begin(), watched_.end(), object) == watched_.end())
        watched_.push_back(object);
}

void FfmpegLog::forget(const void* object) {
    FfmpegLogRouter& router = FfmpegLogRouter::instance();
    std::lock_guard<std::mutex> guard(router.lock);
    if (auto found = router.owners.find(object);
        found != router.owners.end() && found->second == this)
        router.owners.erase(found);
    std::erase(watched_, object);
}

std::string FfmpegLog::takeLastError() {
    std::lock_guard<std::mutex> guard(FfmpegLogRouter::instance().lock);
    std::string error = oneLine(std::move(lastError_));
    lastError_.clear();
    return error;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string errorText(int code, FfmpegLog* log) {
    char text[AV_ERROR_MAX_STRING_SIZE]{};
    av_strerror(code, text, sizeof text);
    std::string result = oneLine(text);
    if (log)
        if (const std::string logged = log->takeLastError(); !logged.empty() && logged != result)
            result += ": " + logged;
    return result;
}

} // namespace lumacore::cli

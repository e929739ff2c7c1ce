// Shared memory from memfd_create, sealed against shrinking so the compositor never reads past
// its end.
#include "live/wayland_shm.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "live/play_error.h"

namespace lumacore::cli {
namespace {

[[noreturn]] void fail(const char* what) {
    throw PlayError(std::string("cannot make a picture buffer for the Wayland window (") + what +
                    ": " + std::strerror(errno) + ")");
}

} // namespace

ShmBuffer::ShmBuffer(wl_shm* shm, int width, int height)
    : width_(width), height_(height),
      bytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
    if (width <= 0 || height <= 0 || bytes_ > static_cast<std::size_t>(INT32_MAX))
        throw PlayError("cannot make a picture buffer of " + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels for the Wayland window");
    const FileDescriptor memory(
        ::memfd_create("lumacore-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory) fail("memfd_create");
    if (::ftruncate(memory.get(), static_cast<off_t>(bytes_)) != 0) fail("ftruncate");
    ::fcntl(memory.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    void* mapped = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (mapped == MAP_FAILED) fail("mmap");
    pixels_ = static_cast<std::uint32_t*>(mapped);
    const WaylandPtr<wl_shm_pool> pool(
        wl_shm_create_pool(shm, memory.get(), static_cast<int32_t>(bytes_)));
    buffer_.reset(
        wl_shm_pool_create_buffer(pool.get(), 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888));
    static const wl_buffer_listener listener = {.release = &ShmBuffer::released};
    wl_buffer_add_listener(buffer_.get(), &listener, this);
}

ShmBuffer::~ShmBuffer() {
    buffer_.reset();
    if (pixels_) ::munmap(pixels_, bytes_);
}

void ShmBuffer::released(void* data, wl_buffer*) {
    static_cast<ShmBuffer*>(data)->busy_ = false;
}

} // namespace lumacore::cli

// The surface lock: a critical section made when the library is loaded, before any callback can
// run, and deleted when it is unloaded.
#include "host/win32/surface_lock.h"

namespace lumacore {
namespace {

class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

CriticalSection surfaceSection;

} // namespace

SurfaceAccess::SurfaceAccess() {
    surfaceSection.enter();
}

SurfaceAccess::~SurfaceAccess() {
    surfaceSection.leave();
}

} // namespace lumacore

// The plug-in's own account of platform resources. A real player counts GDI objects per process
// (at most 10,000) and Wine's GetGuiResources answers 0, so the host keeps the count itself: the
// plug-in's imports that create and free GDI objects, take and give back device contexts,
// register and unregister window classes, create and destroy windows and set and kill timers go
// through the ledger, which notes every handle and passes the call on unchanged. Its drawing
// calls (lines, rectangles, polygons, pixels, blits, text and its colours, selections) are
// checked against the device contexts it holds at that moment, and every delete that fails on
// a handle no longer alive is counted.
#pragma once

#include <vector>

#include "import_table.h"
#include "report.h"

namespace lumacore::vishost {

struct LiveWindow {
    HWND window;
    DWORD thread; // the thread that owns it
};

// DestroyWindow on another thread's window fails with ERROR_ACCESS_DENIED, as on Windows.
class ResourceLedger {
  public:
    // Redirects `plugin`'s imports to the ledger. One ledger at a time per process.
    explicit ResourceLedger(HMODULE plugin);
    ResourceLedger(const ResourceLedger&) = delete;
    ResourceLedger& operator=(const ResourceLedger&) = delete;
    ~ResourceLedger();

    bool hooked() const { return !patch_.empty(); }
    // What is alive now. Windows and timers whose window is gone are dropped first.
    ResourceCounts alive() const;
    // The plug-in's windows that exist now.
    std::vector<LiveWindow> liveWindows() const;
    // Totals, peaks and faults so far, with `alive()`.
    ResourceLedgerReport report() const;

  private:
    ImportPatch patch_;
};

} // namespace lumacore::vishost

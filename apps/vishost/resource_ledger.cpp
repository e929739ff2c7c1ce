#include "resource_ledger.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

namespace lumacore::vishost {
namespace {

enum class Kind { Pen, Brush, Font, Bitmap, Region };

// The slots a DC holds one object of each: pen, brush, font, bitmap.
constexpr int kSlots = 4;

int slotOf(HGDIOBJ object) {
    switch (GetObjectType(object)) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
        return 0;
    case OBJ_BRUSH:
        return 1;
    case OBJ_FONT:
        return 2;
    case OBJ_BITMAP:
        return 3;
    default:
        return -1;
    }
}

// Everything the hooks note. Hooks are plain functions and may run on any thread, so the state
// lives here behind one lock; the real calls are made outside it, since creating a window sends
// messages that make further hooked calls.
struct LedgerState {
    std::mutex lock;
    bool active = false;
    std::map<void*, Kind> objects;
    std::map<void*, int> windowDCs; // GetDC and friends: a window's DC may be handed out again
    std::map<void*, int> paintDCs;
    std::set<void*> memoryDCs;
    std::set<std::pair<std::string, void*>> classes; // lower-case name, instance
    std::set<void*> windows;
    std::set<std::pair<void*, UINT_PTR>> timers;
    std::map<void*, std::array<void*, kSlots>> selected; // the plug-in's objects in each DC
    std::map<void*, std::set<void*>> pensOnSurface, brushesOnSurface;
    ResourceLedgerReport totals;

    void reset() {
        objects.clear();
        windowDCs.clear();
        paintDCs.clear();
        memoryDCs.clear();
        classes.clear();
        windows.clear();
        timers.clear();
        selected.clear();
        pensOnSurface.clear();
        brushesOnSurface.clear();
        totals = {};
    }

    void created(void* object, Kind kind) {
        if (!object) return;
        objects[object] = kind;
        ++totals.objectsCreated;
        totals.peakObjects = std::max(totals.peakObjects, static_cast<int>(objects.size()));
    }

    // A DC given back: what the plug-in left selected in it is a fault; the DC's history ends.
    void dcEnds(void* dc) {
        const auto found = selected.find(dc);
        if (found != selected.end()) {
            if (std::any_of(found->second.begin(), found->second.end(),
                            [](void* object) { return object != nullptr; }))
                ++totals.releasedHoldingObject;
            selected.erase(found);
        }
        pensOnSurface.erase(dc);
        brushesOnSurface.erase(dc);
    }

    void counted(std::map<void*, int>& dcs, void* dc) {
        if (!dc) return;
        ++dcs[dc];
        ++totals.dcsTaken;
    }

    bool uncounted(std::map<void*, int>& dcs, void* dc) {
        const auto found = dcs.find(dc);
        if (found == dcs.end()) return false;
        if (--found->second == 0) dcs.erase(found);
        ++totals.dcsReleased;
        return true;
    }

    // Windows destroyed along with their parent or thread, and the timers that went with them.
    void prune() {
        for (auto it = windows.begin(); it != windows.end();) {
            if (IsWindow(static_cast<HWND>(*it))) {
                ++it;
                continue;
            }
            it = windows.erase(it);
            ++totals.windowsDestroyed;
        }
        for (auto it = timers.begin(); it != timers.end();)
            it = it->first && !IsWindow(static_cast<HWND>(it->first)) ? timers.erase(it) : ++it;
    }

    // Whether the plug-in holds `dc` now: taken and not given back.
    bool holds(void* dc) const {
        return windowDCs.count(dc) || paintDCs.count(dc) || memoryDCs.count(dc);
    }

    ResourceCounts counts() const {
        ResourceCounts counts;
        counts.objects = static_cast<int>(objects.size());
        for (const auto& [object, kind] : objects) {
            counts.pens += kind == Kind::Pen;
            counts.brushes += kind == Kind::Brush;
            counts.fonts += kind == Kind::Font;
        }
        for (const auto& [dc, count] : windowDCs)
            counts.dcs += count;
        for (const auto& [dc, count] : paintDCs)
            counts.dcs += count;
        counts.dcs += static_cast<int>(memoryDCs.size());
        counts.classes = static_cast<int>(classes.size());
        counts.windows = static_cast<int>(windows.size());
        counts.timers = static_cast<int>(timers.size());
        return counts;
    }
};

LedgerState& state() {
    static LedgerState instance;
    return instance;
}

template <typename Handle> Handle noteObject(Handle object, Kind kind) {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.created(object, kind);
    return object;
}

std::string classKey(LPCSTR name) {
    if (!name) return "";
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(name)));
    std::string key(name);
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// --- GDI objects -------------------------------------------------------------------------------

HPEN WINAPI hookCreatePen(int style, int width, COLORREF colour) {
    return noteObject(CreatePen(style, width, colour), Kind::Pen);
}
HPEN WINAPI hookCreatePenIndirect(const LOGPEN* pen) {
    return noteObject(CreatePenIndirect(pen), Kind::Pen);
}
HPEN WINAPI hookExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD count,
                             const DWORD* styles) {
    return noteObject(ExtCreatePen(style, width, brush, count, styles), Kind::Pen);
}
HBRUSH WINAPI hookCreateSolidBrush(COLORREF colour) {
    return noteObject(CreateSolidBrush(colour), Kind::Brush);
}
HBRUSH WINAPI hookCreateBrushIndirect(const LOGBRUSH* brush) {
    return noteObject(CreateBrushIndirect(brush), Kind::Brush);
}
HBRUSH WINAPI hookCreateHatchBrush(int hatch, COLORREF colour) {
    return noteObject(CreateHatchBrush(hatch, colour), Kind::Brush);
}
HBRUSH WINAPI hookCreatePatternBrush(HBITMAP bitmap) {
    return noteObject(CreatePatternBrush(bitmap), Kind::Brush);
}
HFONT WINAPI hookCreateFontA(int height, int width, int escapement, int orientation, int weight,
                             DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                             DWORD precision, DWORD clipPrecision, DWORD quality, DWORD pitch,
                             LPCSTR face) {
    return noteObject(CreateFontA(height, width, escapement, orientation, weight, italic, underline,
                                  strikeOut, charSet, precision, clipPrecision, quality, pitch,
                                  face),
                      Kind::Font);
}
HFONT WINAPI hookCreateFontIndirectA(const LOGFONTA* font) {
    return noteObject(CreateFontIndirectA(font), Kind::Font);
}
HBITMAP WINAPI hookCreateCompatibleBitmap(HDC dc, int width, int height) {
    return noteObject(CreateCompatibleBitmap(dc, width, height), Kind::Bitmap);
}
HBITMAP WINAPI hookCreateBitmap(int width, int height, UINT planes, UINT bits, const void* data) {
    return noteObject(CreateBitmap(width, height, planes, bits, data), Kind::Bitmap);
}
HBITMAP WINAPI hookCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                    HANDLE section, DWORD offset) {
    return noteObject(CreateDIBSection(dc, info, usage, bits, section, offset), Kind::Bitmap);
}
HRGN WINAPI hookCreateRectRgn(int left, int top, int right, int bottom) {
    return noteObject(CreateRectRgn(left, top, right, bottom), Kind::Region);
}

// --- drawing on device contexts ----------------------------------------------------------------

// A drawing call on `dc`, which the plug-in must hold at the time.
void noteDrawing(HDC dc) {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (!s.holds(dc)) ++s.totals.callsOnReleasedDCs;
}
BOOL WINAPI hookBitBlt(HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                       int sourceY, DWORD rop) {
    noteDrawing(dc);
    if (source) noteDrawing(source);
    return BitBlt(dc, x, y, width, height, source, sourceX, sourceY, rop);
}
BOOL WINAPI hookRectangle(HDC dc, int left, int top, int right, int bottom) {
    noteDrawing(dc);
    return Rectangle(dc, left, top, right, bottom);
}
BOOL WINAPI hookPolygon(HDC dc, const POINT* points, int count) {
    noteDrawing(dc);
    return Polygon(dc, points, count);
}
BOOL WINAPI hookMoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    noteDrawing(dc);
    return MoveToEx(dc, x, y, previous);
}
BOOL WINAPI hookLineTo(HDC dc, int x, int y) {
    noteDrawing(dc);
    return LineTo(dc, x, y);
}
COLORREF WINAPI hookSetPixel(HDC dc, int x, int y, COLORREF colour) {
    noteDrawing(dc);
    return SetPixel(dc, x, y, colour);
}
COLORREF WINAPI hookSetTextColor(HDC dc, COLORREF colour) {
    noteDrawing(dc);
    return SetTextColor(dc, colour);
}
COLORREF WINAPI hookSetBkColor(HDC dc, COLORREF colour) {
    noteDrawing(dc);
    return SetBkColor(dc, colour);
}
BOOL WINAPI hookTextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    noteDrawing(dc);
    return TextOutA(dc, x, y, text, length);
}

HGDIOBJ WINAPI hookSelectObject(HDC dc, HGDIOBJ object) {
    noteDrawing(dc);
    const HGDIOBJ previous = SelectObject(dc, object);
    if (!previous) return previous;
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    const int slot = slotOf(object);
    if (slot < 0) return previous;
    const auto ours = s.objects.find(object);
    const bool mine = ours != s.objects.end();
    s.selected[dc][slot] = mine ? object : nullptr;
    if (!mine || (ours->second != Kind::Pen && ours->second != Kind::Brush)) return previous;
    const bool pen = ours->second == Kind::Pen;
    auto& onSurface = (pen ? s.pensOnSurface : s.brushesOnSurface)[dc];
    int& peak = pen ? s.totals.peakPensOnSurface : s.totals.peakBrushesOnSurface;
    onSurface.insert(object);
    peak = std::max(peak, static_cast<int>(onSurface.size()));
    return previous;
}

BOOL WINAPI hookDeleteObject(HGDIOBJ object) {
    LedgerState& s = state();
    {
        const std::lock_guard guard(s.lock);
        for (const auto& [dc, slots] : s.selected)
            if (object && std::find(slots.begin(), slots.end(), object) != slots.end())
                ++s.totals.deletedWhileSelected;
    }
    const BOOL deleted = DeleteObject(object);
    const std::lock_guard guard(s.lock);
    if (!deleted) {
        if (object) ++s.totals.deadDeletes;
        return deleted;
    }
    if (s.objects.erase(object) == 0) {
        ++s.totals.unknownFrees;
        return deleted;
    }
    ++s.totals.objectsDeleted;
    for (auto& [dc, pens] : s.pensOnSurface)
        pens.erase(object);
    for (auto& [dc, brushes] : s.brushesOnSurface)
        brushes.erase(object);
    return deleted;
}

// --- device contexts ---------------------------------------------------------------------------

HDC noteWindowDC(HDC dc) {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.counted(s.windowDCs, dc);
    return dc;
}
HDC WINAPI hookGetDC(HWND window) {
    return noteWindowDC(GetDC(window));
}
HDC WINAPI hookGetWindowDC(HWND window) {
    return noteWindowDC(GetWindowDC(window));
}
HDC WINAPI hookGetDCEx(HWND window, HRGN clip, DWORD flags) {
    return noteWindowDC(GetDCEx(window, clip, flags));
}
int WINAPI hookReleaseDC(HWND window, HDC dc) {
    LedgerState& s = state();
    {
        const std::lock_guard guard(s.lock);
        if (s.windowDCs.count(dc)) s.dcEnds(dc);
    }
    const int released = ReleaseDC(window, dc);
    const std::lock_guard guard(s.lock);
    if (released && !s.uncounted(s.windowDCs, dc)) ++s.totals.unknownFrees;
    return released;
}
HDC WINAPI hookBeginPaint(HWND window, LPPAINTSTRUCT paint) {
    const HDC dc = BeginPaint(window, paint);
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.counted(s.paintDCs, dc);
    return dc;
}
BOOL WINAPI hookEndPaint(HWND window, const PAINTSTRUCT* paint) {
    LedgerState& s = state();
    void* dc = paint ? paint->hdc : nullptr;
    {
        const std::lock_guard guard(s.lock);
        if (s.paintDCs.count(dc)) s.dcEnds(dc);
        if (!s.uncounted(s.paintDCs, dc)) ++s.totals.unknownFrees;
    }
    return EndPaint(window, paint);
}
HDC WINAPI hookCreateCompatibleDC(HDC dc) {
    const HDC memory = CreateCompatibleDC(dc);
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (memory) {
        s.memoryDCs.insert(memory);
        ++s.totals.dcsTaken;
    }
    return memory;
}
BOOL WINAPI hookDeleteDC(HDC dc) {
    LedgerState& s = state();
    {
        const std::lock_guard guard(s.lock);
        if (s.memoryDCs.count(dc)) s.dcEnds(dc);
    }
    const BOOL deleted = DeleteDC(dc);
    const std::lock_guard guard(s.lock);
    if (deleted) {
        if (s.memoryDCs.erase(dc))
            ++s.totals.dcsReleased;
        else
            ++s.totals.unknownFrees;
    }
    return deleted;
}

// --- classes, windows, timers ------------------------------------------------------------------

ATOM noteClass(ATOM atom, LPCSTR name, HINSTANCE instance) {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (atom) {
        s.classes.insert({classKey(name), instance});
        ++s.totals.classesRegistered;
    }
    return atom;
}
ATOM WINAPI hookRegisterClassA(const WNDCLASSA* windowClass) {
    return noteClass(RegisterClassA(windowClass), windowClass->lpszClassName,
                     windowClass->hInstance);
}
ATOM WINAPI hookRegisterClassExA(const WNDCLASSEXA* windowClass) {
    return noteClass(RegisterClassExA(windowClass), windowClass->lpszClassName,
                     windowClass->hInstance);
}
BOOL WINAPI hookUnregisterClassA(LPCSTR name, HINSTANCE instance) {
    const BOOL unregistered = UnregisterClassA(name, instance);
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (unregistered) {
        if (s.classes.erase({classKey(name), instance}))
            ++s.totals.classesUnregistered;
        else
            ++s.totals.unknownFrees;
    }
    return unregistered;
}

void noteWindow(HWND window) {
    if (!window) return;
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.windows.insert(window);
    ++s.totals.windowsCreated;
}
HWND WINAPI hookCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x,
                                int y, int width, int height, HWND parent, HMENU menu,
                                HINSTANCE instance, LPVOID parameter) {
    const HWND window = CreateWindowExA(exStyle, className, title, style, x, y, width, height,
                                        parent, menu, instance, parameter);
    noteWindow(window);
    return window;
}
HWND WINAPI hookCreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC procedure,
                                   LPARAM parameter) {
    const HWND dialog = CreateDialogParamA(instance, name, parent, procedure, parameter);
    noteWindow(dialog);
    return dialog;
}
HWND WINAPI hookCreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate,
                                           HWND parent, DLGPROC procedure, LPARAM parameter) {
    const HWND dialog =
        CreateDialogIndirectParamA(instance, dialogTemplate, parent, procedure, parameter);
    noteWindow(dialog);
    return dialog;
}
BOOL WINAPI hookDestroyWindow(HWND window) {
    LedgerState& s = state();
    // Windows refuses to destroy another thread's window (Wine does it anyway): answer as
    // Windows does, so that a plug-in relying on Wine's leniency shows its leak here.
    if (window && IsWindow(window) &&
        GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        const std::lock_guard guard(s.lock);
        ++s.totals.crossThreadDestroys;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const BOOL destroyed = DestroyWindow(window);
    const std::lock_guard guard(s.lock);
    if (destroyed && s.windows.erase(window)) ++s.totals.windowsDestroyed;
    s.prune(); // its children went with it
    return destroyed;
}
UINT_PTR WINAPI hookSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    const UINT_PTR timer = SetTimer(window, id, elapse, procedure);
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (timer) {
        // Setting a window's timer again replaces it.
        if (s.timers.insert({window, window ? id : timer}).second) ++s.totals.timersSet;
    }
    return timer;
}
BOOL WINAPI hookKillTimer(HWND window, UINT_PTR id) {
    const BOOL killed = KillTimer(window, id);
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    if (killed && s.timers.erase({window, id})) ++s.totals.timersKilled;
    return killed;
}

struct Hook {
    const char* library;
    const char* function;
    void* replacement;
};

template <typename Function> void* address(Function* function) {
    return reinterpret_cast<void*>(function);
}

const Hook kHooks[] = {
    {"gdi32.dll", "CreatePen", address(&hookCreatePen)},
    {"gdi32.dll", "CreatePenIndirect", address(&hookCreatePenIndirect)},
    {"gdi32.dll", "ExtCreatePen", address(&hookExtCreatePen)},
    {"gdi32.dll", "CreateSolidBrush", address(&hookCreateSolidBrush)},
    {"gdi32.dll", "CreateBrushIndirect", address(&hookCreateBrushIndirect)},
    {"gdi32.dll", "CreateHatchBrush", address(&hookCreateHatchBrush)},
    {"gdi32.dll", "CreatePatternBrush", address(&hookCreatePatternBrush)},
    {"gdi32.dll", "CreateFontA", address(&hookCreateFontA)},
    {"gdi32.dll", "CreateFontIndirectA", address(&hookCreateFontIndirectA)},
    {"gdi32.dll", "CreateCompatibleBitmap", address(&hookCreateCompatibleBitmap)},
    {"gdi32.dll", "CreateBitmap", address(&hookCreateBitmap)},
    {"gdi32.dll", "CreateDIBSection", address(&hookCreateDIBSection)},
    {"gdi32.dll", "CreateRectRgn", address(&hookCreateRectRgn)},
    {"gdi32.dll", "SelectObject", address(&hookSelectObject)},
    {"gdi32.dll", "BitBlt", address(&hookBitBlt)},
    {"gdi32.dll", "Rectangle", address(&hookRectangle)},
    {"gdi32.dll", "Polygon", address(&hookPolygon)},
    {"gdi32.dll", "MoveToEx", address(&hookMoveToEx)},
    {"gdi32.dll", "LineTo", address(&hookLineTo)},
    {"gdi32.dll", "SetPixel", address(&hookSetPixel)},
    {"gdi32.dll", "SetTextColor", address(&hookSetTextColor)},
    {"gdi32.dll", "SetBkColor", address(&hookSetBkColor)},
    {"gdi32.dll", "TextOutA", address(&hookTextOutA)},
    {"gdi32.dll", "DeleteObject", address(&hookDeleteObject)},
    {"gdi32.dll", "CreateCompatibleDC", address(&hookCreateCompatibleDC)},
    {"gdi32.dll", "DeleteDC", address(&hookDeleteDC)},
    {"user32.dll", "GetDC", address(&hookGetDC)},
    {"user32.dll", "GetWindowDC", address(&hookGetWindowDC)},
    {"user32.dll", "GetDCEx", address(&hookGetDCEx)},
    {"user32.dll", "ReleaseDC", address(&hookReleaseDC)},
    {"user32.dll", "BeginPaint", address(&hookBeginPaint)},
    {"user32.dll", "EndPaint", address(&hookEndPaint)},
    {"user32.dll", "RegisterClassA", address(&hookRegisterClassA)},
    {"user32.dll", "RegisterClassExA", address(&hookRegisterClassExA)},
    {"user32.dll", "UnregisterClassA", address(&hookUnregisterClassA)},
    {"user32.dll", "CreateWindowExA", address(&hookCreateWindowExA)},
    {"user32.dll", "CreateDialogParamA", address(&hookCreateDialogParamA)},
    {"user32.dll", "CreateDialogIndirectParamA", address(&hookCreateDialogIndirectParamA)},
    {"user32.dll", "DestroyWindow", address(&hookDestroyWindow)},
    {"user32.dll", "SetTimer", address(&hookSetTimer)},
    {"user32.dll", "KillTimer", address(&hookKillTimer)},
};

} // namespace

ResourceLedger::ResourceLedger(HMODULE plugin) {
    LedgerState& s = state();
    {
        const std::lock_guard guard(s.lock);
        if (s.active) throw std::logic_error("a resource ledger is already active");
        s.active = true;
        s.reset();
    }
    for (const Hook& hook : kHooks)
        patch_.redirect(plugin, hook.library, hook.function, hook.replacement);
}

ResourceLedger::~ResourceLedger() {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.active = false;
}

ResourceCounts ResourceLedger::alive() const {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.prune();
    return s.counts();
}

std::vector<LiveWindow> ResourceLedger::liveWindows() const {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.prune();
    std::vector<LiveWindow> live;
    for (void* window : s.windows) {
        const auto hwnd = static_cast<HWND>(window);
        live.push_back({hwnd, GetWindowThreadProcessId(hwnd, nullptr)});
    }
    return live;
}

ResourceLedgerReport ResourceLedger::report() const {
    LedgerState& s = state();
    const std::lock_guard guard(s.lock);
    s.prune();
    ResourceLedgerReport report = s.totals;
    report.hooked = hooked();
    report.alive = s.counts();
    return report;
}

} // namespace lumacore::vishost

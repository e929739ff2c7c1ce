#include "json_log.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace lumacore::vishost {
namespace {

struct NamedMessage {
    unsigned number;
    const char* name;
};

// Window message numbers of the platform, by name.
constexpr NamedMessage kMessageNames[] = {
    {0x0000, "WM_NULL"},
    {0x0001, "WM_CREATE"},
    {0x0002, "WM_DESTROY"},
    {0x0003, "WM_MOVE"},
    {0x0005, "WM_SIZE"},
    {0x0006, "WM_ACTIVATE"},
    {0x0007, "WM_SETFOCUS"},
    {0x0008, "WM_KILLFOCUS"},
    {0x000A, "WM_ENABLE"},
    {0x000C, "WM_SETTEXT"},
    {0x000D, "WM_GETTEXT"},
    {0x000E, "WM_GETTEXTLENGTH"},
    {0x000F, "WM_PAINT"},
    {0x0010, "WM_CLOSE"},
    {0x0012, "WM_QUIT"},
    {0x0014, "WM_ERASEBKGND"},
    {0x0018, "WM_SHOWWINDOW"},
    {0x001A, "WM_SETTINGCHANGE"},
    {0x001C, "WM_ACTIVATEAPP"},
    {0x0020, "WM_SETCURSOR"},
    {0x0021, "WM_MOUSEACTIVATE"},
    {0x0024, "WM_GETMINMAXINFO"},
    {0x0046, "WM_WINDOWPOSCHANGING"},
    {0x0047, "WM_WINDOWPOSCHANGED"},
    {0x007B, "WM_CONTEXTMENU"},
    {0x007C, "WM_STYLECHANGING"},
    {0x007D, "WM_STYLECHANGED"},
    {0x007F, "WM_GETICON"},
    {0x0081, "WM_NCCREATE"},
    {0x0082, "WM_NCDESTROY"},
    {0x0083, "WM_NCCALCSIZE"},
    {0x0084, "WM_NCHITTEST"},
    {0x0085, "WM_NCPAINT"},
    {0x0086, "WM_NCACTIVATE"},
    {0x0100, "WM_KEYDOWN"},
    {0x0101, "WM_KEYUP"},
    {0x0102, "WM_CHAR"},
    {0x0103, "WM_DEADCHAR"},
    {0x0104, "WM_SYSKEYDOWN"},
    {0x0105, "WM_SYSKEYUP"},
    {0x0106, "WM_SYSCHAR"},
    {0x0110, "WM_INITDIALOG"},
    {0x0111, "WM_COMMAND"},
    {0x0112, "WM_SYSCOMMAND"},
    {0x0113, "WM_TIMER"},
    {0x0114, "WM_HSCROLL"},
    {0x0115, "WM_VSCROLL"},
    {0x0200, "WM_MOUSEMOVE"},
    {0x0201, "WM_LBUTTONDOWN"},
    {0x0202, "WM_LBUTTONUP"},
    {0x0204, "WM_RBUTTONDOWN"},
    {0x0205, "WM_RBUTTONUP"},
    {0x020A, "WM_MOUSEWHEEL"},
    {0x0210, "WM_PARENTNOTIFY"},
    {0x0281, "WM_IME_SETCONTEXT"},
    {0x0282, "WM_IME_NOTIFY"},
    {0x0400, "WM_USER"},
};

std::string hex(std::uint64_t value, int digits = 8) {
    char text[32];
    std::snprintf(text, sizeof text, "\"0x%0*llX\"", digits,
                  static_cast<unsigned long long>(value));
    return text;
}

const char* boolean(bool value) {
    return value ? "true" : "false";
}

std::string optionalString(const std::optional<std::string>& text) {
    return text ? jsonString(*text) : "null";
}

// Objects and arrays laid out one member a line at the outer levels, inline further in.
class Writer {
  public:
    explicit Writer(std::ostringstream& out) : out_(out) {}
    void field(const char* name, const std::string& json, bool last = false) {
        out_ << "  " << jsonString(name) << ": " << json << (last ? "\n" : ",\n");
    }
    template <typename T, typename F>
    void array(const char* name, const std::vector<T>& items, F&& item, bool last = false) {
        out_ << "  " << jsonString(name) << ": [";
        for (std::size_t i = 0; i < items.size(); ++i)
            out_ << (i ? ",\n    " : "\n    ") << item(items[i]);
        out_ << (items.empty() ? "]" : "\n  ]") << (last ? "\n" : ",\n");
    }

  private:
    std::ostringstream& out_;
};

std::string messageJson(const RecordedMessage& m) {
    std::ostringstream out;
    out << "{\"seq\": " << m.sequence << ", \"frame\": " << m.frame
        << ", \"message\": " << hex(m.message, 4)
        << ", \"name\": " << jsonString(messageName(m.message)) << ", \"wParam\": " << m.wParam
        << ", \"lParam\": " << m.lParam
        << ", \"delivery\": " << jsonString(m.posted ? "posted" : "sent")
        << ", \"result\": " << m.result;
    if (m.message == 0x0400) {
        const char* query = m.lParam == 125   ? "IPC_GETLISTPOS"
                            : m.lParam == 212 ? "IPC_GETPLAYLISTTITLE"
                                              : "";
        out << ", \"ipc\": " << jsonString(query);
        if (m.lParam == 212) out << ", \"title\": " << optionalString(m.title);
    }
    out << "}";
    return out.str();
}

std::string boxJson(const MessageBoxRecord& b) {
    std::ostringstream out;
    out << "{\"seq\": " << b.sequence << ", \"frame\": " << b.frame
        << ", \"owner\": " << hex(b.owner) << ", \"ownerClass\": " << jsonString(b.ownerClass)
        << ", \"caption\": " << optionalString(b.caption)
        << ", \"text\": " << optionalString(b.text) << ", \"flags\": " << hex(b.flags)
        << ", \"answer\": " << b.answer << "}";
    return out.str();
}

std::string windowJson(const WindowSnapshot& w) {
    std::ostringstream out;
    out << "{\"handle\": " << hex(w.handle) << ", \"role\": " << jsonString(w.role)
        << ", \"class\": " << jsonString(w.className) << ", \"title\": " << jsonString(w.title)
        << ", \"rect\": [" << w.rect.left << ", " << w.rect.top << ", " << w.rect.right << ", "
        << w.rect.bottom << "], \"client\": [" << w.clientWidth << ", " << w.clientHeight
        << "], \"style\": " << hex(w.style) << ", \"exStyle\": " << hex(w.exStyle)
        << ", \"visible\": " << boolean(w.visible) << ", \"topmost\": " << boolean(w.topmost)
        << ", \"iconic\": " << boolean(w.iconic) << ", \"owner\": " << hex(w.owner)
        << ", \"ownerRole\": " << jsonString(w.ownerRole);
    if (w.role == "control") {
        out << ", \"parent\": " << hex(w.parent) << ", \"id\": " << w.controlId
            << ", \"clientRect\": [" << w.clientRect.left << ", " << w.clientRect.top << ", "
            << w.clientRect.right << ", " << w.clientRect.bottom << "]";
        if (w.value) out << ", \"value\": " << *w.value;
    }
    out << "}";
    return out.str();
}

std::string snapshotJson(const Snapshot& s) {
    std::ostringstream out;
    out << "{\"label\": " << jsonString(s.label) << ", \"frame\": " << s.frame
        << ", \"windows\": [";
    for (std::size_t i = 0; i < s.windows.size(); ++i)
        out << (i ? ",\n      " : "\n      ") << windowJson(s.windows[i]);
    out << (s.windows.empty() ? "]}" : "\n    ]}");
    return out.str();
}

std::string actionJson(const ActionRecord& a) {
    std::ostringstream out;
    out << "{\"frame\": " << a.frame << ", \"action\": " << jsonString(a.text)
        << ", \"applied\": " << boolean(a.applied) << ", \"error\": " << jsonString(a.error) << "}";
    return out.str();
}

std::string dumpJson(const DumpRecord& d) {
    std::ostringstream out;
    out << "{\"frame\": " << d.frame << ", \"path\": " << jsonString(d.path)
        << ", \"of\": " << jsonString(d.dialog ? "dialog" : "window") << ", \"width\": " << d.width
        << ", \"height\": " << d.height << ", \"error\": " << jsonString(d.error) << "}";
    return out.str();
}

std::string countsJson(const ResourceCounts& c) {
    std::ostringstream out;
    out << "{\"objects\": " << c.objects << ", \"pens\": " << c.pens
        << ", \"brushes\": " << c.brushes << ", \"fonts\": " << c.fonts << ", \"dcs\": " << c.dcs
        << ", \"classes\": " << c.classes << ", \"windows\": " << c.windows
        << ", \"timers\": " << c.timers << "}";
    return out.str();
}

std::string resourcesJson(const ResourceLedgerReport& r) {
    std::ostringstream out;
    out << "{\"hooked\": " << boolean(r.hooked) << ", \"objectsCreated\": " << r.objectsCreated
        << ", \"objectsDeleted\": " << r.objectsDeleted << ", \"dcsTaken\": " << r.dcsTaken
        << ", \"dcsReleased\": " << r.dcsReleased
        << ", \"classesRegistered\": " << r.classesRegistered
        << ", \"classesUnregistered\": " << r.classesUnregistered
        << ", \"windowsCreated\": " << r.windowsCreated
        << ", \"windowsDestroyed\": " << r.windowsDestroyed << ", \"timersSet\": " << r.timersSet
        << ", \"timersKilled\": " << r.timersKilled << ", \"peakObjects\": " << r.peakObjects
        << ", \"peakPensOnSurface\": " << r.peakPensOnSurface
        << ", \"peakBrushesOnSurface\": " << r.peakBrushesOnSurface
        << ", \"deletedWhileSelected\": " << r.deletedWhileSelected
        << ", \"releasedHoldingObject\": " << r.releasedHoldingObject
        << ", \"unknownFrees\": " << r.unknownFrees
        << ", \"crossThreadDestroys\": " << r.crossThreadDestroys
        << ", \"deadDeletes\": " << r.deadDeletes
        << ", \"callsOnReleasedDCs\": " << r.callsOnReleasedDCs
        << ", \"alive\": " << countsJson(r.alive) << "}";
    return out.str();
}

std::string cycleJson(const CycleRecord& c) {
    std::ostringstream out;
    out << "{\"cycle\": " << c.index << ", \"init\": " << c.initResult
        << ", \"frames\": " << c.framesRendered << ", \"endReason\": " << jsonString(c.endReason)
        << ", \"quitMs\": " << std::llround(c.quitMs) << ", \"alive\": " << countsJson(c.alive)
        << ", \"workingSet\": " << c.workingSetBytes << ", \"private\": " << c.privateBytes
        << ", \"handles\": " << c.handles << "}";
    return out.str();
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string messageName(unsigned message) {
    for (const NamedMessage& named : kMessageNames)
        if (named.number == message) return named.name;
    return "";
}

std::string reportJson(const Report& r) {
    std::ostringstream out;
    Writer w(out);
    out << "{\n";
    w.field("plugin", jsonString(r.pluginPath));
    w.field("loaded", boolean(r.loaded));
    w.field("header", "{\"version\": " + hex(static_cast<std::uint32_t>(r.headerVersion), 4) +
                          ", \"description\": " + jsonString(r.headerDescription) + "}");
    w.field("module", "{\"index\": " + std::to_string(r.moduleIndex) +
                          ", \"description\": " + jsonString(r.moduleDescription) + "}");
    w.field("threaded", boolean(r.threaded));
    w.field("source", jsonString(r.source));
    w.field("messageBoxHooked", boolean(r.messageBoxHooked));
    w.field("init", "{\"called\": " + std::string(boolean(r.initCalled)) +
                        ", \"result\": " + std::to_string(r.initResult) + "}");
    w.field("framesRendered", std::to_string(r.framesRendered));
    w.field("lastRenderResult", std::to_string(r.lastRenderResult));
    w.field("endReason", jsonString(r.endReason));
    w.field("quitCalled", boolean(r.quitCalled));
    w.field("totalFrames", std::to_string(r.totalFrames));
    w.field("randomActions", std::to_string(r.randomActions));
    w.field("playerConfigs", std::to_string(r.playerConfigs));
    w.field("busyMain", "{\"ms\": " + std::to_string(std::llround(r.busyMainMs)) +
                            ", \"visEndedWhileBusy\": " + boolean(r.visEndedWhileBusy) + "}");
    w.field("resources", resourcesJson(r.resources));
    w.array("cycles", r.cycles, cycleJson);
    w.array("messages", r.messages, messageJson);
    w.array("messageBoxes", r.messageBoxes, boxJson);
    w.array("actions", r.actions, actionJson);
    w.array("dumps", r.dumps, dumpJson);
    w.array("snapshots", r.snapshots, snapshotJson);
    w.array(
        "errors", r.errors, [](const std::string& e) { return jsonString(e); }, true);
    out << "}\n";
    return out.str();
}

std::string writeReport(const std::string& path, const Report& report) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << reportJson(report);
    file.close();
    if (!file) return "cannot write the log " + path;
    return "";
}

} // namespace lumacore::vishost

#include "message_boxes.h"

#include <mutex>
#include <stdexcept>

#include "host_window.h"

namespace lumacore::vishost {
namespace {

// The hook is a plain function, so what it writes to lives here. A plug-in may show a box from
// any thread.
std::mutex boxesMutex;
std::vector<MessageBoxRecord> boxes;
const std::atomic<int>* boxFrames = nullptr;
bool redirectActive = false;

int WINAPI recordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    MessageBoxRecord record;
    record.sequence = nextEventSequence();
    record.owner = reinterpret_cast<std::uintptr_t>(owner);
    if (owner) {
        char name[256] = "";
        GetClassNameA(owner, name, sizeof name);
        record.ownerClass = name;
    }
    if (caption) record.caption = caption;
    if (text) record.text = text;
    record.flags = flags;
    record.answer = kMessageBoxAnswer;
    const std::lock_guard lock(boxesMutex);
    record.frame = boxFrames ? boxFrames->load() : 0;
    boxes.push_back(std::move(record));
    return kMessageBoxAnswer;
}

} // namespace

MessageBoxRedirect::MessageBoxRedirect(HMODULE plugin, const std::atomic<int>* frames) {
    {
        const std::lock_guard lock(boxesMutex);
        if (redirectActive) throw std::logic_error("a message box redirect is already active");
        redirectActive = true;
        boxes.clear();
        boxFrames = frames;
    }
    patch_.redirect(plugin, "user32.dll", "MessageBoxA",
                    reinterpret_cast<void*>(&recordMessageBox));
}

MessageBoxRedirect::~MessageBoxRedirect() {
    const std::lock_guard lock(boxesMutex);
    boxFrames = nullptr;
    redirectActive = false;
}

std::vector<MessageBoxRecord> MessageBoxRedirect::records() const {
    const std::lock_guard lock(boxesMutex);
    return boxes;
}

} // namespace lumacore::vishost

#include "message_boxes.h"

#include <cstring>
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

bool sameNameIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

template <typename T> T* at(HMODULE base, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(base) + offset);
}

// The import address table slots of `module` that hold user32's MessageBoxA. Slots are found by
// name through the lookup table, or, where a linker left that out, by the bound address.
std::vector<void**> messageBoxSlots(HMODULE module) {
    std::vector<void**> slots;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return slots;
    const auto* nt = at<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return slots;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0) return slots;

    void* bound =
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxA"));
    for (auto* import = at<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (!sameNameIgnoringCase(at<const char>(module, import->Name), "user32.dll")) continue;
        auto* addresses = at<IMAGE_THUNK_DATA>(module, import->FirstThunk);
        const IMAGE_THUNK_DATA* names =
            import->OriginalFirstThunk ? at<IMAGE_THUNK_DATA>(module, import->OriginalFirstThunk)
                                       : nullptr;
        for (std::size_t i = 0; addresses[i].u1.Function != 0; ++i) {
            bool match = reinterpret_cast<void*>(addresses[i].u1.Function) == bound;
            if (names && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
                const auto* byName = at<const IMAGE_IMPORT_BY_NAME>(
                    module, static_cast<DWORD>(names[i].u1.AddressOfData));
                match = match || std::strcmp(reinterpret_cast<const char*>(byName->Name),
                                             "MessageBoxA") == 0;
            }
            if (match) slots.push_back(reinterpret_cast<void**>(&addresses[i].u1.Function));
        }
    }
    return slots;
}

bool writeSlot(void** slot, void* value) {
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, previous, &previous);
    return true;
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
    for (void** slot : messageBoxSlots(plugin)) {
        void* original = *slot;
        if (writeSlot(slot, reinterpret_cast<void*>(&recordMessageBox)))
            patched_.push_back({slot, original});
    }
}

MessageBoxRedirect::~MessageBoxRedirect() {
    for (const Patch& patch : patched_)
        writeSlot(patch.slot, patch.original);
    const std::lock_guard lock(boxesMutex);
    boxFrames = nullptr;
    redirectActive = false;
}

std::vector<MessageBoxRecord> MessageBoxRedirect::records() const {
    const std::lock_guard lock(boxesMutex);
    return boxes;
}

} // namespace lumacore::vishost

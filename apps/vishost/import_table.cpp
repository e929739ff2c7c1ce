#include "import_table.h"

#include <cstring>

namespace lumacore::vishost {
namespace {

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

bool writeSlot(void** slot, void* value) {
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, previous, &previous);
    return true;
}

} // namespace

std::vector<void**> importSlots(HMODULE module, const char* library, const char* function) {
    std::vector<void**> slots;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return slots;
    const auto* nt = at<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return slots;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0) return slots;

    const HMODULE exporter = GetModuleHandleA(library);
    void* bound = exporter ? reinterpret_cast<void*>(GetProcAddress(exporter, function)) : nullptr;
    for (auto* import = at<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (!sameNameIgnoringCase(at<const char>(module, import->Name), library)) continue;
        auto* addresses = at<IMAGE_THUNK_DATA>(module, import->FirstThunk);
        const IMAGE_THUNK_DATA* names =
            import->OriginalFirstThunk ? at<IMAGE_THUNK_DATA>(module, import->OriginalFirstThunk)
                                       : nullptr;
        for (std::size_t i = 0; addresses[i].u1.Function != 0; ++i) {
            bool match = bound && reinterpret_cast<void*>(addresses[i].u1.Function) == bound;
            if (names && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
                const auto* byName = at<const IMAGE_IMPORT_BY_NAME>(
                    module, static_cast<DWORD>(names[i].u1.AddressOfData));
                match = match ||
                        std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
            }
            if (match) slots.push_back(reinterpret_cast<void**>(&addresses[i].u1.Function));
        }
    }
    return slots;
}

ImportPatch::~ImportPatch() {
    for (const Patch& patch : patched_)
        writeSlot(patch.slot, patch.original);
}

int ImportPatch::redirect(HMODULE module, const char* library, const char* function,
                          void* replacement) {
    int changed = 0;
    for (void** slot : importSlots(module, library, function)) {
        void* original = *slot;
        if (!writeSlot(slot, replacement)) continue;
        patched_.push_back({slot, original});
        ++changed;
    }
    return changed;
}

} // namespace lumacore::vishost

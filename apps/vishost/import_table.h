// The plug-in's import address table: the slots through which it calls a platform function, and
// a patch that points some of them elsewhere for as long as it lives. Only the plug-in's own
// table changes; the host and every other library keep calling the real functions.
#pragma once

#include <vector>

#include <windows.h>

namespace lumacore::vishost {

// The slots of `module` that import `function` from `library` (names ignore case). Slots are
// found by name through the lookup table, or, where a linker left that out, by the bound address.
std::vector<void**> importSlots(HMODULE module, const char* library, const char* function);

// Points slots at replacements and puts the originals back when destroyed.
class ImportPatch {
  public:
    ImportPatch() = default;
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    ~ImportPatch();

    // Redirects every import of `library`!`function` by `module` to `replacement`; returns how
    // many slots were changed.
    int redirect(HMODULE module, const char* library, const char* function, void* replacement);
    bool empty() const { return patched_.empty(); }

  private:
    struct Patch {
        void** slot;
        void* original;
    };
    std::vector<Patch> patched_;
};

} // namespace lumacore::vishost

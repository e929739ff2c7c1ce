// Message boxes that never block: the plug-in's import of MessageBoxA is redirected to a
// function that notes the box (owner, caption, text, flags) and answers IDOK at once. Only the
// plug-in's own import table is changed, and it is put back when the redirection ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include <windows.h>

#include "import_table.h"
#include "report.h"

namespace lumacore::vishost {

class MessageBoxRedirect {
  public:
    // Redirects `plugin`'s imports of user32's MessageBoxA. `frames` (the count of frames
    // rendered) is noted with each box. One redirect at a time per process.
    MessageBoxRedirect(HMODULE plugin, const std::atomic<int>* frames);
    MessageBoxRedirect(const MessageBoxRedirect&) = delete;
    MessageBoxRedirect& operator=(const MessageBoxRedirect&) = delete;
    ~MessageBoxRedirect();

    // Whether the plug-in imports MessageBoxA at all (and so was redirected).
    bool installed() const { return !patch_.empty(); }
    // The boxes asked for so far, in order.
    std::vector<MessageBoxRecord> records() const;

  private:
    ImportPatch patch_;
};

// The answer every redirected box gives.
inline constexpr int kMessageBoxAnswer = IDOK;

} // namespace lumacore::vishost

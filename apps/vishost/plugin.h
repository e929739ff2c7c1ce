// A visualisation plug-in loaded as a player loads it: LoadLibraryA, then the one export
// winampVisGetHeader, then the header's getModule.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "host/vis_module.h"

namespace lumacore::vishost {

class PluginLibrary {
  public:
    // Loads the library and asks for its header; throws std::runtime_error with a one-line
    // message when either fails.
    explicit PluginLibrary(const std::string& path);
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    ~PluginLibrary();

    HMODULE handle() const { return module_; }
    winampVisHeader& header() const { return *header_; }
    // The module record for `index`, or null.
    winampVisModule* module(int index) const;

    struct Entry {
        int index;
        std::string description;
    };
    // Every module the header offers, from index 0 up to the first null.
    std::vector<Entry> modules() const;

  private:
    HMODULE module_ = nullptr;
    winampVisHeader* header_ = nullptr;
};

} // namespace lumacore::vishost

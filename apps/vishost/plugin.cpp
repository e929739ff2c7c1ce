#include "plugin.h"

#include <stdexcept>

namespace lumacore::vishost {
namespace {

// No plug-in has more; a header whose getModule never returns null stops here.
constexpr int kMaxModules = 64;

std::string lastErrorText() {
    return "error " + std::to_string(GetLastError());
}

} // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    module_ = LoadLibraryA(path.c_str());
    if (!module_) throw std::runtime_error("cannot load " + path + " (" + lastErrorText() + ")");
    using GetHeader = winampVisHeader* (*)();
    const auto getHeader = reinterpret_cast<GetHeader>(
        reinterpret_cast<void*>(GetProcAddress(module_, "winampVisGetHeader")));
    if (getHeader) header_ = getHeader();
    if (!header_ || !header_->getModule) {
        FreeLibrary(module_);
        throw std::runtime_error(path + (getHeader ? ": winampVisGetHeader gave no usable header"
                                                   : ": no export winampVisGetHeader"));
    }
}

PluginLibrary::~PluginLibrary() {
    FreeLibrary(module_);
}

winampVisModule* PluginLibrary::module(int index) const {
    return header_->getModule(index);
}

std::vector<PluginLibrary::Entry> PluginLibrary::modules() const {
    std::vector<Entry> entries;
    for (int index = 0; index < kMaxModules; ++index) {
        const winampVisModule* record = module(index);
        if (!record) break;
        entries.push_back({index, record->description ? record->description : "(null)"});
    }
    return entries;
}

} // namespace lumacore::vishost

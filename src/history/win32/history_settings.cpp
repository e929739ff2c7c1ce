#include "history/win32/history_settings.h"

#include "history/history_state.h"
#include "host/settings.h"
#include "host/win32/module_path.h"
#include "host/win32/profile_store.h"

namespace lumacore {

void loadHistorySettings(const winampVisModule& module) {
    ProfileStore store(settingsPath(moduleFileName(module)));
    readHistorySettings(historyState(), store, module.description);
}

void saveHistorySettings(const winampVisModule& module) {
    ProfileStore store(settingsPath(moduleFileName(module)));
    writeHistorySettings(historyState(), store, module.description);
}

} // namespace lumacore

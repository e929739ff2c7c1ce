// The settings store of the plug-in: the platform's own profile functions on one file.
#pragma once

#include <string>

#include "host/settings_store.h"

namespace lumacore {

class ProfileStore final : public SettingsStore {
  public:
    explicit ProfileStore(std::string path);

    unsigned readInt(const std::string& section, const std::string& key, int fallback) override;
    bool writeString(const std::string& section, const std::string& key,
                     const std::string& value) override;

  private:
    std::string path_;
};

} // namespace lumacore

// The Windows registry behind RegistryStore (advapi32, ANSI functions).
#pragma once

#include "src/settings/registry_reader.h"

namespace kx::settings {

class Win32RegistryStore : public RegistryStore {
 public:
  bool OpenKey(uint32_t root, const std::string& path, KeyHandle* key) override;
  bool QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                      uint32_t* size) override;
  bool ReadValueData(KeyHandle key, const std::string& name, uint32_t* type, char* buffer,
                     uint32_t* size) override;
  void CloseKey(KeyHandle key) override;
};

// The process's registry store.
RegistryStore& DefaultRegistryStore();

}  // namespace kx::settings

// The data folder's registry value with an arbitrary type and data: the reader returns a
// text or throws ERegistryException, never reads past the data or crashes.
#include <cstddef>
#include <cstdint>

#include "src/settings/memory_registry.h"
#include "src/settings/registry_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* key = "Software\\Velloran\\Kestovar\\Databases";
  kx::settings::MemoryRegistryStore store;
  kx::settings::MemoryRegistryStore::Value value;
  value.type = data[0] % 12;
  value.data.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  store.SetValue(kx::settings::kHkeyCurrentUser, key, "kestrun", value);
  kx::settings::TRegistryReader reader(store);
  reader.SetRootKey(kx::settings::TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(std::string("\\") + key);
  try {
    (void)reader.ReadValue("kestrun");
  } catch (const kx::settings::ERegistryException&) {
  }
  return 0;
}

#include "src/settings/registry_store_win.h"

#include <windows.h>

namespace kx::settings {

namespace {
HKEY ToHkey(uintptr_t value) { return reinterpret_cast<HKEY>(value); }
// Predefined roots are sign-extended handle values (HKEY_CURRENT_USER is (HKEY)(LONG)0x80000001).
HKEY RootHkey(uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(root)));
}
}  // namespace

bool Win32RegistryStore::OpenKey(uint32_t root, const std::string& path, KeyHandle* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(RootHkey(root), path.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
    return false;
  }
  *key = reinterpret_cast<uintptr_t>(opened);
  return true;
}

bool Win32RegistryStore::QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                                        uint32_t* size) {
  DWORD value_type = 0;
  DWORD value_size = 0;
  if (RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &value_type, nullptr, &value_size) !=
      ERROR_SUCCESS) {
    return false;
  }
  *type = value_type;
  *size = value_size;
  return true;
}

bool Win32RegistryStore::ReadValueData(KeyHandle key, const std::string& name, uint32_t* type,
                                       char* buffer, uint32_t* size) {
  DWORD value_type = 0;
  DWORD value_size = *size;
  if (RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &value_type,
                       reinterpret_cast<BYTE*>(buffer), &value_size) != ERROR_SUCCESS) {
    return false;
  }
  *type = value_type;
  *size = value_size;
  return true;
}

void Win32RegistryStore::CloseKey(KeyHandle key) { RegCloseKey(ToHkey(key)); }

RegistryStore& DefaultRegistryStore() {
  static Win32RegistryStore store;
  return store;
}

}  // namespace kx::settings

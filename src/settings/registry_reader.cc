#include "src/settings/registry_reader.h"

#include <cstring>

namespace kx::settings {

uint32_t RootKeyHandle(TmRootKey root) {
  switch (root) {
    case TmRootKey::rkHKEY_CLASSES_ROOT:
      return kHkeyClassesRoot;
    case TmRootKey::rkHKEY_CURRENT_USER:
      return kHkeyCurrentUser;
    case TmRootKey::rkHKEY_LOCAL_MACHINE:
      return kHkeyLocalMachine;
    case TmRootKey::rkHKEY_USERS:
      return kHkeyUsers;
    case TmRootKey::rkHKEY_CURRENT_CONFIG:
      return kHkeyCurrentConfig;
  }
  return kHkeyLocalMachine;
}

TRegistryReader::TRegistryReader(RegistryStore& store) : store_(store) {}

std::string TRegistryReader::About() const {
  return "TRegistryReader 1.0, registry reading component (2002)";
}

namespace {
// Closes the key when the read leaves, by return or by exception.
class KeyCloser {
 public:
  KeyCloser(RegistryStore& store, RegistryStore::KeyHandle key) : store_(store), key_(key) {}
  ~KeyCloser() { store_.CloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  RegistryStore& store_;
  RegistryStore::KeyHandle key_;
};
}  // namespace

std::string TRegistryReader::ReadValue(const std::string& value_name) {
  // The registry refuses a relative path that begins with a separator.
  std::string path = key_;
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);

  RegistryStore::KeyHandle key = 0;
  if (!store_.OpenKey(RootKeyHandle(root_key_), path, &key)) return {};
  KeyCloser closer(store_, key);

  uint32_t type = kRegNone;
  uint32_t size = 0;
  if (!store_.QueryValueSize(key, value_name, &type, &size) || size == 0) return {};

  std::vector<char> buffer(size);
  if (!store_.ReadValueData(key, value_name, &type, buffer.data(), &size)) {
    throw ERegistryException("Failed to get data for '" + value_name + "'");
  }
  if (type != kRegSz && type != kRegExpandSz) {
    throw ERegistryException("Invalid data type for '" + value_name + "'");
  }
  // The text ends at its first NUL, or at the end of the data when it has none.
  const size_t stored = size < buffer.size() ? size : buffer.size();
  const void* nul = std::memchr(buffer.data(), '\0', stored);
  const size_t length = nul ? static_cast<const char*>(nul) - buffer.data() : stored;
  return std::string(buffer.data(), length);
}

}  // namespace kx::settings

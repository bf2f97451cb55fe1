#include "src/settings/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "src/common/ascii_case.h"

namespace kx::settings {

void MemoryRegistryStore::AddKey(uint32_t root, const std::string& path) {
  keys_[{root, AsciiLowerCase(path)}];
}

void MemoryRegistryStore::SetValue(uint32_t root, const std::string& path, const std::string& name,
                                   Value value) {
  keys_[{root, AsciiLowerCase(path)}].values[AsciiLowerCase(name)] = std::move(value);
}

void MemoryRegistryStore::DenyFullAccess(uint32_t root, const std::string& path) {
  keys_[{root, AsciiLowerCase(path)}].deny_full_access = true;
}

bool MemoryRegistryStore::HasKey(uint32_t root, const std::string& path) const {
  return keys_.count({root, AsciiLowerCase(path)}) != 0;
}

const MemoryRegistryStore::Value* MemoryRegistryStore::ValueAt(uint32_t root,
                                                               const std::string& path,
                                                               const std::string& name) const {
  auto key = keys_.find({root, AsciiLowerCase(path)});
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(AsciiLowerCase(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

bool MemoryRegistryStore::OpenKey(uint32_t root, const std::string& path, KeyHandle* key) {
  open_calls_.emplace_back(root, path);
  // As the real registry: a relative path may not begin with a separator.
  if (!path.empty() && path.front() == '\\') return false;
  auto it = keys_.find({root, AsciiLowerCase(path)});
  if (it == keys_.end() || it->second.deny_full_access) return false;
  *key = next_handle_++;
  open_keys_[*key] = it->first;
  ++opened_;
  return true;
}

const MemoryRegistryStore::Value* MemoryRegistryStore::Find(KeyHandle key,
                                                            const std::string& name) const {
  auto open = open_keys_.find(key);
  if (open == open_keys_.end()) throw std::logic_error("read through a key that is not open");
  const Key& k = keys_.at(open->second);
  auto value = k.values.find(AsciiLowerCase(name));
  return value == k.values.end() ? nullptr : &value->second;
}

bool MemoryRegistryStore::QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                                         uint32_t* size) {
  const Value* value = Find(key, name);
  if (!value) return false;
  *type = value->type;
  *size = static_cast<uint32_t>(value->data.size());
  return true;
}

bool MemoryRegistryStore::ReadValueData(KeyHandle key, const std::string& name, uint32_t* type,
                                        char* buffer, uint32_t* size) {
  const Value* value = Find(key, name);
  if (!value || fail_data_read_ || value->data.size() > *size) return false;
  *type = value->type;
  std::memcpy(buffer, value->data.data(), value->data.size());
  *size = static_cast<uint32_t>(value->data.size());
  return true;
}

void MemoryRegistryStore::CloseKey(KeyHandle key) {
  // Counted rather than thrown: the reader closes from a destructor.
  if (open_keys_.erase(key) == 0) {
    ++bad_closes_;
    return;
  }
  ++closed_;
}

}  // namespace kx::settings

// An in-memory registry for tests: keys and values set up by the test, counts of opened and
// closed keys, and switches for the failures a real registry can produce.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "src/settings/registry_reader.h"

namespace kx::settings {

class MemoryRegistryStore : public RegistryStore {
 public:
  struct Value {
    uint32_t type = kRegSz;
    std::string data;  // the raw bytes, NULs included
  };

  // Adds a key (and its value, when `name` is given). Keys and names compare without regard
  // to letter case, as the registry does.
  void AddKey(uint32_t root, const std::string& path);
  void SetValue(uint32_t root, const std::string& path, const std::string& name, Value value);
  // The key exists but cannot be opened with full access.
  void DenyFullAccess(uint32_t root, const std::string& path);
  // The data read fails, as when the value grows between the size query and the read.
  void FailDataRead(bool fail) { fail_data_read_ = fail; }

  bool HasKey(uint32_t root, const std::string& path) const;
  // The value, or null when the key or the value is absent.
  const Value* ValueAt(uint32_t root, const std::string& path, const std::string& name) const;

  int opened() const { return opened_; }
  int closed() const { return closed_; }
  // Closes of a handle that was not open (or was closed already).
  int bad_closes() const { return bad_closes_; }
  // The root and path of every OpenKey call, in order.
  const std::vector<std::pair<uint32_t, std::string>>& open_calls() const { return open_calls_; }

  bool OpenKey(uint32_t root, const std::string& path, KeyHandle* key) override;
  bool QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                      uint32_t* size) override;
  bool ReadValueData(KeyHandle key, const std::string& name, uint32_t* type, char* buffer,
                     uint32_t* size) override;
  void CloseKey(KeyHandle key) override;

 private:
  using KeyId = std::pair<uint32_t, std::string>;  // root, lower-case path
  struct Key {
    std::map<std::string, Value> values;  // by lower-case name
    bool deny_full_access = false;
  };
  const Value* Find(KeyHandle key, const std::string& name) const;

  std::map<KeyId, Key> keys_;
  std::map<KeyHandle, KeyId> open_keys_;
  KeyHandle next_handle_ = 0x100;
  bool fail_data_read_ = false;
  int opened_ = 0;
  int closed_ = 0;
  int bad_closes_ = 0;
  std::vector<std::pair<uint32_t, std::string>> open_calls_;
};

}  // namespace kx::settings

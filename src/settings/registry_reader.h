// The data folder lookup: a read-only registry component and the store it reads through.
//
// TRegistryReader answers one question: the text stored under a value name in one key.
// Each ReadValue opens the key, reads and closes it again; nothing is kept between calls
// and nothing is ever created or written. A missing key or value is empty text.
//
// Usage (the main window):
//   TRegistryReader registry(DefaultRegistryStore());   // registry_store_win.h
//   registry.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
//   registry.SetKey("\\Software\\Velloran\\Kestovar\\Databases");
//   std::string folder = registry.ReadValue("kestrun");  // may throw ERegistryException
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/common/exception.h"

namespace kx::settings {

// A value that exists but cannot be returned as text.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// The registry roots the component can read below. Any other ordinal means
// HKEY_LOCAL_MACHINE.
enum class TmRootKey : uint8_t {
  rkHKEY_CLASSES_ROOT = 0,
  rkHKEY_CURRENT_USER = 1,
  rkHKEY_LOCAL_MACHINE = 2,
  rkHKEY_USERS = 3,
  rkHKEY_CURRENT_CONFIG = 4,
};

// The predefined handle values of the registry roots, as the system numbers them.
inline constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kHkeyUsers = 0x80000003u;
inline constexpr uint32_t kHkeyCurrentConfig = 0x80000005u;

// Registry value type codes.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// The predefined root handle selected by `root`.
uint32_t RootKeyHandle(TmRootKey root);

// The registry as the reader sees it: the four operations of one read. Texts are single-byte
// text in the system code page. Implementations: the Win32 registry (registry_store_win.h)
// and an in-memory store for tests (memory_registry.h).
class RegistryStore {
 public:
  using KeyHandle = uintptr_t;

  virtual ~RegistryStore() = default;
  // Opens `path` below the predefined root `root` for full access, never creating it.
  // False when the key is absent or cannot be opened with full access.
  virtual bool OpenKey(uint32_t root, const std::string& path, KeyHandle* key) = 0;
  // The type and the size in bytes of the value `name`. False when the value is absent.
  virtual bool QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                              uint32_t* size) = 0;
  // Reads the value's data into `buffer` of `*size` bytes; on success `*size` becomes the
  // number of bytes stored. False when the data does not fit or cannot be read.
  virtual bool ReadValueData(KeyHandle key, const std::string& name, uint32_t* type, char* buffer,
                             uint32_t* size) = 0;
  // Releases a key obtained from OpenKey.
  virtual void CloseKey(KeyHandle key) = 0;
};

class TRegistryReader {
 public:
  explicit TRegistryReader(RegistryStore& store);

  TmRootKey RootKey() const { return root_key_; }
  void SetRootKey(TmRootKey root_key) { root_key_ = root_key; }
  const std::string& Key() const { return key_; }
  void SetKey(std::string key) { key_ = std::move(key); }
  // Kept for the window's description; the key is always opened, never created.
  bool CanCreate() const { return can_create_; }
  void SetCanCreate(bool can_create) { can_create_ = can_create; }
  // Fixed informational text; assigning it changes nothing.
  std::string About() const;
  void SetAbout(const std::string&) {}

  // The text stored under `value_name` in `Key` below `RootKey`: empty when the key cannot
  // be opened, the value is absent or holds no bytes. Text values end at their first NUL;
  // expandable text comes back as written. Throws ERegistryException for a value of another
  // type ("Invalid data type for '<name>'") or data that cannot be read ("Failed to get data
  // for '<name>'"). The key is closed on every path.
  std::string ReadValue(const std::string& value_name);

 private:
  RegistryStore& store_;
  TmRootKey root_key_ = TmRootKey::rkHKEY_LOCAL_MACHINE;
  std::string key_ = "\\Software\\RegistryReader";
  bool can_create_ = true;
};

}  // namespace kx::settings

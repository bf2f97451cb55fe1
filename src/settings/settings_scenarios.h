// Scenarios of the settings components written once and run twice: on the in-memory registry
// and profile files natively, and on the Win32 registry and profile functions under Wine, so
// that the fakes the other tests use are checked against the real thing.
//
// Each test executable instantiates the suites with its worlds:
//   INSTANTIATE_TEST_SUITE_P(Memory, RegistryScenarios, ::testing::Values(&MakeMemoryWorld));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "src/settings/ini_file.h"
#include "src/settings/registry_reader.h"

namespace kx::settings {

// A registry with a key of the scenario's own under HKEY_CURRENT_USER.
class RegistryWorld {
 public:
  virtual ~RegistryWorld() = default;
  // The store the reader is given; it counts the keys opened and closed.
  virtual RegistryStore& Store() = 0;
  virtual int Opened() = 0;
  virtual int Closed() = 0;
  // The scenario's key path (no leading backslash); it exists, empty, when the world is made.
  virtual std::string Base() = 0;
  // Sets a value of the key `path` (created when missing) to raw bytes of the given type.
  virtual void SetValue(const std::string& path, const std::string& name, uint32_t type,
                        const std::string& data) = 0;
  virtual bool KeyExists(const std::string& path) = 0;
  // The type and raw bytes of a value, or false when it is absent.
  virtual bool ValueOf(const std::string& path, const std::string& name, uint32_t* type,
                       std::string* data) = 0;
};

// A program folder of its own and the profile files of the platform.
class ProfileWorld {
 public:
  virtual ~ProfileWorld() = default;
  virtual ProfileFile& Profiles() = 0;
  virtual ProgramLocation& Program() = 0;
  // The full name of "ads.ini" in the program's folder.
  virtual std::string IniPath() = 0;
  // True when a file (not a folder) of that name exists.
  virtual bool FileExists() = 0;
  // The file's content as the platform writes it ("[S]\r\nk=v\r\n"), or empty.
  virtual std::string Text() = 0;
  // Makes the file hold this well-formed text (sections and keys only).
  virtual void SetText(const std::string& text) = 0;
  // Makes the file unwritable; it holds no text afterwards.
  virtual void MakeUnwritable() = 0;
};

using RegistryWorldFactory = std::unique_ptr<RegistryWorld> (*)();
using ProfileWorldFactory = std::unique_ptr<ProfileWorld> (*)();

class RegistryScenarios : public ::testing::TestWithParam<RegistryWorldFactory> {
 protected:
  void SetUp() override { world = GetParam()(); }
  // The reader's value `name` of the key `key` under HKEY_CURRENT_USER.
  std::string Read(const std::string& key, const std::string& name);

  std::unique_ptr<RegistryWorld> world;
};

class ProfileScenarios : public ::testing::TestWithParam<ProfileWorldFactory> {
 protected:
  void SetUp() override { world = GetParam()(); }

  std::unique_ptr<ProfileWorld> world;
};

}  // namespace kx::settings

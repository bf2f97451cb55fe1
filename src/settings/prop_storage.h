// The window's property storage: named values (and, optionally, component properties) kept
// in a section of an ini file and carried across runs of the program.
//
// Usage (the main window, which owns both components):
//   TAppIniFile ini(DefaultProfileFile(), DefaultProgramLocation());  // profile_file_win.h
//   ini.SetIniFileName("ads.ini");
//   ini.SetIniFileType(TIniFileType::ftIniFile);
//   TPropStorage storage("Tfmrebld");
//   storage.SetAppIniFile(&ini);
//   storage.SetAppSection("Databases");
//   storage.StoredValues().Add("dravent");
//   storage.Loaded();
//   storage.SetErrorDisplay(show_error);   // the application's error box
//   ini.SetErrorDisplay(show_error);
// and then, in the window's message handling:
//   WM_SHOWWINDOW (shown):  storage.HandleShow([&] { FormShow(); });
//   WM_CLOSE:               bool can_close = true; storage.HandleCloseQuery(can_close);
//                           if (can_close) DestroyWindow(hwnd);
//   WM_DESTROY:             storage.HandleDestroy();
// The first showing loads the stored values before FormShow runs; an accepted close saves
// them; a window destroyed without an accepted close saves them then. Exceptions from the
// loads and saves go to the error display and the window's processing goes on; exceptions
// from the window's own handlers (`previous`) pass through.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "src/common/exception.h"
#include "src/settings/app_ini_file.h"

namespace kx::settings {

class TPropStorage;
class TStoredValues;

// A collection rule was broken, such as a second item with an existing name.
class ECollectionError : public Exception {
 public:
  using Exception::Exception;
};

// A stored value: unassigned, text, integer, floating point or Boolean.
using TStoredVariant = std::variant<std::monostate, std::string, int, double, bool>;
// The value as text: empty for unassigned, decimal for numbers, "True"/"False".
std::string StoredVariantToText(const TStoredVariant& value);

class TStoredValue {
 public:
  TStoredValue(TStoredValues& collection, std::string name);
  virtual ~TStoredValue() = default;

  const std::string& Name() const { return name_; }
  // Throws ECollectionError "Item '<name>' already exists" when another item of the
  // collection has the same non-empty name, letter case aside; the name is then unchanged.
  void SetName(const std::string& name);
  const TStoredVariant& Value() const { return value_; }
  void SetValue(TStoredVariant value) { value_ = std::move(value); }

  // Reads the value from the storage's section (key Name), its current text as default.
  virtual void LoadValue();
  // Writes the value as text under the key Name.
  virtual void SaveValue();

 private:
  TStoredValues& collection_;
  std::string name_;
  TStoredVariant value_;
};

class TStoredValues {
 public:
  explicit TStoredValues(TPropStorage& storage) : storage_(storage) {}
  virtual ~TStoredValues() = default;
  TStoredValues(const TStoredValues&) = delete;
  TStoredValues& operator=(const TStoredValues&) = delete;

  TPropStorage& Storage() const { return storage_; }
  // Adds an item; throws ECollectionError when the name is taken.
  TStoredValue& Add(const std::string& name);
  int Count() const { return static_cast<int>(items_.size()); }
  TStoredValue& Item(int index) const { return *items_.at(static_cast<size_t>(index)); }
  // The item with that name (letter case aside), or null.
  TStoredValue* Find(const std::string& name) const;
  void Clear() { items_.clear(); }

  // Saves (loads) every item in collection order inside one write (read) use of the
  // storage's ini file.
  virtual void SaveValues();
  virtual void LoadValues();

 private:
  TPropStorage& storage_;
  std::vector<std::unique_ptr<TStoredValue>> items_;
};

// A component property kept by the storage: its path ("Component.Property", also the key
// written) and how to read and set it as text.
struct TStoredProp {
  std::string path;
  std::function<std::string()> get;
  std::function<void(const std::string&)> set;
};

// Reads and writes the stored properties, one key per property.
class TPropsFiler {
 public:
  TPropsFiler(TCustomIniFile& ini_file, std::string section)
      : ini_file_(ini_file), section_(std::move(section)) {}
  void LoadProperties(const std::vector<TStoredProp>& props);
  void StoreProperties(const std::vector<TStoredProp>& props);

 private:
  TCustomIniFile& ini_file_;
  std::string section_;
};

using TStoredValueEvent =
    std::function<void(TPropStorage& sender, TStoredValue& item, TStoredVariant& value)>;

class TPropStorage {
 public:
  // `owner_class_name`: the section used while AppSection is empty.
  explicit TPropStorage(std::string owner_class_name);
  virtual ~TPropStorage();
  TPropStorage(const TPropStorage&) = delete;
  TPropStorage& operator=(const TPropStorage&) = delete;

  // When false the storage loads and saves nothing.
  bool Active() const { return link_.Active(); }
  void SetActive(bool active) { link_.SetActive(active); }
  TAppIniFile* AppIniFile() const { return link_.IniFile(); }
  void SetAppIniFile(TAppIniFile* ini_file) { link_.SetIniFile(ini_file); }
  const std::string& AppSection() const { return app_section_; }
  void SetAppSection(const std::string& section);
  // The section actually used.
  const std::string& Section() const { return link_.Section(); }
  TPropStorage* MasterStorage() const { return master_; }
  // Moves the storage to the new master's slaves. Throws EInvalidOp "Circular links not
  // allowed" (and changes nothing) for the storage itself or one of its slaves, however deep.
  void SetMasterStorage(TPropStorage* master);
  std::vector<TStoredProp>& StoredProps() { return stored_props_; }
  TStoredValues& StoredValues() { return stored_values_; }
  int Version() const { return version_; }
  void SetVersion(int version) { version_ = version; }

  std::function<void(TPropStorage& sender)> OnLoad;
  std::function<void(TPropStorage& sender)> OnSave;
  TStoredValueEvent OnLoadValue;
  TStoredValueEvent OnSaveValue;

  // Called once the owner and its components are set up: drops stored properties that name
  // nothing. Touches no file.
  void Loaded();
  // A component of the owner is going away: its properties leave StoredProps.
  void RemoveComponent(const std::string& component_name);

  // Reads "Version", the stored properties (when the version matches) and the stored values
  // of the section, then loads the slave storages.
  virtual void LoadState();
  // Writes the stored values, the stored properties and "Version", then saves the slaves.
  virtual void SaveState();

  // The window's moments. A storage with a master leaves them to its master and only calls
  // `previous`.
  // Every showing: the first one loads, then `previous` (the window's own show handler) runs.
  void HandleShow(const std::function<void()>& previous = {});
  // A requested close: `previous` may refuse it; an accepted close saves.
  void HandleCloseQuery(bool& can_close, const std::function<void(bool&)>& previous = {});
  // The window is being destroyed: saves unless an accepted close already did.
  void HandleDestroy(const std::function<void()>& previous = {});
  // Where the exceptions of the loads and saves above are shown. Without a display they are
  // thrown to the caller.
  void SetErrorDisplay(std::function<void(const Exception&)> display) {
    error_display_ = std::move(display);
  }

  bool ShowLoaded() const { return show_loaded_; }
  bool Saved() const { return saved_; }

 protected:
  // Give OnLoadValue (OnSaveValue) the chance to change the value in transit.
  virtual void DoLoadValue(TStoredValue& item, TStoredVariant& value);
  virtual void DoSaveValue(TStoredValue& item, TStoredVariant& value);

 private:
  friend class TStoredValue;
  void ShowError(const Exception& e);
  void UpdateSection();

  std::string owner_class_name_;
  std::string app_section_;
  TIniFileLink link_;
  TPropStorage* master_ = nullptr;
  std::vector<TPropStorage*> slaves_;
  std::vector<TStoredProp> stored_props_;
  TStoredValues stored_values_;
  int version_ = 0;
  bool show_loaded_ = false;
  bool saved_ = false;
  std::function<void(const Exception&)> error_display_;
};

}  // namespace kx::settings

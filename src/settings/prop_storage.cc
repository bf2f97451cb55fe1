#include "src/settings/prop_storage.h"

#include <algorithm>
#include <charconv>

#include "src/common/ascii_case.h"

namespace kx::settings {

namespace {

// Runs `work` inside a read (write) use of `ini_file`; the use ends also when it throws.
template <typename Work>
void WithRead(TAppIniFile* ini_file, Work work) {
  if (!ini_file || !ini_file->BeginRead()) return;
  try {
    work(*ini_file->IniFile());
  } catch (...) {
    ini_file->EndRead();
    throw;
  }
  ini_file->EndRead();
}

template <typename Work>
void WithWrite(TAppIniFile* ini_file, Work work) {
  if (!ini_file || !ini_file->BeginWrite()) return;
  try {
    work(*ini_file->IniFile());
  } catch (...) {
    ini_file->EndWrite();
    throw;
  }
  ini_file->EndWrite();
}
}  // namespace

std::string StoredVariantToText(const TStoredVariant& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(int number) const { return std::to_string(number); }
    std::string operator()(double number) const {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
      return std::string(buffer, result.ptr);
    }
    std::string operator()(bool flag) const { return flag ? "True" : "False"; }
  };
  return std::visit(Visitor{}, value);
}

// ---- TStoredValue ----

TStoredValue::TStoredValue(TStoredValues& collection, std::string name)
    : collection_(collection), name_(std::move(name)) {}

void TStoredValue::SetName(const std::string& name) {
  if (!name.empty()) {
    TStoredValue* other = collection_.Find(name);
    if (other && other != this) throw ECollectionError("Item '" + name + "' already exists");
  }
  name_ = name;
}

void TStoredValue::LoadValue() {
  TPropStorage& storage = collection_.Storage();
  TStoredVariant value = StoredVariantToText(value_);
  WithRead(storage.AppIniFile(), [&](TCustomIniFile& ini_file) {
    value = ini_file.ReadString(storage.Section(), name_, std::get<std::string>(value));
  });
  storage.DoLoadValue(*this, value);
  value_ = std::move(value);
}

void TStoredValue::SaveValue() {
  TPropStorage& storage = collection_.Storage();
  TStoredVariant value = value_;
  storage.DoSaveValue(*this, value);
  WithWrite(storage.AppIniFile(), [&](TCustomIniFile& ini_file) {
    ini_file.WriteString(storage.Section(), name_, StoredVariantToText(value));
  });
}

// ---- TStoredValues ----

TStoredValue& TStoredValues::Add(const std::string& name) {
  if (!name.empty() && Find(name)) throw ECollectionError("Item '" + name + "' already exists");
  items_.push_back(std::make_unique<TStoredValue>(*this, name));
  return *items_.back();
}

TStoredValue* TStoredValues::Find(const std::string& name) const {
  for (const auto& item : items_) {
    if (SameTextIgnoringCase(item->Name(), name)) return item.get();
  }
  return nullptr;
}

void TStoredValues::SaveValues() {
  WithWrite(storage_.AppIniFile(), [&](TCustomIniFile&) {
    for (const auto& item : items_) item->SaveValue();
  });
}

void TStoredValues::LoadValues() {
  WithRead(storage_.AppIniFile(), [&](TCustomIniFile&) {
    for (const auto& item : items_) item->LoadValue();
  });
}

// ---- TPropsFiler ----

void TPropsFiler::LoadProperties(const std::vector<TStoredProp>& props) {
  for (const TStoredProp& prop : props) {
    prop.set(ini_file_.ReadString(section_, prop.path, prop.get()));
  }
}

void TPropsFiler::StoreProperties(const std::vector<TStoredProp>& props) {
  for (const TStoredProp& prop : props) ini_file_.WriteString(section_, prop.path, prop.get());
}

// ---- TPropStorage ----

TPropStorage::TPropStorage(std::string owner_class_name)
    : owner_class_name_(std::move(owner_class_name)), stored_values_(*this) {
  link_.OnLoad = [this] { LoadState(); };
  link_.OnSave = [this] { SaveState(); };
  UpdateSection();
}

TPropStorage::~TPropStorage() {
  if (master_) {
    auto& siblings = master_->slaves_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  for (TPropStorage* slave : slaves_) slave->master_ = nullptr;
}

void TPropStorage::SetAppSection(const std::string& section) {
  app_section_ = section;
  UpdateSection();
}

void TPropStorage::UpdateSection() {
  link_.SetSection(app_section_.empty() ? owner_class_name_ : app_section_);
}

void TPropStorage::SetMasterStorage(TPropStorage* master) {
  if (master == master_) return;
  for (TPropStorage* up = master; up; up = up->master_) {
    if (up == this) throw EInvalidOp("Circular links not allowed");
  }
  if (master_) {
    auto& siblings = master_->slaves_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  master_ = master;
  if (master_) master_->slaves_.push_back(this);
}

void TPropStorage::Loaded() {
  std::erase_if(stored_props_, [](const TStoredProp& prop) { return !prop.get || !prop.set; });
}

void TPropStorage::RemoveComponent(const std::string& component_name) {
  const std::string prefix = component_name + ".";
  std::erase_if(stored_props_, [&](const TStoredProp& prop) {
    return prop.path.size() > prefix.size() &&
           SameTextIgnoringCase(prop.path.substr(0, prefix.size()), prefix);
  });
}

void TPropStorage::LoadState() {
  WithRead(AppIniFile(), [&](TCustomIniFile& ini_file) {
    if (ini_file.ReadInteger(Section(), "Version", version_) == version_) {
      try {
        TPropsFiler(ini_file, Section()).LoadProperties(stored_props_);
      } catch (...) {
        // A property that cannot take its stored text keeps its value; loading goes on.
      }
    }
  });
  stored_values_.LoadValues();
  if (OnLoad) OnLoad(*this);
  const std::vector<TPropStorage*> slaves = slaves_;
  for (TPropStorage* slave : slaves) slave->link_.LoadState();
}

void TPropStorage::SaveState() {
  if (OnSave) OnSave(*this);
  stored_values_.SaveValues();
  WithWrite(AppIniFile(), [&](TCustomIniFile& ini_file) {
    TPropsFiler(ini_file, Section()).StoreProperties(stored_props_);
    ini_file.WriteInteger(Section(), "Version", version_);
  });
  const std::vector<TPropStorage*> slaves = slaves_;
  for (TPropStorage* slave : slaves) slave->link_.SaveState();
}

void TPropStorage::DoLoadValue(TStoredValue& item, TStoredVariant& value) {
  if (OnLoadValue) OnLoadValue(*this, item, value);
}

void TPropStorage::DoSaveValue(TStoredValue& item, TStoredVariant& value) {
  if (OnSaveValue) OnSaveValue(*this, item, value);
}

// Called from a catch block: without a display the exception being handled goes on up.
void TPropStorage::ShowError(const Exception& e) {
  if (!error_display_) throw;
  error_display_(e);
}

void TPropStorage::HandleShow(const std::function<void()>& previous) {
  if (!master_ && !show_loaded_ && Active()) {
    show_loaded_ = true;
    try {
      link_.LoadState();
    } catch (const Exception& e) {
      ShowError(e);
    }
  }
  if (previous) previous();
}

void TPropStorage::HandleCloseQuery(bool& can_close, const std::function<void(bool&)>& previous) {
  if (previous) previous(can_close);
  if (master_ || !can_close) return;
  saved_ = true;
  if (!Active()) return;
  try {
    link_.SaveState();
  } catch (const Exception& e) {
    ShowError(e);
  }
}

void TPropStorage::HandleDestroy(const std::function<void()>& previous) {
  if (!master_ && !saved_) {
    saved_ = true;
    if (Active()) {
      try {
        link_.SaveState();
      } catch (const Exception& e) {
        ShowError(e);
      }
    }
  }
  if (previous) previous();
}

}  // namespace kx::settings

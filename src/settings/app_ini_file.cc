#include "src/settings/app_ini_file.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "src/common/ascii_case.h"

namespace kx::settings {

namespace {

// An ini file whose writes are held in memory until UpdateFile, which writes them to the
// private-profile file in the order they were made. Reads see the pending writes.
class TMemIniFile : public TCustomIniFile {
 public:
  TMemIniFile(ProfileFile& profiles, std::string file_name)
      : file_(profiles, std::move(file_name)) {}
  ~TMemIniFile() override {
    try {
      UpdateFile();
    } catch (...) {
      // Pending writes that fail here were already reported by the last UpdateFile.
    }
  }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_text) override {
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
      if (SameTextIgnoringCase(it->section, section) && SameTextIgnoringCase(it->key, key))
        return it->text;
    }
    return file_.ReadString(section, key, default_text);
  }
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& text) override {
    pending_.push_back({section, key, text});
  }
  void UpdateFile() override {
    while (!pending_.empty()) {
      const Entry& entry = pending_.front();
      file_.WriteString(entry.section, entry.key, entry.text);
      pending_.erase(pending_.begin());
    }
    file_.UpdateFile();
  }

 private:
  struct Entry {
    std::string section, key, text;
  };
  TIniFile file_;
  std::vector<Entry> pending_;
};
}  // namespace

TAppIniFile::TAppIniFile(ProfileFile& profiles, ProgramLocation& program)
    : profiles_(profiles), program_(program) {}

TAppIniFile::~TAppIniFile() {
  try {
    Release();
  } catch (...) {
    // Nobody is left to tell of a failure while the component goes away.
  }
  for (TIniFileLink* link : links_) link->ini_file_ = nullptr;
}

void TAppIniFile::SetIniFileName(const std::string& name) {
  if (name == ini_file_name_) return;
  Release();
  ini_file_name_ = name;
}

void TAppIniFile::SetIniFileType(TIniFileType type) {
  if (type == ini_file_type_) return;
  Release();
  ini_file_type_ = type;
}

std::string TAppIniFile::FileName() {
  return ResolveIniFileName(ini_file_name_, program_.ProgramFileName());
}

std::unique_ptr<TCustomIniFile> TAppIniFile::CreateIniFile() {
  switch (ini_file_type_) {
    case TIniFileType::ftIniFile:
      return std::make_unique<TIniFile>(profiles_, FileName());
    case TIniFileType::ftMemIniFile:
      return std::make_unique<TMemIniFile>(profiles_, FileName());
    case TIniFileType::ftUserDefined: {
      std::unique_ptr<TCustomIniFile> ini_file;
      if (OnCreateIniFile) OnCreateIniFile(*this, ini_file);
      return ini_file;
    }
  }
  return nullptr;
}

void TAppIniFile::Open() {
  if (!ini_file_) {
    ini_file_ = CreateIniFile();
    if (!ini_file_) throw EInvalidOp("Cannot create ini-file");
  }
  // A copy: a handler may link or unlink.
  const std::vector<TIniFileLink*> links = links_;
  for (TIniFileLink* link : links) {
    if (link->OnIniOpened) link->OnIniOpened();
  }
}

void TAppIniFile::Release() {
  if (!ini_file_) return;
  const std::vector<TIniFileLink*> links = links_;
  for (TIniFileLink* link : links) {
    if (link->OnIniClosing) link->OnIniClosing();
  }
  read_count_ = 0;
  write_count_ = 0;
  ini_file_.reset();
}

bool TAppIniFile::BeginRead() {
  if (read_count_ == 0) {
    try {
      Open();
    } catch (...) {
      // A file object made by a failed open is not kept when nothing else uses it.
      if (write_count_ == 0) ini_file_.reset();
      throw;
    }
    if (!ini_file_) return false;
  }
  ++read_count_;
  return true;
}

bool TAppIniFile::BeginWrite() {
  if (write_count_ == 0) {
    try {
      Open();
    } catch (...) {
      if (read_count_ == 0) ini_file_.reset();
      throw;
    }
    if (!ini_file_) return false;
  }
  ++write_count_;
  return true;
}

void TAppIniFile::EndRead() {
  if (read_count_ <= 0) return;
  --read_count_;
  if (read_count_ == 0 && write_count_ == 0) Release();
}

void TAppIniFile::EndWrite() {
  if (write_count_ <= 0) return;
  --write_count_;
  if (write_count_ != 0) return;
  std::exception_ptr failure;
  try {
    if (ini_file_) ini_file_->UpdateFile();
  } catch (const Exception& e) {
    if (error_display_) {
      error_display_(e);
    } else {
      failure = std::current_exception();
    }
  }
  if (read_count_ == 0) Release();
  if (failure) std::rethrow_exception(failure);
}

void TAppIniFile::LoadAll() {
  const std::vector<TIniFileLink*> links = links_;
  for (TIniFileLink* link : links) {
    if (link->Active()) link->LoadState();
  }
}

void TAppIniFile::SaveAll() {
  const std::vector<TIniFileLink*> links = links_;
  for (TIniFileLink* link : links) {
    if (link->Active()) link->SaveState();
  }
}

void TAppIniFile::AddLink(TIniFileLink* link) { links_.push_back(link); }

void TAppIniFile::RemoveLink(TIniFileLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

TIniFileLink::~TIniFileLink() { SetIniFile(nullptr); }

void TIniFileLink::SetIniFile(TAppIniFile* ini_file) {
  if (ini_file == ini_file_) return;
  if (ini_file_) ini_file_->RemoveLink(this);
  ini_file_ = ini_file;
  if (ini_file_) ini_file_->AddLink(this);
}

void TIniFileLink::LoadState() {
  if (!ini_file_ || !ini_file_->BeginRead()) return;
  TAppIniFile* ini_file = ini_file_;
  try {
    if (OnLoad) OnLoad();
  } catch (...) {
    ini_file->EndRead();
    throw;
  }
  ini_file->EndRead();
}

void TIniFileLink::SaveState() {
  if (!ini_file_ || !ini_file_->BeginWrite()) return;
  TAppIniFile* ini_file = ini_file_;
  try {
    if (OnSave) OnSave();
  } catch (...) {
    ini_file->EndWrite();
    throw;
  }
  ini_file->EndWrite();
}

}  // namespace kx::settings

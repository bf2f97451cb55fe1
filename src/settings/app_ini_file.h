// The ini-file component and the links through which storages use it.
//
// TAppIniFile makes its file object only while someone uses it: every use is bracketed by
// BeginRead/EndRead or BeginWrite/EndWrite, which count nested uses. The outermost use
// opens the file object, the end of the outermost write use flushes it, and the end of the
// last use of either kind releases it, so the file is not held between loads and saves.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/common/exception.h"
#include "src/settings/ini_file.h"

namespace kx::settings {

// The kinds of file object. There is no registry-backed kind: this program only ever reads
// the registry, so such a kind could make no file object, and the default is the
// private-profile file.
enum class TIniFileType { ftIniFile, ftMemIniFile, ftUserDefined };

class TAppIniFile;
class TIniFileLink;

// Supplies the file object of an ftUserDefined component; leaving `ini_file` empty means
// none can be made.
using TCreateIniFileEvent =
    std::function<void(TAppIniFile& sender, std::unique_ptr<TCustomIniFile>& ini_file)>;

class TAppIniFile {
 public:
  TAppIniFile(ProfileFile& profiles, ProgramLocation& program);
  virtual ~TAppIniFile();
  TAppIniFile(const TAppIniFile&) = delete;
  TAppIniFile& operator=(const TAppIniFile&) = delete;

  // Changing either of these releases an open file object first.
  const std::string& IniFileName() const { return ini_file_name_; }
  void SetIniFileName(const std::string& name);
  TIniFileType IniFileType() const { return ini_file_type_; }
  void SetIniFileType(TIniFileType type);
  TCreateIniFileEvent OnCreateIniFile;

  // Where failures are shown that nobody else can raise: a flush that fails when the last
  // write use ends. Without a display such a failure is thrown from EndWrite.
  void SetErrorDisplay(std::function<void(const Exception&)> display) {
    error_display_ = std::move(display);
  }

  // True when the file object is available; the first use opens it, which throws EInvalidOp
  // "Cannot create ini-file" when none can be made. Pair every true with an End call.
  bool BeginRead();
  bool BeginWrite();
  void EndRead();
  void EndWrite();
  // The file object while a use is running, otherwise null.
  TCustomIniFile* IniFile() const { return ini_file_.get(); }
  int ReadCount() const { return read_count_; }
  int WriteCount() const { return write_count_; }

  // The full name of the file an ftIniFile or ftMemIniFile component opens.
  virtual std::string FileName();
  // Runs the load (or save) of every active link, in link order.
  virtual void LoadAll();
  virtual void SaveAll();

 protected:
  // Makes the file object for the component's type; null when none can be made.
  virtual std::unique_ptr<TCustomIniFile> CreateIniFile();

 private:
  friend class TIniFileLink;
  void Open();
  void Release();
  void AddLink(TIniFileLink* link);
  void RemoveLink(TIniFileLink* link);

  ProfileFile& profiles_;
  ProgramLocation& program_;
  std::string ini_file_name_;
  TIniFileType ini_file_type_ = TIniFileType::ftIniFile;
  std::unique_ptr<TCustomIniFile> ini_file_;
  std::vector<TIniFileLink*> links_;
  int read_count_ = 0;
  int write_count_ = 0;
  std::function<void(const Exception&)> error_display_;
};

// One user's attachment to an ini-file component: its section, its Active flag and the
// handlers the component and the link's load and save call.
class TIniFileLink {
 public:
  TIniFileLink() = default;
  ~TIniFileLink();
  TIniFileLink(const TIniFileLink&) = delete;
  TIniFileLink& operator=(const TIniFileLink&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  const std::string& Section() const { return section_; }
  void SetSection(std::string section) { section_ = std::move(section); }
  TAppIniFile* IniFile() const { return ini_file_; }
  // Moves the link from its current component's list to the new one's.
  void SetIniFile(TAppIniFile* ini_file);

  std::function<void()> OnIniOpened;
  std::function<void()> OnIniClosing;
  std::function<void()> OnLoad;
  std::function<void()> OnSave;

  // Runs OnLoad (or OnSave) inside a read (or write) use of the component, when the link has
  // one and the use can begin. The use ends also when the handler throws.
  void LoadState();
  void SaveState();

 private:
  friend class TAppIniFile;
  bool active_ = true;
  std::string section_;
  TAppIniFile* ini_file_ = nullptr;
};

}  // namespace kx::settings

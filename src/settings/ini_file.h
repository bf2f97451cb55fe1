// Ini-file objects: the private-profile file behind the property storage, and the two
// platform seams it stands on (profile files, the program's own file name).
#pragma once

#include <cstddef>
#include <string>

#include "src/common/exception.h"

namespace kx::settings {

// A write to an ini file failed ("Unable to write to <full file name>").
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// What became of a write to a profile file.
enum class ProfileWrite {
  kWritten,
  kTooLong,  // the text is longer than a key can hold whole: nothing was changed
  kFailed,   // the file cannot be written
};

// Private-profile (ini) files as the platform offers them. Texts are single-byte text in
// the system code page. Implementations: the Win32 profile functions (profile_file_win.h)
// and an in-memory set of files for tests (memory_profile.h).
class ProfileFile {
 public:
  // The longest text a key can be written with. The profile functions store a longer one
  // cut or empty, so a longer text is refused (kTooLong) and the key left as it was.
  static constexpr size_t kLongestText = 32766;

  virtual ~ProfileFile() = default;
  // The text of `key` in `section` of the file, or `default_text` when the file, section or
  // key is absent, as copied into a buffer of `buffer_size` characters: at most
  // buffer_size - 1 characters are returned. Section and key compare without regard to case.
  virtual std::string ReadString(const std::string& file_name, const std::string& section,
                                 const std::string& key, const std::string& default_text,
                                 size_t buffer_size) = 0;
  // Replaces the key in place or adds it; creates the section and the file when missing and
  // leaves every other section and key as it was.
  virtual ProfileWrite WriteString(const std::string& file_name, const std::string& section,
                                   const std::string& key, const std::string& text) = 0;
  // Writes out whatever is pending for the file.
  virtual void Flush(const std::string& file_name) = 0;
};

// Where the running program's file is.
class ProgramLocation {
 public:
  virtual ~ProgramLocation() = default;
  // The full file name of the program file, e.g. "C:\Tools\KestovarRebuild.exe".
  virtual std::string ProgramFileName() = 0;
};

// The file object of an ini-file component: keys of sections, read and written as text or
// as integers.
class TCustomIniFile {
 public:
  virtual ~TCustomIniFile() = default;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& default_text) = 0;
  virtual void WriteString(const std::string& section, const std::string& key,
                           const std::string& text) = 0;
  // Writes out pending changes.
  virtual void UpdateFile() = 0;

  // The key's text as a number (see ParseIniInteger), or `default_value` when the key is
  // absent or not a number.
  int ReadInteger(const std::string& section, const std::string& key, int default_value);
  // Writes the number as decimal text.
  void WriteInteger(const std::string& section, const std::string& key, int value);
};

// A private-profile file. Every write goes to the file at once; destroying the object
// flushes once more.
class TIniFile : public TCustomIniFile {
 public:
  // The buffer a key is first read into; longer texts are read again with a larger one.
  static constexpr size_t kReadBufferSize = 2048;

  TIniFile(ProfileFile& profiles, std::string file_name);
  ~TIniFile() override;

  const std::string& FileName() const { return file_name_; }
  // The key's whole text, however long.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_text) override;
  // Throws EIniFileException when the file cannot be written. A text longer than a key can
  // hold whole leaves the key as the file has it, without an error: the value came from the
  // file (or its user) and is kept there rather than cut.
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& text) override;
  void UpdateFile() override;

 private:
  ProfileFile& profiles_;
  std::string file_name_;
};

// Converts an ini text to an integer: "0x"/"0X" followed by hexadecimal digits (a text
// longer than two characters), "$" followed by hexadecimal digits, or a decimal number, each
// after optional leading blanks and, except for "0x", an optional sign. Hexadecimal takes
// 32 bits as written ("$FFFFFFFF" is -1); a decimal number must fit an int. Anything else
// gives `default_value`.
int ParseIniInteger(const std::string& text, int default_value);

// The file an ini-file component opens: `ini_file_name`, or the program file's name with
// the extension ".ini" when it is empty; a name without a folder part is put in the program
// file's folder.
std::string ResolveIniFileName(const std::string& ini_file_name,
                               const std::string& program_file_name);

}  // namespace kx::settings

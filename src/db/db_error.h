// The error type of every failed client-engine call and of the table access's own checks,
// and CheckAceResult, which turns a failed engine result into one.
#pragma once

#include <cstdint>
#include <string>

#include "ace32/ace_api.h"
#include "src/common/exception.h"

namespace kx::db {

class ClientEngine;
class TAdsDataSet;

// Engine result codes the program reacts to.
inline constexpr uint32_t kAceErrorOwnCheck = 5121;  // the table access's own checks
inline constexpr uint32_t kAceResultIndexBufferSmall = 5005;
inline constexpr uint32_t kAceResultNotConnected = 5024;
inline constexpr uint32_t kAceResultIndexWarning = 5068;
inline constexpr uint32_t kAceResultDictionaryRetry = 5132;
inline constexpr uint32_t kAceResultNoDefaultIndex = 5138;

// The program's own error codes, for failures that are not the engine's. The engine's codes
// are four-digit numbers (1000 to 9999); ours start at 90000, so that a user or a support
// page never takes one of them for an engine code.
inline constexpr uint32_t kOwnErrorBase = 90000;
// An engine library that cannot be found or loaded, or lacks a function that is called.
inline constexpr uint32_t kAceErrorEngineUnavailable = kOwnErrorBase + 1;

// The length of the engine's error text buffer.
inline constexpr uint16_t kAceErrorTextLength = 600;

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EADSDatabaseError : public EDatabaseError {
 public:
  // Records the data set's identity (when there is one), the code and the native SQL code
  // found in the text, and forms the message: "<data set name>: <text>", or the text alone
  // without a data set. While another error is being built on this thread, nothing is filled
  // in and the message stays empty.
  EADSDatabaseError(TAdsDataSet* data_set, const std::string& text, uint32_t code);
  EADSDatabaseError(const EADSDatabaseError&) = default;
  EADSDatabaseError& operator=(const EADSDatabaseError&) = default;
  ~EADSDatabaseError() override;

  uint32_t AceErrorCode() const { return ace_error_code_; }
  int32_t SqlNativeCode() const { return sql_native_code_; }
  const std::string& DataSetName() const { return data_set_name_; }
  const std::string& DataSetOwnerName() const { return data_set_owner_name_; }
  const std::string& ErrorDatabaseName() const { return error_database_name_; }
  const std::string& ErrorDatabasePath() const { return error_database_path_; }
  const std::string& ErrorTableName() const { return error_table_name_; }
  const std::string& ErrorColumnName() const { return error_column_name_; }

 private:
  uint32_t ace_error_code_ = 0;
  int32_t sql_native_code_ = 0;
  std::string data_set_name_;
  std::string data_set_owner_name_;
  std::string error_database_name_;
  std::string error_database_path_;
  std::string error_table_name_;
  std::string error_column_name_;
};

// True on this thread while an EADSDatabaseError is being filled in.
bool BuildingDatabaseError();

// Returns when `code` is 0. Otherwise reads the engine's last error (its code replaces
// `code`) and raises an EADSDatabaseError for `data_set` (may be null). A failure found while
// another error is being built on this thread is dropped.
void CheckAceResult(ClientEngine& engine, TAdsDataSet* data_set, AceResult code);

// The column named in an engine text of the form ... column "NAME" ... (at most 900
// characters), or empty.
std::string ExtractErrorColumnName(const std::string& text);
// The native SQL code of an engine text that carries "ERROR 7200:" and "NATIVEERROR = n;"
// (any letter case), else 0.
int32_t ExtractSqlNativeCode(const std::string& text);

}  // namespace kx::db

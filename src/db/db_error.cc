#include "src/db/db_error.h"

#include <algorithm>
#include <charconv>

#include "src/common/ascii_case.h"
#include "src/db/ads_dataset.h"
#include "src/db/client_engine.h"

namespace kx::db {

namespace {
thread_local bool building_database_error = false;

constexpr size_t kColumnNameLimit = 900;

bool IsColumnErrorCode(uint32_t code) { return code >= 5147 && code <= 5149; }
}  // namespace

bool BuildingDatabaseError() { return building_database_error; }

std::string ExtractErrorColumnName(const std::string& text) {
  static constexpr char kMarker[] = "column \"";
  const size_t at = text.find(kMarker);
  if (at == std::string::npos) return {};
  const size_t start = at + sizeof(kMarker) - 1;
  size_t end = text.find('"', start);
  if (end == std::string::npos) end = text.size();
  return text.substr(start, std::min(end - start, kColumnNameLimit));
}

int32_t ExtractSqlNativeCode(const std::string& text) {
  static constexpr char kNative[] = "NATIVEERROR = ";
  const std::string upper = AsciiUpperCase(text);
  if (upper.find("ERROR 7200:") == std::string::npos) return 0;
  const size_t at = upper.find(kNative);
  if (at == std::string::npos) return 0;
  const size_t start = at + sizeof(kNative) - 1;
  const size_t semicolon = upper.find(';', start);
  // Without a ";" only the leading number is read.
  const char* first = upper.data() + start;
  const char* last =
      semicolon == std::string::npos ? upper.data() + upper.size() : upper.data() + semicolon;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc()) return 0;
  if (semicolon != std::string::npos && end != last) return 0;  // not a whole number
  return value;
}

EADSDatabaseError::EADSDatabaseError(TAdsDataSet* data_set, const std::string& text,
                                     uint32_t code) {
  if (building_database_error) return;
  building_database_error = true;
  ace_error_code_ = code;
  try {
    if (data_set != nullptr) {
      data_set_name_ = data_set->Name();
      data_set_owner_name_ = data_set->OwnerName();
      error_database_name_ = data_set->DatabaseName();
      error_database_path_ = data_set->ResolveDatabasePath();
      error_table_name_ = data_set->TableName();
      if (IsColumnErrorCode(code)) error_column_name_ = ExtractErrorColumnName(text);
    }
    sql_native_code_ = ExtractSqlNativeCode(text);
  } catch (...) {
    // The error in hand matters more than a detail that could not be read.
  }
  SetMessage(data_set_name_.empty() ? text : data_set_name_ + ": " + text);
  building_database_error = false;
}

EADSDatabaseError::~EADSDatabaseError() { building_database_error = false; }

void CheckAceResult(ClientEngine& engine, TAdsDataSet* data_set, AceResult code) {
  if (code == 0) return;
  if (building_database_error) return;
  uint32_t reported = code;
  char text[kAceErrorTextLength + 1] = {};
  uint16_t length = kAceErrorTextLength;
  engine.AdsGetLastError(&reported, text, &length);
  text[kAceErrorTextLength] = '\0';
  throw EADSDatabaseError(data_set, std::string(text), reported);
}

}  // namespace kx::db

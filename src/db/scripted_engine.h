// A client engine for tests: records every call with the arguments worth checking and
// returns chosen results and outputs.
//
// Every function succeeds by default and gives outputs that let a whole connect, open,
// create-tag, pack and close sequence run: a connection handle, table handles counting up
// from 100 (closed ones are forgotten), the open options that were asked for, one character
// field, no index, no records. Results can be set per function, for every later call or for
// the next calls in turn.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "src/db/client_engine.h"

namespace kx::db {

struct EngineCall {
  std::string function;
  // Input arguments as text: numbers in decimal, texts as they are, "<null>" for a null text,
  // "#n" for a field named by its number.
  std::vector<std::string> args;
};

class ScriptedEngine : public ClientEngine {
 public:
  struct Field {
    uint16_t type = 4;
    uint32_t length = 10;
    std::string name;
  };
  struct Index {
    AceHandle handle = 0;
    std::string name;
    uint32_t page_size = 0;
    std::vector<std::string> segments;
  };

  ScriptedEngine();

  // Every later call of `function` returns `result` (after any queued results).
  void SetResult(const std::string& function, AceResult result);
  // The next calls of `function` return these results in turn.
  void QueueResults(const std::string& function, std::vector<AceResult> results);
  // What AdsGetLastError reports.
  void SetLastError(uint32_t code, std::string text);

  const std::vector<EngineCall>& Calls() const { return calls_; }
  std::vector<std::string> CallNames() const;
  std::vector<EngineCall> CallsTo(const std::string& function) const;
  size_t CountOf(const std::string& function) const;
  void ClearCalls() { calls_.clear(); }
  // Table handles opened and not closed yet.
  const std::vector<AceHandle>& OpenTables() const { return open_tables_; }

  // Outputs.
  AceHandle connection_handle = 7;
  AceHandle next_table_handle = 100;
  // Reported by AdsGetTableOpenOptions; by default the options of the last AdsOpenTable.
  bool report_requested_options = true;
  uint32_t open_options = 0;
  uint16_t table_type = 3;
  uint16_t is_sql_statement = 0;
  uint32_t record_length = 11;
  uint32_t bookmark_length = 4;
  uint32_t record_count = 0;
  uint16_t record_visible = 1;
  std::vector<Field> fields;
  std::vector<Index> indexes;

#define ACE_DECLARE_OVERRIDE(name, params, args) AceResult name params override;
  ACE_FUNCTIONS(ACE_DECLARE_OVERRIDE)
#undef ACE_DECLARE_OVERRIDE

 private:
  AceResult Result(const std::string& function);
  AceResult Record(const std::string& function, std::vector<std::string> args);
  const Index* FindIndex(AceHandle handle) const;
  const Field* FieldOf(const char* field) const;

  std::vector<EngineCall> calls_;
  std::map<std::string, AceResult> results_;
  std::map<std::string, std::deque<AceResult>> queued_;
  uint32_t last_code_ = 5000;
  std::string last_text_ = "Scripted engine failure";
  std::vector<AceHandle> open_tables_;
  int64_t position_ = 0;
  AceHandle next_index_handle_ = 900;
};

}  // namespace kx::db

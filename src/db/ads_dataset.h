// What the connection and the database errors need of a data set (the table component).
//
// A connection keeps a list of the data sets that use it (its RegisteredDataSets); it closes
// them before it disconnects and detaches them when it is destroyed. A database error records
// the identity of the data set whose call failed.
#pragma once

#include <cstdint>
#include <string>

namespace kx::db {

class TAdsConnection;

class TAdsDataSet {
 public:
  virtual ~TAdsDataSet() = default;

  // Identity, as recorded by EADSDatabaseError.
  virtual std::string Name() const = 0;
  virtual std::string OwnerName() const = 0;
  virtual std::string DatabaseName() const = 0;
  virtual std::string TableName() const = 0;
  // The folder the data set's tables live in, without a trailing separator.
  virtual std::string ResolveDatabasePath() = 0;

  // Called by the connection.
  virtual void SetActive(bool active) = 0;
  // The connection is going away: forget it without touching the engine.
  virtual void DetachConnection() = 0;
  // The connection resolved an alias with a table type (1 CDX, 2 NTX, 3 ADT).
  virtual void ApplyAliasTableType(uint8_t alias_table_type) = 0;
  // A data-dictionary connection was made: re-read the default index from the dictionary.
  virtual void RefreshDefaultIndex() = 0;
};

}  // namespace kx::db

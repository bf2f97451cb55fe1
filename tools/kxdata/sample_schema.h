// The tables of a sample data folder: the ten tables of the inventory application, each with
// a plausible field list that holds every field the rebuild utility indexes.
//
// Fields are written as on the `create` command line, "NAME:TYPE:LENGTH[:DECIMALS]".
#pragma once

#include <span>
#include <string_view>

#include "src/rebuild/catalogue.h"

namespace kx::kxdata {

struct SampleTableSchema {
  std::string_view base_name;  // "item": the table file is item.adt, its index file item.adi
  std::span<const std::string_view> fields;
};

// The ten tables, in the order item, abar, asbly, cust, loc, phys, tran, type, um, vend.
std::span<const SampleTableSchema> SampleTables();

// The table with the given base name; nullptr when there is none.
const SampleTableSchema* FindSampleTable(std::string_view base_name);

// The tags that a complete sample index file holds: the catalogue's, so that an intact sample
// folder looks like one the rebuild has just made.
std::span<const rebuild::IndexTagDef> SampleTags(std::string_view base_name);

}  // namespace kx::kxdata

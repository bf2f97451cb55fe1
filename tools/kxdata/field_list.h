// Field lists as written on the command line: "NAME:TYPE:LENGTH[:DECIMALS]".
#pragma once

#include <string>
#include <vector>

#include "engine/table_file.h"

namespace kx::kxdata {

// Parses one field; TYPE is a type name or its letter (character/C, numeric/N, integer/I,
// double/B, date/D, logical/L, timestamp/T). Throws UsageError naming the fault.
engine::FieldDef ParseFieldSpec(const std::string& text);

std::vector<engine::FieldDef> ParseFieldSpecs(const std::vector<std::string>& texts);

}  // namespace kx::kxdata

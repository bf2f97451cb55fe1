// The engine's on-disk layer in one include: byte coding, field values and keys, the table
// and index file layouts, and the companion file names. FORMAT.md describes the same in prose.
#pragma once

#include "engine/byte_coding.h"
#include "engine/field_values.h"
#include "engine/file_names.h"
#include "engine/index_format.h"
#include "engine/table_format.h"

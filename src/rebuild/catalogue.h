// The index catalogue: the ten tables of a Kestovar data folder whose indexes the rebuild run
// re-creates, in the order the run takes them, with every index tag to create and the
// progress position shown once the table is done. This table is the one place that names
// them; nothing of it is read at run time.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kx::rebuild {

struct IndexTagDef {
  std::string_view name;        // upper-case, at most 14 characters
  std::string_view expression;  // field names joined by ";", passed to the engine as listed
};

inline constexpr size_t kMaxTagsPerTable = 6;

struct CatalogueEntry {
  std::string_view table_file;  // a file name inside the data folder
  std::string_view index_file;  // deleted before the tags are re-created
  size_t tag_count;
  std::array<IndexTagDef, kMaxTagsPerTable> tags;
  int checkpoint;  // progress position once the table is done

  constexpr const IndexTagDef* begin() const { return tags.data(); }
  constexpr const IndexTagDef* end() const { return tags.data() + tag_count; }
};

// Progress positions before the first table and after the last.
inline constexpr int kFirstPosition = 1;
inline constexpr int kLastPosition = 100;

inline constexpr std::array<CatalogueEntry, 10> kCatalogue = {{
    {"item.adt",
     "item.adi",
     6,
     {{{"IITEM", "IITEM"},
       {"IDESC1", "IDESC1"},
       {"BYTYPEITEM", "ITYPE;IITEM"},
       {"ITEMLOC", "IITEM;ILOCATION"},
       {"LOCBAR", "ILOCATION;IBARCODE"},
       {"BAR", "IBARCODE"}}},
     15},
    {"abar.adt", "abar.adi", 1, {{{"SCANCODE", "BSCANCODE"}}}, 20},
    {"asbly.adt",
     "asbly.adi",
     3,
     {{{"ASMBLYMAST", "AMITEM;AMILOCATION;ACITEM;ACILOCATION"},
       {"BYASMBLYM", "AMITEM;AMILOCATION"},
       {"BYASMBLYC", "ACITEM;ACILOCATION"}}},
     25},
    {"cust.adt", "cust.adi", 2, {{{"CCUSTNO", "CCUSTNO"}, {"CNAME", "CNAME"}}}, 35},
    {"loc.adt", "loc.adi", 1, {{{"LOCATION", "LOCATION"}}}, 45},
    // The location field comes first here, whatever the tag's name suggests.
    {"phys.adt", "phys.adi", 1, {{{"PITEMLOC", "PILOCATION;PITEM"}}}, 55},
    {"tran.adt",
     "tran.adi",
     6,
     {{{"TITEM", "TITEM"},
       {"BYDATE", "TDATE;TITEM"},
       {"BYDATECODE", "TDATE;TCODE;TITEM"},
       {"BYITEMDATECODE", "TITEM;TDATE;TCODE"},
       {"BYITEMLOCATION", "TITEM;TLOCATION"},
       {"TRANSNUMBER", "TRANSACTIONNUMBER"}}},
     65},
    {"type.adt", "type.adi", 1, {{{"TYPE", "TYPE"}}}, 75},
    {"um.adt", "um.adi", 1, {{{"UUM", "UUM"}}}, 85},
    {"vend.adt", "vend.adi", 2, {{{"VVENDNO", "VVENDNO"}, {"VNAME", "VNAME"}}}, 95},
}};

// The table whose presence tells that a folder holds the data.
inline constexpr std::string_view kProbeTableFile = kCatalogue[0].table_file;

namespace catalogue_checks {
constexpr size_t TotalTags() {
  size_t total = 0;
  for (const CatalogueEntry& entry : kCatalogue) total += entry.tag_count;
  return total;
}

constexpr bool CheckpointsRise() {
  int previous = kFirstPosition;
  for (const CatalogueEntry& entry : kCatalogue) {
    if (entry.checkpoint <= previous) return false;
    previous = entry.checkpoint;
  }
  return previous < kLastPosition;
}

constexpr bool TagsWellFormed() {
  for (const CatalogueEntry& entry : kCatalogue) {
    if (entry.tag_count < 1 || entry.tag_count > kMaxTagsPerTable) return false;
    for (size_t i = 0; i < entry.tag_count; ++i) {
      const IndexTagDef& tag = entry.tags[i];
      if (tag.name.empty() || tag.name.size() > 14 || tag.expression.empty() ||
          tag.expression.size() > 37) {
        return false;
      }
      for (size_t j = 0; j < i; ++j) {
        if (entry.tags[j].name == tag.name) return false;
      }
    }
  }
  return true;
}

constexpr bool FileNamesMatch() {
  for (const CatalogueEntry& entry : kCatalogue) {
    const std::string_view table = entry.table_file, index = entry.index_file;
    if (table.size() != index.size() || !table.ends_with(".adt") || !index.ends_with(".adi") ||
        table.substr(0, table.size() - 4) != index.substr(0, index.size() - 4)) {
      return false;
    }
  }
  return true;
}

static_assert(TotalTags() == 24);
static_assert(CheckpointsRise());
static_assert(TagsWellFormed());
static_assert(FileNamesMatch());
}  // namespace catalogue_checks

}  // namespace kx::rebuild

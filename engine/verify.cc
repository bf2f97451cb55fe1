#include "engine/verify.h"

#include <algorithm>
#include <vector>

#include "engine/format.h"
#include "engine/index_build.h"
#include "engine/os_file.h"
#include "engine/table_file.h"

namespace kx::engine {
namespace {

// Problems listed per tag before the rest are only counted.
constexpr size_t kMaxProblemsPerTag = 20;

class Problems {
 public:
  Problems(VerifyReport* report, std::string file) : report_(report), file_(std::move(file)) {}
  void Add(const std::string& message) { report_->problems.push_back({file_, message}); }

 private:
  VerifyReport* report_;
  std::string file_;
};

class TagProblems {
 public:
  TagProblems(Problems* out, std::string tag) : out_(out), tag_(std::move(tag)) {}
  ~TagProblems() {
    if (count_ > kMaxProblemsPerTag) {
      out_->Add("tag " + tag_ + ": " + std::to_string(count_ - kMaxProblemsPerTag) +
                " more problems");
    }
  }
  void Add(const std::string& message) {
    if (++count_ <= kMaxProblemsPerTag) out_->Add("tag " + tag_ + ": " + message);
  }

 private:
  Problems* out_;
  std::string tag_;
  size_t count_ = 0;
};

bool HasExtension(const std::string& name, const char* ext) {
  return name.size() > 4 && EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ext);
}

void CheckRecords(const TableFile& table, Problems* problems, std::vector<bool>* live) {
  const auto& fields = table.Fields();
  live->assign(size_t(table.RecordCount()) + 1, false);
  size_t reported = 0, bad = 0;
  table.ForEachRecord([&](uint32_t recno, bool deleted, const char* image) {
    std::string why;
    if (image[0] != kLiveMark && image[0] != kDeletedMark) {
      why = "the deleted mark is neither blank nor \"*\"";
    }
    for (size_t i = 0; i < fields.size() && why.empty(); ++i) {
      why = CheckValue(fields[i], image + fields[i].offset);
    }
    if (!why.empty()) {
      ++bad;
      if (++reported <= kMaxProblemsPerTag) {
        problems->Add("record " + std::to_string(recno) + ": " + why);
      }
    }
    (*live)[recno] = !deleted;
    return true;
  });
  if (bad > kMaxProblemsPerTag) {
    problems->Add(std::to_string(bad - kMaxProblemsPerTag) + " more records are malformed");
  }
}

// The tag's key layout from its expression; false (with the problem added) when the
// expression no longer fits the table or gives another key width.
bool TagKey(const TableFile& table, const IndexTag& tag, TagProblems* problems, KeySpec* layout) {
  try {
    *layout = ParseExpression(table.Fields(), tag.info.expression, table.Path());
  } catch (const EngineError& e) {
    problems->Add(e.Message());
    return false;
  }
  if (layout->width != tag.info.key_width) {
    problems->Add("the key width is " + std::to_string(tag.info.key_width) + ", the expression \"" +
                  tag.info.expression + "\" gives " + std::to_string(layout->width));
    return false;
  }
  return true;
}

// Every page of the tag sound and full but the last; false when one is not.
bool TagPagesSound(OsFile* index, const IndexTag& tag, uint32_t ordinal, TagProblems* problems) {
  const uint32_t ps = tag.info.page_size;
  const uint32_t capacity = PageCapacity(ps, tag.info.key_width);
  bool sound = true;
  std::vector<char> page(ps);
  for (uint32_t p = 0; p < tag.info.page_count; ++p) {
    uint32_t entries = 0;
    std::string why = index->ReadAt(tag.first_page + uint64_t(p) * ps, page.data(), ps) == ps
                          ? CheckPage(page.data(), ps, ordinal, p, capacity, &entries)
                          : "the file ends inside it";
    if (why.empty() && entries != capacity && p + 1 != tag.info.page_count) {
      why = "it is not full though it is not the last page";
    }
    if (why.empty() && entries == 0) why = "it holds no entry";
    if (!why.empty()) {
      problems->Add("page " + std::to_string(p + 1) + ": " + why);
      sound = false;
    }
  }
  return sound;
}

// The stored entries of a tag whose pages are sound, one at a time in file order, with a
// problem added for each one that is not above the one before.
class StoredEntries {
 public:
  StoredEntries(OsFile* index, const IndexTag& tag, TagProblems* problems)
      : index_(index),
        tag_(tag),
        width_(tag.info.key_width + 4),
        problems_(problems),
        page_(tag.info.page_size) {
    Take();
  }
  // The current entry, nullptr past the last.
  const char* Current() const { return current_; }
  uint64_t Number() const { return number_; }
  void Take() {
    current_ = Next();
    if (current_ == nullptr) return;
    if (!previous_.empty() && std::memcmp(previous_.data(), current_, width_) >= 0) {
      problems_->Add("entry " + std::to_string(number_) + " is out of order");
    }
    previous_.assign(current_, width_);
  }

 private:
  const char* Next() {
    const uint32_t ps = tag_.info.page_size;
    while (in_page_ == page_entries_) {
      if (page_number_ == tag_.info.page_count) return nullptr;
      index_->ReadAt(tag_.first_page + uint64_t(page_number_) * ps, page_.data(), ps);
      page_entries_ = GetU32(page_.data() + page_header::kEntries);
      in_page_ = 0;
      ++page_number_;
    }
    ++number_;
    return page_.data() + kPageHeader + size_t(in_page_++) * width_;
  }

  OsFile* index_;
  const IndexTag& tag_;
  const uint32_t width_;
  TagProblems* problems_;
  std::vector<char> page_;
  uint32_t page_number_ = 0, in_page_ = 0, page_entries_ = 0;
  uint64_t number_ = 0;
  std::string previous_;
  const char* current_ = nullptr;
};

// Adds the problem of a stored entry that no live record wants.
void DescribeExtra(const StoredEntries& stored, uint32_t key_width, const std::vector<bool>& live,
                   TagProblems* problems) {
  const uint32_t recno = GetBE32(stored.Current() + key_width);
  const std::string where =
      "entry " + std::to_string(stored.Number()) + " names record " + std::to_string(recno);
  if (recno == 0 || recno >= live.size()) {
    problems->Add(where + ", which does not exist");
  } else if (!live[recno]) {
    problems->Add(where + ", which is deleted");
  } else {
    problems->Add(where + " with a wrong key or a second time");
  }
}

// Compares the stored entries with those the live records want, both in key order.
void CompareEntries(const TableFile& table, OsFile* index, const IndexTag& tag,
                    const KeySpec& layout, const std::vector<bool>& live, TagProblems* problems) {
  const uint32_t kw = tag.info.key_width;
  const uint32_t width = kw + 4;
  EntrySorter expected(width, SortBudget(), table.Path());
  table.ForEachRecord([&](uint32_t recno, bool deleted, const char* image) {
    if (!deleted) {
      char* slot = expected.Slot();
      ExtractKey(layout, image, slot);
      PutBE32(slot + kw, recno);
    }
    return true;
  });
  StoredEntries stored(index, tag, problems);
  expected.Drain([&](const char* want) {
    // Stored entries below the wanted one are extra; an equal one matches.
    while (stored.Current() != nullptr && std::memcmp(stored.Current(), want, width) < 0) {
      DescribeExtra(stored, kw, live, problems);
      stored.Take();
    }
    if (stored.Current() != nullptr && std::memcmp(stored.Current(), want, width) == 0) {
      stored.Take();
    } else {
      problems->Add("live record " + std::to_string(GetBE32(want + kw)) + " has no entry");
    }
  });
  for (; stored.Current() != nullptr; stored.Take()) DescribeExtra(stored, kw, live, problems);
}

void CheckTag(const TableFile& table, OsFile* index, const IndexTag& tag, uint32_t ordinal,
              const std::vector<bool>& live, uint32_t live_count, Problems* file_problems) {
  TagProblems problems(file_problems, tag.info.name);
  KeySpec layout;
  if (!TagKey(table, tag, &problems, &layout)) return;
  // Pages first: entries of a page that fails its checksum cannot be trusted.
  if (!TagPagesSound(index, tag, ordinal, &problems)) return;
  if (tag.info.entry_count != live_count) {
    problems.Add(std::to_string(tag.info.entry_count) + " entries for " +
                 std::to_string(live_count) + " live records");
  }
  CompareEntries(table, index, tag, layout, live, &problems);
}

void CheckIndex(const TableFile& table, const std::vector<bool>& live, VerifyReport* report) {
  const std::string path = table.IndexPath();
  Problems problems(report, path);
  OpenResult result;
  std::string error;
  auto index = OsFile::Open(path, OsFile::Mode::kRead, LockKind::kNone, &result, &error);
  if (!index) {
    if (result != OpenResult::kNotFound) problems.Add("cannot be opened: " + error);
    return;
  }
  IndexHeader header;
  std::string spare;
  try {
    header = ReadIndexHeader(index.get(), &spare);
  } catch (const EngineError& e) {
    problems.Add(e.Message());
    return;
  }
  if (!spare.empty()) problems.Add(spare);
  // Bytes after the last page are what a tag creation that was cut short wrote; no header
  // refers to them and the next change of the file cuts them.
  const uint64_t end = header.DataEnd();
  const uint64_t size = index->Size();
  if (size < end) {
    problems.Add("the file has " + std::to_string(size) + " bytes, its header describes " +
                 std::to_string(end));
  }
  for (size_t i = 0; i < header.tags.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (EqualsIgnoreCase(header.tags[i].info.name, header.tags[j].info.name)) {
        problems.Add("the tag name " + header.tags[i].info.name + " appears twice");
      }
    }
  }
  uint32_t live_count = static_cast<uint32_t>(std::count(live.begin(), live.end(), true));
  for (uint32_t i = 0; i < header.tags.size(); ++i) {
    CheckTag(table, index.get(), header.tags[i], i, live, live_count, &problems);
  }
}

}  // namespace

std::string VerifyReport::ToString() const {
  if (problems.empty()) return "OK: " + std::to_string(tables.size()) + " table(s)\n";
  std::string text;
  for (const VerifyProblem& p : problems) text += p.file + ": " + p.message + "\n";
  return text;
}

namespace {

void VerifyOpen(const TableFile& table, VerifyReport* report) {
  Problems problems(report, table.Path());
  try {
    {
      uint64_t size = table.FileSize();
      uint64_t header_size = kTableFixedHeader + kFieldDescriptorSize * table.Fields().size();
      uint64_t need = header_size + uint64_t(table.RecordCount()) * table.RecordLength();
      if (size > need) {
        problems.Add(std::to_string(size - need) + " bytes follow the last record");
      }
    }
    std::vector<bool> live;
    CheckRecords(table, &problems, &live);
    CheckIndex(table, live, report);
  } catch (const EngineError& e) {
    problems.Add(e.Message());
  }
}

}  // namespace

VerifyReport VerifyTable(const std::string& table_path) {
  VerifyReport report;
  report.tables.push_back(table_path);
  std::unique_ptr<TableFile> table;
  try {
    table = TableFile::Open(table_path, OpenMode::kReadOnly);
  } catch (const EngineError& e) {
    report.problems.push_back({table_path, e.Message()});
    return report;
  }
  VerifyOpen(*table, &report);
  return report;
}

VerifyReport VerifyTable(const TableFile& table) {
  VerifyReport report;
  report.tables.push_back(table.Path());
  VerifyOpen(table, &report);
  return report;
}

VerifyReport VerifyFolder(const std::string& dir) {
  VerifyReport report;
  if (!FolderExists(dir)) {
    report.problems.push_back({dir, "the folder does not exist"});
    return report;
  }
  std::vector<std::string> names = ListFiles(dir);
  const std::string sep(1, PathSeparator());
  for (const std::string& name : names) {
    if (HasExtension(name, ".adt")) {
      VerifyReport one = VerifyTable(dir + sep + name);
      report.tables.insert(report.tables.end(), one.tables.begin(), one.tables.end());
      report.problems.insert(report.problems.end(), one.problems.begin(), one.problems.end());
    } else if (HasExtension(name, ".adi")) {
      std::string base = name.substr(0, name.size() - 4);
      bool has_table = std::any_of(names.begin(), names.end(), [&](const std::string& other) {
        return HasExtension(other, ".adt") &&
               EqualsIgnoreCase(other.substr(0, other.size() - 4), base);
      });
      if (!has_table)
        report.problems.push_back({dir + sep + name, "an index file without its table"});
    }
  }
  return report;
}

}  // namespace kx::engine

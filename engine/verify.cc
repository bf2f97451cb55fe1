#include "engine/verify.h"

#include <algorithm>
#include <vector>

#include "engine/format.h"
#include "engine/index_build.h"
#include "engine/os_file.h"
#include "engine/table_file.h"

namespace kxengine {
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

void CheckTag(const TableFile& table, OsFile* index, const IndexTag& tag, uint32_t ordinal,
              const std::vector<bool>& live, uint32_t live_count, Problems* file_problems) {
  TagProblems problems(file_problems, tag.info.name);
  KeySpec layout;
  try {
    layout = ParseExpression(table.Fields(), tag.info.expression, table.Path());
  } catch (const EngineError& e) {
    problems.Add(e.Message());
    return;
  }
  if (layout.width != tag.info.key_width) {
    problems.Add("the key width is " + std::to_string(tag.info.key_width) + ", the expression \"" +
                 tag.info.expression + "\" gives " + std::to_string(layout.width));
    return;
  }
  // Pages first: entries of a page that fails its checksum cannot be trusted.
  const uint32_t ps = tag.info.page_size;
  const uint32_t capacity = PageCapacity(ps, tag.info.key_width);
  bool pages_sound = true;
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
      problems.Add("page " + std::to_string(p + 1) + ": " + why);
      pages_sound = false;
    }
  }
  if (!pages_sound) return;
  if (tag.info.entry_count != live_count) {
    problems.Add(std::to_string(tag.info.entry_count) + " entries for " +
                 std::to_string(live_count) + " live records");
  }

  // The entries the tag must hold, sorted; compared in step with the stored ones.
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
  // The expected entries are pushed by Drain; the stored ones are pulled page by page.
  uint32_t p = 0, in_page = 0, page_entries = 0;
  uint64_t entry_number = 0;
  std::string previous;
  const char* stored = nullptr;
  auto next_stored = [&]() -> const char* {
    while (in_page == page_entries) {
      if (p == tag.info.page_count) return nullptr;
      index->ReadAt(tag.first_page + uint64_t(p) * ps, page.data(), ps);
      page_entries = GetU32(page.data() + 12);
      in_page = 0;
      ++p;
    }
    const char* e = page.data() + kPageHeader + size_t(in_page++) * width;
    ++entry_number;
    return e;
  };
  auto describe_extra = [&](const char* e) {
    uint32_t recno = GetBE32(e + kw);
    std::string where =
        "entry " + std::to_string(entry_number) + " names record " + std::to_string(recno);
    if (recno == 0 || recno >= live.size()) {
      problems.Add(where + ", which does not exist");
    } else if (!live[recno]) {
      problems.Add(where + ", which is deleted");
    } else {
      problems.Add(where + " with a wrong key or a second time");
    }
  };
  auto take = [&]() {
    stored = next_stored();
    if (stored != nullptr) {
      if (!previous.empty() && std::memcmp(previous.data(), stored, width) >= 0) {
        problems.Add("entry " + std::to_string(entry_number) + " is out of order");
      }
      previous.assign(stored, width);
    }
  };
  take();
  expected.Drain([&](const char* want) {
    // Stored entries below the wanted one are extra; an equal one matches.
    while (stored != nullptr && std::memcmp(stored, want, width) < 0) {
      describe_extra(stored);
      take();
    }
    if (stored != nullptr && std::memcmp(stored, want, width) == 0) {
      take();
    } else {
      problems.Add("live record " + std::to_string(GetBE32(want + kw)) + " has no entry");
    }
  });
  while (stored != nullptr) {
    describe_extra(stored);
    take();
  }
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

}  // namespace kxengine

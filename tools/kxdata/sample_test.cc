// Sample data folders: the ten tables with their key fields, deleted records, and index
// files in exactly the states the generator claims.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/table_file.h"
#include "engine/verify.h"
#include "tools/kxdata/sample_folder.h"
#include "tools/kxdata/sample_schema.h"
#include "tools/kxdata/sample_values.h"
#include "tools/kxdata/test_support.h"

namespace kx::kxdata {

namespace fs = std::filesystem;

namespace {

SampleOptions SmallOptions() {
  SampleOptions options;
  options.items = 400;
  options.trans = 3000;
  options.customers = 80;
  options.vendors = 20;
  options.seed = 7;
  return options;
}

// The base names of the tables whose files the report finds fault with.
std::set<std::string> TablesWithProblems(const engine::VerifyReport& report) {
  std::set<std::string> names;
  for (const auto& problem : report.problems) names.insert(fs::path(problem.file).stem().string());
  return names;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in{std::string(text)};
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

TEST(SampleTest, DamagedFolderHasTheTablesKeysDeletionsAndFaults) {
  ScratchDir dir;
  SampleSummary summary = MakeSampleFolder(dir.Path(), SmallOptions());
  ASSERT_EQ(summary.tables.size(), 10u);

  const char* const kOrder[] = {"item", "abar", "asbly", "cust", "loc",
                                "phys", "tran", "type",  "um",   "vend"};
  for (std::size_t i = 0; i < 10; ++i) {
    const std::string base = kOrder[i];
    SCOPED_TRACE(base);
    EXPECT_EQ(summary.tables[i].base_name, base);
    auto table = engine::TableFile::Open(dir.File(base + ".adt"), engine::OpenMode::kReadOnly);
    // Every field of every tag expression exists in the table.
    for (const rebuild::IndexTagDef& tag : SampleTags(base)) {
      for (const std::string& field : Split(tag.expression, ';')) {
        EXPECT_GE(table->FindField(field), 0) << field;
      }
    }
    std::uint32_t deleted = 0;
    table->ForEachRecord([&](std::uint32_t, bool is_deleted, const char*) {
      deleted += is_deleted ? 1 : 0;
      return true;
    });
    EXPECT_EQ(table->RecordCount(), summary.tables[i].records);
    EXPECT_EQ(deleted, summary.tables[i].deleted);
    // A few percent deleted wherever the table is large enough to show it.
    if (table->RecordCount() >= 200) {
      EXPECT_GT(deleted, 0u);
      EXPECT_LT(deleted, table->RecordCount() / 10);
    }
  }

  auto tran = engine::TableFile::Open(dir.File("tran.adt"), engine::OpenMode::kReadOnly);
  EXPECT_EQ(tran->RecordLength(), 200u);
  EXPECT_GT(tran->RecordCount(), 3000u);  // postings after the index was built
  auto item = engine::TableFile::Open(dir.File("item.adt"), engine::OpenMode::kReadOnly);
  EXPECT_GE(item->RecordCount(), 400u);

  EXPECT_FALSE(fs::exists(dir.File("abar.adi")));
  auto asbly = engine::TableFile::Open(dir.File("asbly.adt"), engine::OpenMode::kReadOnly);
  ASSERT_EQ(asbly->Tags().size(), 1u);
  EXPECT_EQ(asbly->Tags()[0].name, "ASMBLYMAST");
  std::set<std::string> tran_tags;
  for (const auto& tag : tran->Tags()) tran_tags.insert(tag.name);
  EXPECT_EQ(tran_tags.count("TRANSNUMBER"), 0u);
  EXPECT_EQ(tran_tags.size(), 5u);

  // Stale tags (item, tran), a flipped byte (cust), a cut file (type) and a file that is not
  // an index (vend); the rest is consistent, though not what the rebuild wants.
  engine::VerifyReport report = engine::VerifyFolder(dir.Path());
  EXPECT_EQ(report.tables.size(), 10u);
  EXPECT_EQ(TablesWithProblems(report),
            (std::set<std::string>{"cust", "item", "tran", "type", "vend"}))
      << report.ToString();
}

TEST(SampleTest, IntactFolderVerifiesCleanWithEveryTag) {
  ScratchDir dir;
  SampleOptions options = SmallOptions();
  options.intact = true;
  MakeSampleFolder(dir.Path(), options);
  engine::VerifyReport report = engine::VerifyFolder(dir.Path());
  EXPECT_TRUE(report.Ok()) << report.ToString();
  EXPECT_EQ(report.tables.size(), 10u);
  for (const SampleTableSchema& schema : SampleTables()) {
    const std::string base(schema.base_name);
    auto table = engine::TableFile::Open(dir.File(base + ".adt"), engine::OpenMode::kReadOnly);
    std::vector<std::string> names;
    for (const auto& tag : table->Tags()) names.push_back(tag.name);
    std::vector<std::string> expected;
    for (const rebuild::IndexTagDef& tag : SampleTags(base)) expected.emplace_back(tag.name);
    EXPECT_EQ(names, expected) << base;
  }
}

TEST(SampleTest, NoIndexFolderHasTablesOnly) {
  ScratchDir dir;
  SampleOptions options = SmallOptions();
  options.no_index = true;
  SampleSummary summary = MakeSampleFolder(dir.Path(), options);
  for (const SampleTableSummary& table : summary.tables) {
    EXPECT_TRUE(fs::exists(dir.File(table.base_name + ".adt"))) << table.base_name;
    EXPECT_FALSE(fs::exists(dir.File(table.base_name + ".adi"))) << table.base_name;
    EXPECT_EQ(table.index_state, "no index file");
  }
  EXPECT_TRUE(engine::VerifyFolder(dir.Path()).Ok());
}

TEST(SampleTest, SeedDecidesTheContent) {
  ScratchDir a, b, c;
  SampleOptions options = SmallOptions();
  options.trans = 500;
  MakeSampleFolder(a.Path(), options);
  MakeSampleFolder(b.Path(), options);
  options.seed = 8;
  MakeSampleFolder(c.Path(), options);
  EXPECT_EQ(ReadAll(a.File("tran.adt")), ReadAll(b.File("tran.adt")));
  EXPECT_EQ(ReadAll(a.File("item.adt")), ReadAll(b.File("item.adt")));
  EXPECT_NE(ReadAll(a.File("item.adt")), ReadAll(c.File("item.adt")));
}

TEST(SampleTest, RefusesAFolderThatHoldsTables) {
  ScratchDir dir;
  std::ofstream(dir.File("cust.adt")) << "keep me";
  ToolRun run = RunTool({"sample", dir.Path()});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("cust.adt exists already"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir.File("item.adt")));
  EXPECT_EQ(ReadAll(dir.File("cust.adt")), "keep me");
}

TEST(SampleTest, ValuesLookRealistic) {
  ScratchDir dir;
  MakeSampleFolder(dir.Path(), SmallOptions());
  auto item = engine::TableFile::Open(dir.File("item.adt"), engine::OpenMode::kReadOnly);
  const auto values = item->RecordValues(1);
  // Item code "TYP-000123", a description of several words, a 12-digit bar code or none.
  const std::string code = values[static_cast<std::size_t>(item->FindField("IITEM"))];
  EXPECT_EQ(code.find('-'), 3u) << code;
  EXPECT_NE(values[static_cast<std::size_t>(item->FindField("IDESC1"))].find(' '),
            std::string::npos);
  auto tran = engine::TableFile::Open(dir.File("tran.adt"), engine::OpenMode::kReadOnly);
  std::set<std::string> numbers;
  std::map<std::string, int> codes;
  tran->ForEachRecord([&](std::uint32_t, bool, const char* image) {
    numbers.insert(
        tran->FieldText(image, static_cast<std::size_t>(tran->FindField("TRANSACTIONNUMBER"))));
    codes[tran->FieldText(image, static_cast<std::size_t>(tran->FindField("TCODE")))]++;
    const std::string date =
        tran->FieldText(image, static_cast<std::size_t>(tran->FindField("TDATE")));
    EXPECT_TRUE(date >= "2021-01-01" && date <= "2026-11-30") << date;
    return true;
  });
  EXPECT_EQ(numbers.size(), tran->RecordCount());  // transaction numbers are unique
  EXPECT_GT(codes["SL"], codes["RC"]);             // sales outnumber receipts
}

}  // namespace

namespace {

TEST(SampleValuesTest, FixedPointText) {
  const struct {
    std::int64_t units;
    int decimals;
    const char* text;
  } cases[] = {{0, 2, "0.00"},      {5, 2, "0.05"},  {-5, 2, "-0.05"},        {-1250, 2, "-12.50"},
               {12345, 0, "12345"}, {7, 3, "0.007"}, {1000000, 4, "100.0000"}};
  for (const auto& c : cases) EXPECT_EQ(FixedPoint(c.units, c.decimals), c.text) << c.units;
}

TEST(SampleValuesTest, DatesRoundTripAndBarCodesCheck) {
  EXPECT_EQ(DaysFromCivil({1970, 1, 1}), 0);
  EXPECT_EQ(FormatDate(CivilFromDays(DaysFromCivil({2024, 2, 29}) + 1)), "2024-03-01");
  EXPECT_EQ(FormatDate(CivilFromDays(DaysFromCivil({2023, 2, 28}) + 1)), "2023-03-01");
  EXPECT_EQ(FormatDate(CivilFromDays(DaysFromCivil({1999, 12, 31}) + 1)), "2000-01-01");
  SampleRandom random(3);
  for (int i = 0; i < 200; ++i) {
    const std::string upc = UpcCode(random);
    ASSERT_EQ(upc.size(), 12u);
    int sum = 0;
    for (int d = 0; d < 12; ++d) sum += (upc[d] - '0') * (d % 2 == 0 ? 3 : 1);
    EXPECT_EQ(sum % 10, 0) << upc;
  }
  // Bounds are inclusive and respected.
  for (int i = 0; i < 1000; ++i) {
    const auto value = random.Between(-3, 3);
    ASSERT_TRUE(value >= -3 && value <= 3) << value;
  }
}

}  // namespace

namespace {

TEST(SampleTest, TablesFollowTheCatalogue) {
  auto tables = SampleTables();
  ASSERT_EQ(tables.size(), rebuild::kCatalogue.size());
  for (std::size_t i = 0; i < tables.size(); ++i) {
    EXPECT_EQ(std::string(tables[i].base_name) + ".adt", rebuild::kCatalogue[i].table_file);
    EXPECT_EQ(SampleTags(tables[i].base_name).size(), rebuild::kCatalogue[i].tag_count);
  }
}

// The damaged sample gives the rebuild real work, and the rebuild leaves it sound: every
// table packed, exactly the catalogue's tags, everything verified.
TEST(SampleTest, RebuildMendsTheDamagedFolder) {
  ScratchDir dir;
  MakeSampleFolder(dir.Path(), SmallOptions());
  ToolRun run = RunTool({"rebuild", dir.Path()});
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("100"), std::string::npos) << run.out;
  engine::VerifyReport report = engine::VerifyFolder(dir.Path());
  EXPECT_TRUE(report.Ok()) << report.ToString();
  for (const rebuild::CatalogueEntry& entry : rebuild::kCatalogue) {
    auto table = engine::TableFile::Open(dir.File(std::string(entry.table_file)),
                                         engine::OpenMode::kReadOnly);
    std::vector<std::string> tags, expected;
    for (const auto& tag : table->Tags()) tags.push_back(tag.name);
    for (const rebuild::IndexTagDef& tag : entry) expected.emplace_back(tag.name);
    EXPECT_EQ(tags, expected) << entry.table_file;
    table->ForEachRecord([&](std::uint32_t recno, bool deleted, const char*) {
      EXPECT_FALSE(deleted) << entry.table_file << " record " << recno;
      return !deleted;
    });
  }

  ScratchDir empty;
  run = RunTool({"rebuild", empty.Path()});
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(run.err.empty());
}

}  // namespace

}  // namespace kx::kxdata

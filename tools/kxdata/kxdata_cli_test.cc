// The data tool's command line: every subcommand's success path and its refusals.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "engine/table_file.h"
#include "tools/kxdata/kxdata.h"
#include "tools/kxdata/test_support.h"

namespace kx::kxdata {

namespace {

// A folder with a small table t.adt (four records, record 3 deleted, tag CODE), a CSV file
// and a file that is not a table.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(
        Run({"create", "@t.adt", "CODE:C:10", "NAME:C:20", "QTY:N:8:2", "DAY:D:0", "OK:L:0"}).code,
        kExitOk);
    dir_.Write("four.csv",
               "CODE,NAME,QTY,DAY,OK\n"
               "B2,\"Bolt, hex\",12.5,2024-02-29,T\n"
               "A1,Anchor,3,2023-01-05,F\n"
               "C3,\"Cap \"\"red\"\"\",0,,\n"
               "A0,Angle,7.25,2022-12-31,T\n");
    ASSERT_EQ(Run({"add", "@t.adt", "@four.csv"}).code, kExitOk);
    ASSERT_EQ(Run({"delete", "@t.adt", "3"}).code, kExitOk);
    ASSERT_EQ(Run({"index", "@t.adt", "CODE", "CODE"}).code, kExitOk);
    dir_.Write("junk.adt", "this is not a table file at all, just some text\n");
  }

  // Arguments starting with "@" name files in the scratch folder.
  ToolRun Run(std::vector<std::string> args, const std::string& input = "") {
    for (std::string& arg : args) {
      if (!arg.empty() && arg[0] == '@') arg = dir_.File(arg.substr(1));
    }
    return RunTool(args, input);
  }

  std::uint32_t RecordCount() {
    return engine::TableFile::Open(dir_.File("t.adt"), engine::OpenMode::kReadOnly)->RecordCount();
  }

  ScratchDir dir_;
};

struct CliCase {
  std::vector<std::string> args;
  int code;
  const char* err_part;  // a part of the message on standard error
};

TEST_F(CliTest, RefusalsGiveAClearMessageAndExitCode) {
  dir_.Write("unknown.csv", "CODE,NOPE\nX,1\n");
  dir_.Write("twice.csv", "CODE,code\nX,Y\n");
  dir_.Write("letters.csv", "CODE,QTY\nX,1\nY,twelve\n");
  dir_.Write("baddate.csv", "CODE,DAY\nX,2024-13-45\n");
  dir_.Write("open.csv", "CODE,NAME\nX,\"never closed\n");
  dir_.Write("short.csv", "CODE,NAME\nX,Y\nZ\n");
  dir_.Write("empty.csv", "");
  const CliCase cases[] = {
      // The command line itself.
      {{}, kExitUsage, "no command given"},
      {{"frobnicate"}, kExitUsage, "unknown command \"frobnicate\""},
      {{"create"}, kExitUsage, "missing arguments"},
      {{"create", "@n.adt"}, kExitUsage, "too few arguments"},
      {{"create", "@n.adt", "A:Q:10"}, kExitUsage, "unknown type \"Q\""},
      {{"create", "@n.adt", "A:C"}, kExitUsage, "is not NAME:TYPE:LENGTH[:DECIMALS]"},
      {{"create", "@n.adt", "A:C:ten"}, kExitUsage, "length of field A must be a whole number"},
      {{"create", "@n.adt", ":C:10"}, kExitUsage, "has no name"},
      {{"add", "@t.adt"}, kExitUsage, "too few arguments"},
      {{"add", "@t.adt", "@four.csv", "x"}, kExitUsage, "unexpected argument \"x\""},
      {{"delete", "@t.adt", "x"}, kExitUsage, "record number must be a whole number"},
      {{"delete", "@t.adt", "0"}, kExitUsage, "record number must be from 1"},
      {{"dump", "@t.adt", "--tag"}, kExitUsage, "option --tag needs a value"},
      {{"dump", "@t.adt", "--all"}, kExitUsage, "unknown option \"--all\""},
      {{"damage", "@junk.adt"}, kExitUsage, "say how to damage the file"},
      {{"damage", "@junk.adt", "--flip", "3:0x1FF"}, kExitUsage, "mask must be"},
      {{"damage", "@junk.adt", "--flip", "3:0"}, kExitUsage, "mask must be from 1 to 255"},
      {{"damage", "@junk.adt", "--truncate", "-1"}, kExitUsage, "size must be from 0"},
      {{"index", "@t.adt", "T"}, kExitUsage, "too few arguments"},
      {{"index", "@t.adt", "T", "CODE", "--sort-budget", "0"},
       kExitUsage,
       "sort budget must be from 1 to 4096"},
      {{"rebuild", "@s", "--sort-budget", "lots"}, kExitUsage, "sort budget must be a whole"},
      {{"sample", "@s", "--items", "0"}, kExitUsage, "items must be from 1"},
      {{"sample", "@s", "--deleted", "80"}, kExitUsage, "deleted share must be a percentage"},
      {{"sample", "@s", "--intact=yes"}, kExitUsage, "option --intact takes no value"},
      {{"sample", "@s", "--intact", "--no-index"}, kExitUsage, "exclude each other"},
      {{"verify"}, kExitUsage, "missing arguments"},
      // Missing and damaged files, bad data.
      {{"add", "@t.adt", "@nothing.csv"}, kExitFailure, "cannot open the CSV file"},
      {{"add", "@missing.adt", "@four.csv"}, kExitFailure, "missing.adt"},
      {{"add", "@t.adt", "@unknown.csv"}, kExitFailure, "CSV line 1: unknown field \"NOPE\""},
      {{"add", "@t.adt", "@twice.csv"}, kExitFailure, "field \"code\" is named twice"},
      {{"add", "@t.adt", "@letters.csv"}, kExitFailure, "CSV line 3, field QTY: "},
      {{"add", "@t.adt", "@baddate.csv"}, kExitFailure, "CSV line 2, field DAY: "},
      {{"add", "@t.adt", "@open.csv"}, kExitFailure, "CSV line 2: a quoted field is not closed"},
      {{"add", "@t.adt", "@short.csv"}, kExitFailure, "CSV line 3: 1 values for 2 fields"},
      {{"add", "@t.adt", "@empty.csv"}, kExitFailure, "a header row is needed"},
      {{"delete", "@t.adt", "1", "99"}, kExitFailure, "record 99 does not exist"},
      {{"dump", "@missing.adt"}, kExitFailure, "missing.adt"},
      {{"dump", "@junk.adt"}, kExitFailure, "kxdata dump: "},
      {{"dump", "@t.adt", "--tag", "NOPE"}, kExitFailure, "has no tag \"NOPE\""},
      {{"verify", "@nowhere"}, kExitFailure, "no such file or folder"},
      {{"damage", "@nothing.bin", "--truncate", "0"}, kExitFailure, "no such file"},
      {{"damage", "@junk.adt", "--truncate", "100000"}, kExitFailure, "fewer than 100000"},
      {{"damage", "@junk.adt", "--flip", "100000"}, kExitFailure, "is beyond the end"},
      {{"create", "@t.adt", "A:C:10"}, kExitFailure, "t.adt"},
      {{"index", "@t.adt", "T", "NOPE"}, kExitFailure, "NOPE"},
      {{"index", "@missing.adt", "T", "CODE"}, kExitFailure, "missing.adt"},
      {{"pack", "@junk.adt"}, kExitFailure, "kxdata pack: "},
  };
  for (const CliCase& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    ToolRun run = Run(c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << run.err;
    // One message per failure, never a partial success report.
    EXPECT_EQ(run.out, "");
  }
  // None of the refused commands changed the table or the damaged file.
  EXPECT_EQ(RecordCount(), 4u);
  EXPECT_EQ(ReadAll(dir_.File("junk.adt")), "this is not a table file at all, just some text\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("n.adt")));
}

TEST_F(CliTest, DumpShowsRecordsAndTagsInKeyOrder) {
  ToolRun run = Run({"dump", "@t.adt"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("record\tdeleted\tCODE\tNAME\tQTY\tDAY\tOK\n"), std::string::npos);
  EXPECT_NE(run.out.find("Bolt, hex"), std::string::npos);
  EXPECT_NE(run.out.find("\n3\t*\tC3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Cap \"red\""), std::string::npos);
  EXPECT_NE(run.out.find("2024-02-29"), std::string::npos);

  run = Run({"dump", "@t.adt", "--tag", "code"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out.find("record\tdeleted"), std::string::npos);
  // Live records only, in key order: A0 (4), A1 (2), B2 (1).
  const auto a0 = run.out.find("4\tA0"), a1 = run.out.find("2\tA1"), b2 = run.out.find("1\tB2");
  ASSERT_NE(a0, std::string::npos) << run.out;
  ASSERT_NE(a1, std::string::npos) << run.out;
  ASSERT_NE(b2, std::string::npos) << run.out;
  EXPECT_LT(a0, a1);
  EXPECT_LT(a1, b2);
  EXPECT_EQ(run.out.find("C3"), std::string::npos);
  EXPECT_EQ(run.out.find("stale"), std::string::npos);

  // A record added after the tag was built is not in it; a later deletion is flagged.
  ASSERT_EQ(Run({"add", "@t.adt", "-"}, "CODE\nA5\n").code, kExitOk);
  ASSERT_EQ(Run({"delete", "@t.adt", "2"}).code, kExitOk);
  run = Run({"dump", "@t.adt", "--tag", "CODE"});
  EXPECT_EQ(run.out.find("A5"), std::string::npos);
  EXPECT_NE(run.out.find("2\tA1\tdeleted record"), std::string::npos) << run.out;
}

TEST_F(CliTest, PackIndexAndVerify) {
  ToolRun run = Run({"verify", "@t.adt"});
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err;

  run = Run({"pack", "@t.adt"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("3 of 4 records kept"), std::string::npos) << run.out;
  ASSERT_EQ(Run({"index", "@t.adt", "BYNAME", "NAME;CODE", "--sort-budget", "1"}).code, kExitOk);
  run = Run({"dump", "@t.adt", "--tag", "BYNAME"});
  EXPECT_LT(run.out.find("Anchor"), run.out.find("Angle"));
  EXPECT_LT(run.out.find("Angle"), run.out.find("Bolt, hex"));
  EXPECT_EQ(Run({"verify", "@t.adt"}).code, kExitOk);

  // Damage to the index file: verify names it and fails.
  const std::string adi = dir_.File("t.adi");
  const auto size = std::filesystem::file_size(adi);
  run = Run({"damage", adi, "--flip", std::to_string(size - 10) + ":0x01"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  run = Run({"verify", dir_.Path()});
  EXPECT_EQ(run.code, kExitFailure);
  EXPECT_NE(run.out.find("t.adi"), std::string::npos) << run.out;
  // The folder check also covers the file that is not a table.
  EXPECT_NE(run.out.find("junk.adt"), std::string::npos) << run.out;

  run = Run({"damage", adi, "--truncate", "7"});
  ASSERT_EQ(run.code, kExitOk);
  EXPECT_EQ(std::filesystem::file_size(adi), 7u);
  EXPECT_EQ(Run({"verify", "@t.adt"}).code, kExitFailure);
}

TEST_F(CliTest, FailedAddAddsNothingAndStdinWorks) {
  // The bad value is on the third data row: the first two must not be added either.
  ToolRun run = Run({"add", "@t.adt", "-"}, "CODE,QTY\nX1,1\nX2,2\nX3,lots\n");
  EXPECT_EQ(run.code, kExitFailure);
  EXPECT_EQ(RecordCount(), 4u);

  run = Run({"add", "@t.adt", "-"}, "qty,Code\r\n1.5,X1\r\n2,X2\r\n");
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(RecordCount(), 6u);
  auto table = engine::TableFile::Open(dir_.File("t.adt"), engine::OpenMode::kReadOnly);
  auto values = table->RecordValues(5);
  EXPECT_EQ(values[0].substr(0, 2), "X1");
  EXPECT_NE(values[2].find("1.5"), std::string::npos) << values[2];
}

TEST_F(CliTest, HelpListsEveryCommand) {
  ToolRun run = Run({"help"});
  EXPECT_EQ(run.code, kExitOk);
  for (const Command& command : Commands()) {
    EXPECT_NE(run.out.find(std::string("  ") + command.name + " "), std::string::npos)
        << command.name;
  }
}

TEST_F(CliTest, LockHoldsTheTableUntilKilled) {
  ChildProcess lock({KXDATA_EXE, "lock", dir_.File("t.adt")});
  ASSERT_TRUE(lock.WaitForLine("locked"));
  ToolRun run = Run({"index", "@t.adt", "NAME", "NAME"});
  EXPECT_EQ(run.code, kExitFailure);
  EXPECT_NE(run.err.find("kxdata index: "), std::string::npos) << run.err;
  EXPECT_EQ(Run({"pack", "@t.adt"}).code, kExitFailure);
  lock.Kill();
  EXPECT_EQ(lock.Wait(), -9);
  run = Run({"index", "@t.adt", "NAME", "NAME"});
  EXPECT_EQ(run.code, kExitOk) << run.err;
}

TEST_F(CliTest, LockHoldsAnIndexFileUntilKilled) {
  ChildProcess lock({KXDATA_EXE, "lock", dir_.File("t.adi")});
  ASSERT_TRUE(lock.WaitForLine("locked"));
  // A second holder is refused, and says why.
  ChildProcess second({KXDATA_EXE, "lock", dir_.File("t.adi")});
  EXPECT_FALSE(second.WaitForLine("locked"));
  EXPECT_EQ(second.Wait(), kExitFailure);
#ifdef _WIN32
  // Nothing is shared: the file can be neither deleted nor replaced meanwhile.
  EXPECT_FALSE(DeleteFileA(dir_.File("t.adi").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Run({"index", "@t.adt", "NAME", "NAME"}).code, kExitFailure);
#endif
  lock.Kill();
  EXPECT_EQ(lock.Wait(), -9);
  ToolRun run = Run({"index", "@t.adt", "NAME", "NAME"});
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(Run({"verify", "@t.adt"}).code, kExitOk);
}

}  // namespace

}  // namespace kx::kxdata

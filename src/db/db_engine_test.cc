// The connection and the table over the stand-in engine linked in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/alias_lookup.h"
#include "src/db/db_error.h"
#include "src/db/linked_engine.h"
#include "tests/support/scratch_dir.h"

namespace kx::db {

namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class EngineConnectionTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch;
  fs::path folder{scratch.Path()};
};

TEST_F(EngineConnectionTest, ConnectsToAnExistingFolderAndDisconnects) {
  TAdsConnection connection(LinkedClientEngine(), "AdsConnection1");
  connection.SetAdsServerTypes(stADS_LOCAL);
  connection.SetConnectPath(folder.string());
  connection.SetIsConnected(true);
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_NE(connection.ConnectionHandle(), 0u);
  connection.SetIsConnected(false);  // the engine knows the handle: no error
  EXPECT_EQ(connection.ConnectionHandle(), 0u);
}

TEST_F(EngineConnectionTest, Failures) {
  struct Case {
    std::string name;
    std::string path;
    TAdsServerTypes types;
    std::string text;
  };
  const Case cases[] = {
      {"missing folder", (folder / "absent").string(), stADS_LOCAL, "absent"},
      {"remote server only", folder.string(), stADS_REMOTE, ""},
  };
  for (const Case& c : cases) {
    TAdsConnection connection(LinkedClientEngine(), "AdsConnection1");
    connection.SetAdsServerTypes(c.types);
    connection.SetConnectPath(c.path);
    try {
      connection.SetIsConnected(true);
      ADD_FAILURE() << c.name << ": connected";
    } catch (const EADSDatabaseError& error) {
      EXPECT_NE(error.AceErrorCode(), 0u) << c.name;
      EXPECT_THAT(error.Message(), Not(StartsWith("AdsConnection1"))) << c.name;
      EXPECT_THAT(error.Message(), HasSubstr(c.text)) << c.name;
      EXPECT_FALSE(error.Message().empty()) << c.name;
    }
    EXPECT_FALSE(connection.IsConnected()) << c.name;
  }
}

TEST_F(EngineConnectionTest, MissingTableNamesTheTable) {
  TAdsConnection connection(LinkedClientEngine(), "AdsConnection1");
  connection.SetAdsServerTypes(stADS_LOCAL);
  connection.SetConnectPath(folder.string() + "\\");
  TAdsTable table("AdsTable1", "fmrebld");
  table.SetAdsConnection(&connection);
  table.SetTableName("item.adt");
  table.SetExclusive(true);
  try {
    table.Open();
    ADD_FAILURE() << "opened";
  } catch (const EADSDatabaseError& error) {
    EXPECT_THAT(error.Message(), StartsWith("AdsTable1: "));
    EXPECT_THAT(error.Message(), HasSubstr("item.adt"));
    EXPECT_EQ(error.ErrorTableName(), "item.adt");
    EXPECT_EQ(error.ErrorDatabasePath(), folder.string());
    EXPECT_EQ(error.DataSetOwnerName(), "fmrebld");
  }
  EXPECT_FALSE(table.Active());
  EXPECT_TRUE(connection.IsConnected());  // the open connected it on the way
}
}  // namespace

namespace {
void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// The real ads.ini lookup: the file found through adsini_path, section "Databases".
TEST(DefaultAliasLookupTest, ReadsTheDatabasesSectionOfTheFileOnTheSearchPath) {
  const testing::ScratchDir scratch;
  const fs::path folder = scratch.Path();
  {
    std::ofstream ini(folder / "ads.ini");
    ini << "[Other]\r\nkest=wrong\r\n[Databases]\r\nkest=C:\\kest\\data;A\r\ndravent=x\r\n";
  }
  SetEnvironment("adsini_path", folder.string());
  const std::optional<std::string> entry = DefaultAliasLookup().ReadAliasEntry("kest");
  const std::optional<std::string> missing = DefaultAliasLookup().ReadAliasEntry("absent");
  SetEnvironment("adsini_path", "");
  EXPECT_EQ(entry, std::optional<std::string>("C:\\kest\\data;A"));
  EXPECT_EQ(missing, std::nullopt);
}
}  // namespace

}  // namespace kx::db

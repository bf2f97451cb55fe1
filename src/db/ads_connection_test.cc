#include "src/db/ads_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <thread>

#include "src/db/alias_lookup.h"
#include "src/db/db_error.h"
#include "src/db/scripted_engine.h"

namespace kx::db {

namespace {
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MapAliasLookup : public AliasLookup {
 public:
  std::optional<std::string> ReadAliasEntry(const std::string& alias) override {
    auto found = entries.find(alias);
    if (found == entries.end()) return std::nullopt;
    return found->second;
  }
  std::map<std::string, std::string> entries;
};

// The connection as the main window configures it.
class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() : connection(engine, "AdsConnection1", "fmrebld") {
    connection.SetAdsServerTypes(stADS_LOCAL);
    connection.SetAliasLookup(aliases);
  }

  // Records the order of the connection's events.
  void TrackEvents() {
    auto track = [this](const char* name) {
      return [this, name](TAdsConnection&) { events.push_back(name); };
    };
    connection.BeforeConnect = track("BeforeConnect");
    connection.AfterConnect = track("AfterConnect");
    connection.OnConnect = track("OnConnect");
    connection.BeforeDisconnect = track("BeforeDisconnect");
    connection.AfterDisconnect = track("AfterDisconnect");
    connection.OnDisconnect = track("OnDisconnect");
  }

  ScriptedEngine engine;
  MapAliasLookup aliases;
  std::vector<std::string> events;  // outlives the connection, whose destruction fires events
  TAdsConnection connection;
};

TEST_F(ConnectionTest, ConnectPassesTheFolderAndLocalServer) {
  TrackEvents();
  connection.SetAliasName("");
  connection.SetConnectPath("C:\\Kestovar\\data\\");
  connection.SetIsConnected(true);
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_EQ(connection.ConnectionHandle(), engine.connection_handle);
  ASSERT_EQ(engine.CallNames(), std::vector<std::string>{"AdsConnect60"});
  EXPECT_THAT(engine.Calls()[0].args, ElementsAre("C:\\Kestovar\\data\\", "1", "", "", "0"));
  EXPECT_THAT(events, ElementsAre("BeforeConnect", "AfterConnect", "OnConnect"));

  connection.SetIsConnected(true);  // already connected: nothing happens
  EXPECT_EQ(engine.Calls().size(), 1u);
}

TEST_F(ConnectionTest, RefusalsWhileConnected) {
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  const struct {
    std::function<void()> change;
    std::string message;
  } cases[] = {
      {[&] { connection.SetConnectPath("C:\\data"); },  // the very same text
       "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE"},
      {[&] { connection.SetConnectPath("D:\\other"); },
       "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE"},
      {[&] { connection.SetAliasName(""); },
       "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE"},
  };
  for (const auto& c : cases) {
    try {
      c.change();
      ADD_FAILURE() << "no refusal for " << c.message;
    } catch (const AdsConnectionError& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_EQ(connection.ConnectPath(), "C:\\data");
    EXPECT_TRUE(connection.IsConnected());
  }
  EXPECT_EQ(engine.CountOf("AdsConnect60"), 1u);
}

// Every way a connect fails: the exception, its text, and the connection left unconnected.
TEST_F(ConnectionTest, ConnectFailures) {
  struct Case {
    std::string name;
    std::function<void()> arrange;
    std::string message;
    bool engine_called;
  };
  const Case cases[] = {
      {"empty path", [] {}, "Must specify connection string before getting a server connection.",
       false},
      {"unknown alias", [this] { connection.SetAliasName("nosuch"); },
       "TAdsConnection.AliasName is not valid", false},
      {"alias with an empty path",
       [this] {
         aliases.entries["blank"] = ";A";
         connection.SetAliasName("blank");
       },
       "TAdsConnection.AliasName is not valid", false},
      {"engine refuses",
       [this] {
         connection.SetConnectPath("C:\\nowhere");
         engine.SetResult("AdsConnect60", 5012);
         engine.SetLastError(5012, "The folder C:\\nowhere does not exist");
       },
       "The folder C:\\nowhere does not exist", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine.ClearCalls();
    connection.SetConnectPath("");
    c.arrange();
    try {
      connection.SetIsConnected(true);
      ADD_FAILURE() << "connected";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.ConnectionHandle(), 0u);
    EXPECT_EQ(engine.CountOf("AdsConnect60"), c.engine_called ? 1u : 0u);
    engine.SetResult("AdsConnect60", 0);
  }
}

TEST_F(ConnectionTest, EngineFailureKeepsTheNewPathAndTheCode) {
  connection.SetConnectPath("C:\\nowhere");
  engine.SetResult("AdsConnect60", 5012);
  engine.SetLastError(5012, "missing folder");
  try {
    connection.SetIsConnected(true);
    FAIL();
  } catch (const EADSDatabaseError& error) {
    EXPECT_EQ(error.AceErrorCode(), 5012u);
    EXPECT_EQ(error.DataSetName(), "");
  }
  EXPECT_EQ(connection.ConnectPath(), "C:\\nowhere");
  connection.SetConnectPath("C:\\data");  // unconnected: a new path is accepted
  engine.SetResult("AdsConnect60", 0);
  connection.SetIsConnected(true);
  EXPECT_TRUE(connection.IsConnected());
}

TEST_F(ConnectionTest, LongPathIsCutAt254) {
  const std::string path = "C:\\" + std::string(300, 'd');
  connection.SetConnectPath(path);
  connection.SetIsConnected(true);
  EXPECT_EQ(engine.CallsTo("AdsConnect60")[0].args[0], path.substr(0, 254));
  EXPECT_EQ(connection.ConnectPath(), path);  // stored unchanged
}

TEST_F(ConnectionTest, AliasAndPathClearEachOther) {
  connection.SetConnectPath("C:\\data");
  connection.SetAliasName("");
  EXPECT_EQ(connection.ConnectPath(), "C:\\data");

  aliases.entries["kest"] = "D:\\kest\\data;c";
  connection.SetAliasName("kest");
  EXPECT_EQ(connection.ConnectPath(), "");
  EXPECT_EQ(connection.AliasPath(), "D:\\kest\\data");
  EXPECT_EQ(connection.AliasTableType(), 1);
  EXPECT_EQ(connection.ConnectionPath(), "D:\\kest\\data");

  connection.SetConnectPath("E:\\x");
  EXPECT_EQ(connection.AliasName(), "");
  EXPECT_EQ(connection.AliasPath(), "");
  EXPECT_EQ(connection.AliasTableType(), 0);
}

TEST(ResolveAliasTest, TypeLetterAndCut) {
  struct Case {
    std::optional<std::string> entry;
    bool found;
    std::string path;
    uint8_t type;
  };
  const Case cases[] = {
      {std::nullopt, false, "", 0},
      {"", false, "", 0},
      {"C:\\d", true, "C:\\d", 0},
      {"C:\\d;N", true, "C:\\d", 2},
      {"C:\\d;c", true, "C:\\d", 1},
      {"C:\\d;ADT", true, "C:\\d", 3},
      {"C:\\d;X", true, "C:\\d", 0},
      {"C:\\d;", true, "C:\\d", 0},
      {";A", false, "", 0},
      // folders on a server's share
      {"\\\\server\\share\\data;A", true, "\\\\server\\share\\data", 3},
      {"\\\\server\\share\\data\\;n", true, "\\\\server\\share\\data\\", 2},
      {"\\\\server\\share", true, "\\\\server\\share", 0},
  };
  for (const Case& c : cases) {
    MapAliasLookup lookup;
    if (c.entry) lookup.entries["a"] = *c.entry;
    const ResolvedAlias resolved = ResolveAlias(lookup, "a");
    EXPECT_EQ(resolved.found, c.found) << c.entry.value_or("<none>");
    EXPECT_EQ(resolved.path, c.path) << c.entry.value_or("<none>");
    EXPECT_EQ(resolved.table_type, c.type) << c.entry.value_or("<none>");
  }
}

TEST_F(ConnectionTest, UnresolvedAliasIsLookedUpAgainAtConnect) {
  connection.SetAliasName("later");
  EXPECT_FALSE(connection.AliasValid());
  aliases.entries["later"] = "C:\\later";
  connection.SetIsConnected(true);
  EXPECT_EQ(engine.CallsTo("AdsConnect60")[0].args[0], "C:\\later");
}

TEST_F(ConnectionTest, DictionaryPathPassesCredentials) {
  connection.SetUsername("admin");
  connection.SetPassword("secret");
  connection.SetConnectPath("C:\\data\\kest.Add.files");
  EXPECT_TRUE(connection.IsDictionaryConnection());
  connection.SetIsConnected(true);  // no login hook, no OnLogin: the properties are used
  EXPECT_THAT(engine.Calls()[0].args,
              ElementsAre("C:\\data\\kest.Add.files", "1", "admin", "secret", "0"));
}

TEST_F(ConnectionTest, FreePathPassesEmptyCredentials) {
  connection.SetUsername("admin");
  connection.SetPassword("secret");
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  EXPECT_THAT(engine.Calls()[0].args, ElementsAre("C:\\data", "1", "", "", "0"));
}

TEST_F(ConnectionTest, RefusedLoginHook) {
  TAdsConnection::SetLoginDialogHook(
      [](const std::string&, std::string&, std::string&, bool) { return false; });
  connection.SetConnectPath("C:\\kest.add");
  try {
    connection.SetIsConnected(true);
    ADD_FAILURE();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Cannot connect to database 'AdsConnection1'");
  }
  TAdsConnection::SetLoginDialogHook(nullptr);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(engine.CountOf("AdsConnect60"), 0u);
}

TEST(ConnectOptionsTest, ServerTypesAndOptions) {
  EXPECT_EQ(AceServerTypes(stADS_LOCAL), 0x1);
  EXPECT_EQ(AceServerTypes(stADS_REMOTE), 0x2);
  EXPECT_EQ(AceServerTypes(stADS_AIS | stADS_LOCAL), 0x5);
  EXPECT_EQ(AceServerTypes(0), 0);
  using C = TAdsCompressionTypes;
  using T = TAdsCommunicationType;
  EXPECT_EQ(AceConnectOptions(false, false, C::ccAdsCompressionNotSet, T::ctAdsDefault), 0u);
  EXPECT_EQ(AceConnectOptions(true, true, C::ccAdsCompressInternet, T::ctAdsTCPIP), 0x8Fu);
  EXPECT_EQ(AceConnectOptions(false, false, C::ccAdsCompressAlways, T::ctAdsUDPIP), 0x24u);
  EXPECT_EQ(AceConnectOptions(false, false, C::ccAdsCompressNever, T::ctAdsIPX), 0x48u);
}

TEST_F(ConnectionTest, DisconnectThroughIsConnected) {
  TrackEvents();
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  events.clear();
  connection.SetIsConnected(false);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(connection.ConnectionHandle(), 0u);
  EXPECT_THAT(engine.CallsTo("AdsDisconnect")[0].args, ElementsAre("7"));
  EXPECT_THAT(events, ElementsAre("BeforeDisconnect", "AfterDisconnect", "OnDisconnect"));
}

TEST_F(ConnectionTest, FailedDisconnectRaisesAdsErrorButDisconnects) {
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  engine.SetResult("AdsDisconnect", 5024);  // 5024 is an error here, unlike at destruction
  engine.SetLastError(5024, "not connected");
  try {
    connection.SetIsConnected(false);
    ADD_FAILURE();
  } catch (const AdsError& error) {
    EXPECT_EQ(error.Message(), "not connected");
  }
  EXPECT_FALSE(connection.IsConnected());
}

TEST_F(ConnectionTest, UnreadableDisconnectErrorShowsTheEngineBox) {
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  engine.SetResult("AdsDisconnect", 5000);
  engine.SetResult("AdsGetLastError", 5000);
  try {
    connection.SetIsConnected(false);
    ADD_FAILURE();
  } catch (const AdsError& error) {
    EXPECT_EQ(error.Message(), "");
  }
  ASSERT_EQ(engine.CountOf("AdsShowError"), 1u);
  EXPECT_THAT(engine.CallsTo("AdsShowError")[0].args, ElementsAre("Ads Exception Error"));
}

TEST(ConnectionDestructionTest, DisconnectResults) {
  const struct {
    AceResult result;
    bool reported;
  } cases[] = {{0, false}, {5024, false}, {5000, true}};
  for (const auto& c : cases) {
    ScriptedEngine engine;
    engine.SetResult("AdsDisconnect", c.result);
    engine.SetLastError(c.result, "disconnect failed");
    std::vector<std::string> reported;
    TAdsConnection::SetTeardownErrorHandler(
        [&](const Exception& error) { reported.push_back(error.Message()); });
    std::vector<std::string> events;
    {
      TAdsConnection connection(engine, "AdsConnection1");
      connection.SetConnectPath("C:\\data");
      connection.SetIsConnected(true);
      connection.BeforeDisconnect = [&](TAdsConnection&) { events.push_back("Before"); };
      connection.AfterDisconnect = [&](TAdsConnection&) { events.push_back("After"); };
      connection.OnDisconnect = [&](TAdsConnection&) { events.push_back("On"); };
    }
    TAdsConnection::SetTeardownErrorHandler(nullptr);
    EXPECT_EQ(engine.CountOf("AdsDisconnect"), 1u) << c.result;
    EXPECT_THAT(events, ElementsAre("On")) << c.result;
    if (c.reported) {
      EXPECT_THAT(reported, ElementsAre("disconnect failed"));
    } else {
      EXPECT_THAT(reported, IsEmpty()) << c.result;
    }
  }
}

TEST(ConnectionDestructionTest, UnconnectedMakesNoEngineCall) {
  ScriptedEngine engine;
  { TAdsConnection connection(engine, "AdsConnection1"); }
  EXPECT_TRUE(engine.Calls().empty());
}

TEST(ConnectionRegistryTest, FindsByNameOnThisThreadPreferringTheOwner) {
  ScriptedEngine engine;
  TAdsConnection other(engine, "AdsConnection1", "otherform");
  TAdsConnection mine(engine, "AdsConnection1", "fmrebld");
  EXPECT_EQ(TAdsConnection::FindConnection("adsconnection1", "fmrebld"), &mine);
  EXPECT_EQ(TAdsConnection::FindConnection("ADSCONNECTION1", "nobody"), &other);
  EXPECT_EQ(TAdsConnection::FindConnection("AdsConnection2", "fmrebld"), nullptr);
  TAdsConnection* from_other_thread = &mine;
  std::thread([&] {
    from_other_thread = TAdsConnection::FindConnection("AdsConnection1", "fmrebld");
  }).join();
  EXPECT_EQ(from_other_thread, nullptr);
}

TEST_F(ConnectionTest, ConnectRequestedWhileLoadingWaitsForTheEnd) {
  connection.BeginLoading();
  connection.SetConnectPath("C:\\data");
  connection.SetIsConnected(true);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_TRUE(engine.Calls().empty());
  connection.EndLoading();
  EXPECT_TRUE(connection.IsConnected());
}
}  // namespace

}  // namespace kx::db

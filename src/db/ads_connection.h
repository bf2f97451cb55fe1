// The database connection: joins the program to a data folder through the client engine.
//
// Properties are set through setters; setting a property to its current value does nothing,
// except ConnectPath and AliasName of a connected connection, which are refused whatever
// the value. Connecting calls AdsConnect60 with the folder (cut to 254 characters); a failed
// connect raises EADSDatabaseError with the engine's text alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ace32/ace_api.h"
#include "src/common/exception.h"

namespace kx::db {

class AliasLookup;
class ClientEngine;
class TAdsDataSet;

// Misuse of the connection's properties.
class AdsConnectionError : public Exception {
 public:
  using Exception::Exception;
};

// A failed disconnect.
class AdsError : public Exception {
 public:
  using Exception::Exception;
};

enum TAdsServerType : uint8_t { stADS_REMOTE = 0x1, stADS_LOCAL = 0x2, stADS_AIS = 0x4 };
using TAdsServerTypes = uint8_t;  // a set of TAdsServerType

enum class TAdsCompressionTypes {
  ccAdsCompressionNotSet,
  ccAdsCompressInternet,
  ccAdsCompressAlways,
  ccAdsCompressNever
};
enum class TAdsCommunicationType { ctAdsDefault, ctAdsUDPIP, ctAdsIPX, ctAdsTCPIP };

// Connection options and server types as the engine takes them.
uint16_t AceServerTypes(TAdsServerTypes types);
uint32_t AceConnectOptions(bool middle_tier, bool stored_procedure,
                           TAdsCompressionTypes compression, TAdsCommunicationType communication);

class TAdsConnection {
 public:
  using NotifyEvent = std::function<void(TAdsConnection&)>;
  using LoginEvent =
      std::function<void(TAdsConnection&, std::string& username, std::string& password)>;
  // Asked for credentials of a data-dictionary connection when no OnLogin is assigned:
  // (component name, user name, password, false) -> accepted.
  using LoginDialogHook = std::function<bool(const std::string& name, std::string& username,
                                             std::string& password, bool)>;
  // Receives a disconnect failure found while the connection is destroyed (a destructor
  // cannot raise it).
  using TeardownErrorHandler = std::function<void(const Exception&)>;

  static constexpr size_t kConnectPathLength = 254;
  static constexpr size_t kCredentialLength = 260;

  explicit TAdsConnection(ClientEngine& engine, std::string name = "", std::string owner_name = "");
  TAdsConnection(const TAdsConnection&) = delete;
  TAdsConnection& operator=(const TAdsConnection&) = delete;
  // Closes the registered data sets, disconnects (5024 accepted) and leaves the
  // process-wide list of connections. Raises nothing.
  virtual ~TAdsConnection();

  ClientEngine& Engine() const { return engine_; }
  const std::string& Name() const { return name_; }
  const std::string& OwnerName() const { return owner_name_; }

  const std::string& AliasName() const { return alias_name_; }
  void SetAliasName(const std::string& alias);
  bool AliasValid() const { return alias_valid_; }
  const std::string& AliasPath() const { return alias_path_; }
  uint8_t AliasTableType() const { return alias_table_type_; }

  bool IsConnected() const { return is_connected_; }
  void SetIsConnected(bool connected);

  const std::string& ConnectPath() const { return connect_path_; }
  void SetConnectPath(const std::string& path);

  // The engine handle while connected, else 0.
  AceHandle ConnectionHandle() const { return is_connected_ ? handle_ : 0; }
  // ConnectPath when not empty, else AliasPath.
  std::string ConnectionPath() const;
  bool IsDictionaryConnection() const { return is_dictionary_connection_; }

  TAdsServerTypes AdsServerTypes() const { return server_types_; }
  void SetAdsServerTypes(TAdsServerTypes types) { server_types_ = types; }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool prompt) { login_prompt_ = prompt; }
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& username) { username_ = username; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  bool MiddleTierConnection() const { return middle_tier_; }
  void SetMiddleTierConnection(bool on) { middle_tier_ = on; }
  bool StoredProcedureConnection() const { return stored_procedure_; }
  void SetStoredProcedureConnection(bool on) { stored_procedure_ = on; }
  bool StoreConnected() const { return store_connected_; }
  void SetStoreConnected(bool on) { store_connected_ = on; }
  TAdsCompressionTypes Compression() const { return compression_; }
  void SetCompression(TAdsCompressionTypes compression) { compression_ = compression; }
  TAdsCommunicationType CommunicationType() const { return communication_; }
  void SetCommunicationType(TAdsCommunicationType type) { communication_ = type; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  // A handle connected elsewhere; when set, connecting adopts it and disconnecting leaves it.
  AceHandle ExternalConnectionHandle() const { return external_handle_; }
  void SetExternalConnectionHandle(AceHandle handle) { external_handle_ = handle; }

  // Loading from a stored description: a connect requested meanwhile happens at EndLoading.
  void BeginLoading() { loading_ = true; }
  void EndLoading();
  bool ConnectAfterLoad() const { return connect_after_load_; }

  // The data sets whose AdsConnection is this connection, in order of registration.
  const std::vector<TAdsDataSet*>& RegisteredDataSets() const { return data_sets_; }
  void AddDataSet(TAdsDataSet* data_set);
  void RemoveDataSet(TAdsDataSet* data_set);

  // Where aliases are looked up (DefaultAliasLookup unless replaced).
  AliasLookup& Aliases() const { return *aliases_; }
  void SetAliasLookup(AliasLookup& lookup) { aliases_ = &lookup; }

  NotifyEvent BeforeConnect, AfterConnect, OnConnect;
  NotifyEvent BeforeDisconnect, AfterDisconnect, OnDisconnect;
  LoginEvent OnLogin;

  // Process-wide hooks; none is installed by default.
  static void SetLoginDialogHook(LoginDialogHook hook);
  static void SetTeardownErrorHandler(TeardownErrorHandler handler);

  // A connection created on this thread with this component name (ignoring case),
  // preferring one of the given owner; null when there is none.
  static TAdsConnection* FindConnection(const std::string& name, const std::string& owner_name);

 protected:
  // Calls AdsConnect60 and stores the handle; raises on failure.
  virtual void ConnectToServer(const std::string& path);

 private:
  void Connect();
  void Disconnect();
  AdsError MakeAdsError();
  static void Fire(const NotifyEvent& event, TAdsConnection& connection);

  ClientEngine& engine_;
  std::string name_;
  std::string owner_name_;
  std::string alias_name_;
  bool alias_valid_ = true;
  bool is_connected_ = false;
  std::string connect_path_;
  AceHandle handle_ = 0;
  std::vector<TAdsDataSet*> data_sets_;
  bool connect_after_load_ = false;
  bool loading_ = false;
  std::string alias_path_;
  uint8_t alias_table_type_ = 0;
  bool is_dictionary_connection_ = false;
  bool login_prompt_ = true;
  std::string username_;
  std::string password_;
  TAdsServerTypes server_types_ = 0;
  bool middle_tier_ = false;
  bool stored_procedure_ = false;
  bool store_connected_ = true;
  TAdsCompressionTypes compression_ = TAdsCompressionTypes::ccAdsCompressionNotSet;
  TAdsCommunicationType communication_ = TAdsCommunicationType::ctAdsDefault;
  bool read_only_ = false;
  std::thread::id creating_thread_;
  AceHandle external_handle_ = 0;
  AliasLookup* aliases_;
};

}  // namespace kx::db

#include "src/db/ads_connection.h"

#include <algorithm>
#include <mutex>

#include "src/common/ascii_case.h"
#include "src/db/ads_dataset.h"
#include "src/db/alias_lookup.h"
#include "src/db/client_engine.h"
#include "src/db/db_error.h"

namespace kx::db {

namespace {
constexpr char kAliasChangeRefused[] =
    "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE";
constexpr char kPathChangeRefused[] =
    "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE";
constexpr char kAliasNotValid[] = "TAdsConnection.AliasName is not valid";
constexpr char kNoConnectPath[] =
    "Must specify connection string before getting a server connection.";
constexpr char kShowErrorTitle[] = "Ads Exception Error";

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::vector<TAdsConnection*>& Registry() {
  static std::vector<TAdsConnection*> connections;
  return connections;
}

std::mutex& HookLock() {
  static std::mutex lock;
  return lock;
}
TAdsConnection::LoginDialogHook& LoginHook() {
  static TAdsConnection::LoginDialogHook hook;
  return hook;
}
TAdsConnection::TeardownErrorHandler& TeardownHandler() {
  static TAdsConnection::TeardownErrorHandler handler;
  return handler;
}

bool NamesDictionary(const std::string& path) {
  return AsciiUpperCase(path).find(".ADD") != std::string::npos;
}

std::string Cut(const std::string& text, size_t length) { return text.substr(0, length); }
}  // namespace

uint16_t AceServerTypes(TAdsServerTypes types) {
  uint16_t result = 0;
  if (types & stADS_REMOTE) result |= kAceServerRemote;
  if (types & stADS_LOCAL) result |= kAceServerLocal;
  if (types & stADS_AIS) result |= kAceServerInternet;
  return result;
}

uint32_t AceConnectOptions(bool middle_tier, bool stored_procedure,
                           TAdsCompressionTypes compression, TAdsCommunicationType communication) {
  uint32_t options = 0;
  if (middle_tier) options |= 0x1;
  if (stored_procedure) options |= 0x2;
  switch (compression) {
    case TAdsCompressionTypes::ccAdsCompressInternet:
      options |= 0xC;
      break;
    case TAdsCompressionTypes::ccAdsCompressAlways:
      options |= 0x4;
      break;
    case TAdsCompressionTypes::ccAdsCompressNever:
      options |= 0x8;
      break;
    case TAdsCompressionTypes::ccAdsCompressionNotSet:
      break;
  }
  switch (communication) {
    case TAdsCommunicationType::ctAdsUDPIP:
      options |= 0x20;
      break;
    case TAdsCommunicationType::ctAdsIPX:
      options |= 0x40;
      break;
    case TAdsCommunicationType::ctAdsTCPIP:
      options |= 0x80;
      break;
    case TAdsCommunicationType::ctAdsDefault:
      break;
  }
  return options;
}

TAdsConnection::TAdsConnection(ClientEngine& engine, std::string name, std::string owner_name)
    : engine_(engine),
      name_(std::move(name)),
      owner_name_(std::move(owner_name)),
      creating_thread_(std::this_thread::get_id()),
      aliases_(&DefaultAliasLookup()) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry().push_back(this);
}

TAdsConnection::~TAdsConnection() {
  try {
    if (is_connected_) {
      for (TAdsDataSet* data_set : data_sets_) {
        try {
          data_set->SetActive(false);
        } catch (...) {
        }
        data_set->DetachConnection();
      }
      data_sets_.clear();
      if (external_handle_ == 0) {
        const AceResult result = engine_.AdsDisconnect(handle_);
        // An engine that already dropped the connection reports 5024: nothing is lost.
        if (result != 0 && result != kAceResultNotConnected) {
          AdsError error = MakeAdsError();
          TeardownErrorHandler handler;
          {
            std::lock_guard<std::mutex> guard(HookLock());
            handler = TeardownHandler();
          }
          if (handler) handler(error);
        }
      }
      try {
        Fire(OnDisconnect, *this);
      } catch (...) {
      }
      handle_ = 0;
      is_connected_ = false;
    } else {
      for (TAdsDataSet* data_set : data_sets_) data_set->DetachConnection();
      data_sets_.clear();
    }
  } catch (...) {
    // Destruction goes on whatever the engine or a handler did.
  }
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto& registry = Registry();
  registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
}

void TAdsConnection::Fire(const NotifyEvent& event, TAdsConnection& connection) {
  if (event) event(connection);
}

void TAdsConnection::SetAliasName(const std::string& alias) {
  if (is_connected_) throw AdsConnectionError(kAliasChangeRefused);
  alias_valid_ = true;
  if (alias.empty()) {
    alias_name_.clear();
    alias_path_.clear();
    alias_table_type_ = 0;
    return;
  }
  const ResolvedAlias resolved = ResolveAlias(*aliases_, alias);
  alias_name_ = alias;
  if (!resolved.found) {
    alias_valid_ = false;
    alias_path_.clear();
    alias_table_type_ = 0;
    return;
  }
  connect_path_.clear();
  alias_path_ = resolved.path;
  alias_table_type_ = resolved.table_type;
  is_dictionary_connection_ = NamesDictionary(alias_path_);
  for (TAdsDataSet* data_set : data_sets_) {
    const std::string database = data_set->DatabaseName();
    if (data_set->OwnerName() == owner_name_ &&
        (database.empty() || SameTextIgnoringCase(database, name_))) {
      data_set->ApplyAliasTableType(alias_table_type_);
    }
  }
}

void TAdsConnection::SetConnectPath(const std::string& path) {
  if (is_connected_) throw AdsConnectionError(kPathChangeRefused);
  connect_path_ = path;
  is_dictionary_connection_ = NamesDictionary(path);
  alias_name_.clear();
  alias_path_.clear();
  alias_table_type_ = 0;
}

std::string TAdsConnection::ConnectionPath() const {
  return connect_path_.empty() ? alias_path_ : connect_path_;
}

void TAdsConnection::SetIsConnected(bool connected) {
  if (connected == is_connected_) return;
  if (connected) {
    Connect();
  } else {
    Disconnect();
  }
}

void TAdsConnection::EndLoading() {
  loading_ = false;
  if (connect_after_load_) {
    connect_after_load_ = false;
    SetIsConnected(true);
  }
}

void TAdsConnection::Connect() {
  if (loading_) {
    connect_after_load_ = true;
    return;
  }
  Fire(BeforeConnect, *this);
  if (!alias_valid_) {
    SetAliasName(alias_name_);
    if (!alias_valid_) throw AdsConnectionError(kAliasNotValid);
  }
  const std::string path = ConnectionPath();
  if (path.empty()) throw AdsConnectionError(kNoConnectPath);
  if (external_handle_ != 0) {
    handle_ = external_handle_;
  } else {
    ConnectToServer(Cut(path, kConnectPathLength));
  }
  is_connected_ = true;
  if (is_dictionary_connection_) {
    for (TAdsDataSet* data_set : data_sets_) data_set->RefreshDefaultIndex();
  }
  Fire(AfterConnect, *this);
  Fire(OnConnect, *this);
}

void TAdsConnection::ConnectToServer(const std::string& path) {
  std::string username = username_;
  std::string password = password_;
  if (login_prompt_ && is_dictionary_connection_) {
    if (OnLogin) {
      username.clear();
      password.clear();
      OnLogin(*this, username, password);
    } else {
      LoginDialogHook hook;
      {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = LoginHook();
      }
      if (hook && !hook(name_, username, password, false)) {
        throw EDatabaseError("Cannot connect to database '" + name_ + "'");
      }
    }
    username_ = username;
    password_ = password;
  }
  username = Cut(username, kCredentialLength);
  password = Cut(password, kCredentialLength);
  if (!is_dictionary_connection_) {
    username.clear();
    password.clear();
  }
  AceHandle handle = 0;
  const AceResult result = engine_.AdsConnect60(
      path.c_str(), AceServerTypes(server_types_), username.c_str(), password.c_str(),
      AceConnectOptions(middle_tier_, stored_procedure_, compression_, communication_), &handle);
  // A failed connect leaves no handle behind, whatever the engine wrote.
  handle_ = result == 0 ? handle : 0;
  CheckAceResult(engine_, nullptr, result);
}

AdsError TAdsConnection::MakeAdsError() {
  uint32_t code = 0;
  char text[kAceErrorTextLength + 1] = {};
  uint16_t length = kAceErrorTextLength;
  if (engine_.AdsGetLastError(&code, text, &length) != 0) {
    engine_.AdsShowError(kShowErrorTitle);
    return AdsError();
  }
  text[kAceErrorTextLength] = '\0';
  return AdsError(text);
}

void TAdsConnection::Disconnect() {
  Fire(BeforeDisconnect, *this);
  for (TAdsDataSet* data_set : std::vector<TAdsDataSet*>(data_sets_)) {
    try {
      data_set->SetActive(false);
    } catch (...) {
      // One table that fails to close does not keep the others open.
    }
  }
  bool failed = false;
  AdsError error;
  if (external_handle_ == 0) {
    if (engine_.AdsDisconnect(handle_) != 0) {
      failed = true;
      error = MakeAdsError();
    }
  }
  is_connected_ = false;
  handle_ = 0;
  Fire(AfterDisconnect, *this);
  Fire(OnDisconnect, *this);
  if (failed) throw error;
}

void TAdsConnection::AddDataSet(TAdsDataSet* data_set) {
  if (std::find(data_sets_.begin(), data_sets_.end(), data_set) == data_sets_.end()) {
    data_sets_.push_back(data_set);
  }
}

void TAdsConnection::RemoveDataSet(TAdsDataSet* data_set) {
  data_sets_.erase(std::remove(data_sets_.begin(), data_sets_.end(), data_set), data_sets_.end());
}

void TAdsConnection::SetLoginDialogHook(LoginDialogHook hook) {
  std::lock_guard<std::mutex> guard(HookLock());
  LoginHook() = std::move(hook);
}

void TAdsConnection::SetTeardownErrorHandler(TeardownErrorHandler handler) {
  std::lock_guard<std::mutex> guard(HookLock());
  TeardownHandler() = std::move(handler);
}

TAdsConnection* TAdsConnection::FindConnection(const std::string& name,
                                               const std::string& owner_name) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  const std::thread::id here = std::this_thread::get_id();
  TAdsConnection* any = nullptr;
  for (TAdsConnection* connection : Registry()) {
    if (connection->creating_thread_ != here || !SameTextIgnoringCase(connection->name_, name))
      continue;
    if (connection->owner_name_ == owner_name) return connection;
    if (any == nullptr) any = connection;
  }
  return any;
}

}  // namespace kx::db

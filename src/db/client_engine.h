// The client engine as the program sees it: one virtual function per engine function.
//
// Implementations: the DLL loaded at run time (Windows), the stand-in engine linked into
// native builds, and a scripted engine for tests that records calls and returns chosen
// results. Everything above this interface (connection, table access, errors) is portable.
#pragma once

#include <mutex>

#include "ace32/ace_api.h"

namespace kx::db {

class ClientEngine {
 public:
  virtual ~ClientEngine() = default;
#define ACE_DECLARE_VIRTUAL(name, params, args) virtual AceResult name params = 0;
  ACE_FUNCTIONS(ACE_DECLARE_VIRTUAL)
#undef ACE_DECLARE_VIRTUAL
};

// Forwards every call through a table of function pointers. A function missing from the
// table is bound when it is first called (Bind), so an engine that lacks functions the
// program never calls serves every call it does make.
class FunctionTableEngine : public ClientEngine {
 public:
  FunctionTableEngine() = default;
  explicit FunctionTableEngine(const AceFunctionTable& table) : table_(table) {}

#define ACE_FORWARD(name, params, args) \
  AceResult name params override { return Bound(&AceFunctionTable::name, #name) args; }
  ACE_FUNCTIONS(ACE_FORWARD)
#undef ACE_FORWARD

 protected:
  // The address of the engine function `name`; raises EADSDatabaseError naming it when the
  // engine has none. By default a function missing from the table given is missing.
  virtual void* Bind(const char* name);

 private:
  template <typename Fn>
  Fn Bound(Fn AceFunctionTable::*slot, const char* name) {
    std::lock_guard<std::mutex> guard(bind_lock_);
    Fn& function = table_.*slot;
    if (function == nullptr) function = reinterpret_cast<Fn>(Bind(name));
    return function;
  }

  std::mutex bind_lock_;
  AceFunctionTable table_;
};

// The engine the program uses: on Windows the ACE32.DLL beside the program (loaded at first
// use), in native builds the stand-in engine linked in.
ClientEngine& DefaultClientEngine();

}  // namespace kx::db

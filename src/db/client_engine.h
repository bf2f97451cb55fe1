// The client engine as the program sees it: one virtual function per engine function.
//
// Implementations: the DLL loaded at run time (Windows), the stand-in engine linked into
// native builds, and a scripted engine for tests that records calls and returns chosen
// results. Everything above this interface (connection, table access, errors) is portable.
#pragma once

#include "ace32/ace_api.h"

class ClientEngine {
 public:
  virtual ~ClientEngine() = default;
#define ACE_DECLARE_VIRTUAL(name, params, args) virtual AceResult name params = 0;
  ACE_FUNCTIONS(ACE_DECLARE_VIRTUAL)
#undef ACE_DECLARE_VIRTUAL
};

// Forwards every call through a table of function pointers.
class FunctionTableEngine : public ClientEngine {
 public:
  FunctionTableEngine() = default;
  explicit FunctionTableEngine(const AceFunctionTable& table) : table_(table) {}

#define ACE_FORWARD(name, params, args) \
  AceResult name params override { return Functions().name args; }
  ACE_FUNCTIONS(ACE_FORWARD)
#undef ACE_FORWARD

 protected:
  // The table to call through; a loader may fill it on first use.
  virtual const AceFunctionTable& Functions() { return table_; }
  AceFunctionTable table_;
};

// The engine the program uses: on Windows the ACE32.DLL beside the program (loaded at first
// use), in native builds the stand-in engine linked in.
ClientEngine& DefaultClientEngine();

// The engine's exported functions. Placeholder bodies until the engine's tables exist:
// every function fails with a clear error that names it.
#include "engine/ace_exports.h"

#include <cstring>
#include <string>

namespace {
constexpr uint32_t kNotImplemented = 5004;
thread_local uint32_t last_code = 0;
thread_local std::string last_text;

AceResult Fail(uint32_t code, std::string text) {
  last_code = code;
  last_text = std::move(text);
  return code;
}
}  // namespace

extern "C" {
#define ACE_STUB(name, params, args)                                                       \
  ACE_EXPORT AceResult ACE_CALL name params {                                              \
    return Fail(kNotImplemented, "The engine function " #name " is not available yet."); \
  }
ACE_FUNCTIONS(ACE_STUB)
#undef ACE_STUB
}

// Named points inside multi-step file operations where a test can make the operation stop
// as if the process had died there: the armed point throws FaultInjected, which the
// operation lets pass without cleaning up. Unarmed, a point costs one comparison.
#pragma once

#include <string>

#include "engine/error_codes.h"

namespace kxengine {

class FaultInjected : public EngineError {
 public:
  explicit FaultInjected(const std::string& point) : EngineError(kErrIo, "a stop at " + point) {}
};

// Arms one point by name ("" disarms). Process-wide; for tests only.
void ArmFaultPoint(const std::string& name);
void FaultPoint(const char* name);

}  // namespace kxengine

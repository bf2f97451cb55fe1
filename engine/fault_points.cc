#include "engine/fault_points.h"

#include <atomic>
#include <mutex>

namespace kxengine {
namespace {
std::atomic<bool> armed{false};
std::mutex mutex;
std::string armed_name;
}  // namespace

void ArmFaultPoint(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  armed_name = name;
  armed = !name.empty();
}

void FaultPoint(const char* name) {
  if (!armed) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (armed_name == name) {
    armed = false;
    armed_name.clear();
    throw FaultInjected(name);
  }
}

}  // namespace kxengine

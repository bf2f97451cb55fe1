// The exception that a piece of code under test is expected to throw.
#pragma once

#include <optional>
#include <utility>

namespace kx::testing {

// Runs `fn` and returns the `Error` it threw, or nothing when it threw none. Other
// exceptions pass.
template <class Error, class Fn>
std::optional<Error> Thrown(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
  } catch (const Error& error) {
    return error;
  }
  return std::nullopt;
}

}  // namespace kx::testing

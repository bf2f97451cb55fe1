// The program's version: the About box, the head of every run's record and the version
// resource (whose build reads it from this line) all show it.
#pragma once

namespace kx {

inline constexpr char kProgramVersion[] = "2.00";

}  // namespace kx

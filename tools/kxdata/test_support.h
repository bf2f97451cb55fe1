// Helpers of the data tool's tests: running the tool in-process, and the tests' support
// library (scratch folders, child processes) under the names the tests use.
#pragma once

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace kx::kxdata {

using kx::testing::ChildProcess;
using kx::testing::ReadAll;
using kx::testing::ScratchDir;

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs the tool in this process with the given arguments and standard input.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace kx::kxdata

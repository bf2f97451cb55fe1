#include "tools/kxdata/test_support.h"

#include <sstream>

#include "tools/kxdata/kxdata.h"

namespace kx::kxdata {

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  ToolRun run;
  run.code = RunKxdata(args, in, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace kx::kxdata

// The data tool as the crash test runs it: `kxdata_ending N command ...` runs the command with
// a file layer under the engine that ends the process at once at file call N (counted from
// 1), as a kill landing exactly there would. The engine itself is the tool's own.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "engine/faulty_file.h"
#include "tools/kxdata/kxdata.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  if (argc < 3) {
    std::cerr << "usage: kxdata_ending CALL COMMAND [ARGUMENTS]\n";
    return 2;
  }
  kx::engine::FaultyFileLayer layer;
  layer.EndProcessAt(std::strtoull(argv[1], nullptr, 10));
  std::vector<std::string> args(argv + 2, argv + argc);
  const int code = kx::kxdata::RunKxdata(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return code;
}

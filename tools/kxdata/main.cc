// kxdata: makes, inspects, damages and checks data folders of the rebuild utility.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kxdata/kxdata.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  int code = kx::kxdata::RunKxdata(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return code;
}

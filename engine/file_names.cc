#include "engine/file_names.h"

namespace kx::engine {

std::string IndexPathOf(const std::string& table_path) {
  size_t sep = table_path.find_last_of("/\\");
  size_t dot = table_path.find_last_of('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) {
    return table_path + ".adi";
  }
  // Keep the case style of the extension: ".ADT" gives ".ADI".
  bool upper =
      dot + 1 < table_path.size() && table_path[dot + 1] >= 'A' && table_path[dot + 1] <= 'Z';
  return table_path.substr(0, dot) + (upper ? ".ADI" : ".adi");
}

}  // namespace kx::engine

#include "tests/support/scratch_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace kx::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const unsigned salt = std::random_device()();
  for (int attempt = 0;; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() /
                               ("kx-test-" + std::to_string(stamp) + "-" + std::to_string(salt) +
                                "-" + std::to_string(counter++) + "-" + std::to_string(attempt));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = File(name);
  WriteAll(path, bytes);
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kx::testing

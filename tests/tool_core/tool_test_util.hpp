// Small helpers shared by the tool core tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tool/ini_profile.hpp"

namespace tarvo::test {

// A fresh folder under /tmp, removed with its files at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      auto candidate =
          base / ("tarvo-core-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate.string();
        break;
      }
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::string text;
  ReadTextFile(path, &text);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Bytes that differ from block to block so misplaced blocks are noticed.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 7) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

}  // namespace tarvo::test

// Driver for fuzz targets when libFuzzer is not available (gcc builds):
// feeds the target seeded random inputs and byte-level mutations of earlier
// inputs for -max_total_time=N seconds (default 3). Files and folders named
// on the command line are run first and then serve as starting points of the
// mutations, as libFuzzer's corpus folders do. Deterministic for a given
// -seed=N.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// A folder stands for the regular files directly in it, in name order.
void AddInputs(const std::string& arg, std::vector<std::string>& files) {
  std::error_code ec;
  if (!std::filesystem::is_directory(arg, ec)) {
    files.push_back(arg);
    return;
  }
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
    if (entry.is_regular_file(ec)) found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 3;
  unsigned seed = 1;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-max_total_time=", 16) == 0)
      seconds = std::atoi(argv[i] + 16);
    else if (std::strncmp(argv[i], "-seed=", 6) == 0)
      seed = static_cast<unsigned>(std::atoi(argv[i] + 6));
    else if (argv[i][0] != '-')
      AddInputs(argv[i], files);
  }
  std::vector<std::vector<uint8_t>> seeds;
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    if (!bytes.empty()) seeds.push_back(std::move(bytes));
  }
  std::mt19937 rng(seed);
  std::vector<uint8_t> input;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  unsigned long runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int k = 0; k < 256; ++k, ++runs) {
      if (!seeds.empty() && rng() % 8 == 0) {
        input = seeds[rng() % seeds.size()];
      } else if (input.empty() || rng() % 8 == 0) {
        input.resize(rng() % 512);
        for (auto& b : input) b = static_cast<uint8_t>(rng());
      } else {
        size_t edits = 1 + rng() % 4;
        for (size_t e = 0; e < edits; ++e) {
          switch (rng() % 4) {
            case 0:
              input[rng() % input.size()] = static_cast<uint8_t>(rng());
              break;
            case 1:
              input.insert(input.begin() + static_cast<long>(rng() % (input.size() + 1)),
                           static_cast<uint8_t>(rng()));
              break;
            case 2:
              if (input.size() > 1)
                input.erase(input.begin() + static_cast<long>(rng() % input.size()));
              break;
            default:
              input.resize(rng() % (input.size() + 8));
              break;
          }
          if (input.empty()) break;
        }
      }
      LLVMFuzzerTestOneInput(input.data(), input.size());
    }
  }
  std::printf("fuzz: %lu runs, no failure\n", runs);
  return 0;
}

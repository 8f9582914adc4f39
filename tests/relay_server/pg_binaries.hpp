// Where PostgreSQL's programs are, for the throwaway servers the tests and
// the benchmarks start, and the end of a log of theirs for a message.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zv::test {

// TARVO_PG_BINDIR, else Debian's newest /usr/lib/postgresql/<version>/bin
// with initdb and pg_ctl; "" when there is none.
inline std::string FindPostgresBinDir() {
  namespace fs = std::filesystem;
  if (const char* dir = std::getenv("TARVO_PG_BINDIR"); dir && *dir) return dir;
  std::string best;
  int best_version = -1;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    if (!fs::exists(entry.path() / "bin" / "initdb") || !fs::exists(entry.path() / "bin/pg_ctl"))
      continue;
    const int v = std::atoi(entry.path().filename().string().c_str());
    if (v > best_version) {
      best_version = v;
      best = (entry.path() / "bin").string();
    }
  }
  return best;
}

// The last 600 bytes of a file.
inline std::string FileTail(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  return s.size() > 600 ? s.substr(s.size() - 600) : s;
}

}  // namespace zv::test

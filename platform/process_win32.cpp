// Windows implementation of platform/process.hpp.
//
// Paths handed out use '/' as on POSIX, which every Windows file call accepts,
// so the tool splits and joins them the same way on both systems.
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdlib>
#include <iostream>

#include "platform/process.hpp"

namespace tarvo::platform {
namespace {

std::string ForwardSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

std::string ExecutablePath() {
  char buf[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return ForwardSlashes(std::string(buf, n));
}

std::string ExecutableDir() {
  std::string p = ExecutablePath();
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

bool SetCurrentDir(const std::string& dir) {
  return SetCurrentDirectoryA(dir.c_str()) != 0;
}

std::string CurrentDir() {
  char buf[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  return ForwardSlashes(std::string(buf, n));
}

bool FileModificationTime(const std::string& path, std::time_t* out) {
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return false;
  *out = static_cast<std::time_t>(st.st_mtime);
  return true;
}

bool IsFileWritable(const std::string& path) {
  return _access(path.c_str(), 2) == 0;
}

// The read-only attribute of a folder does not stop files being made in it,
// so the test is to make (and remove) one.
bool IsDirectoryWritable(const std::string& dir) {
  std::string folder = dir.empty() ? std::string(".") : dir;
  char name[MAX_PATH + 1];
  if (GetTempFileNameA(folder.c_str(), "trv", 0, name) == 0) return false;
  DeleteFileA(name);
  return true;
}

bool MakeDirectories(const std::string& dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    bool separator = i < dir.size() && (dir[i] == '/' || dir[i] == '\\');
    if ((i == dir.size() || separator) && !partial.empty() && partial.back() != ':') {
      if (!CreateDirectoryA(partial.c_str(), nullptr)) {
        DWORD a = GetFileAttributesA(partial.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
      }
    }
    if (i < dir.size()) partial.push_back(dir[i]);
  }
  return true;
}

std::string EnvironmentVariable(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string UserConfigDir() {
  return ForwardSlashes(EnvironmentVariable("APPDATA"));
}

bool PathsIgnoreCase() {
  return true;
}

bool IsTerminal(int stream) {
  return _isatty(stream) != 0;
}

bool ReadHiddenLine(std::string* out) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD old = 0;
  bool console = GetConsoleMode(in, &old) != 0;
  if (console) SetConsoleMode(in, old & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  bool ok = static_cast<bool>(std::getline(std::cin, *out));
  if (console) {
    SetConsoleMode(in, old);
    std::cerr << '\n';
  }
  if (ok && !out->empty() && out->back() == '\r') out->pop_back();
  return ok;
}

}  // namespace tarvo::platform

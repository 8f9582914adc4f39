// POSIX implementation of platform/process.hpp.
#include <limits.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "platform/process.hpp"

namespace tarvo::platform {

std::string ExecutablePath() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return std::string();
  buf[n] = 0;
  return buf;
}

std::string ExecutableDir() {
  std::string p = ExecutablePath();
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

bool SetCurrentDir(const std::string& dir) {
  return chdir(dir.c_str()) == 0;
}

std::string CurrentDir() {
  char buf[PATH_MAX + 1];
  if (getcwd(buf, sizeof buf) == nullptr) return std::string();
  return buf;
}

bool FileModificationTime(const std::string& path, std::time_t* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *out = st.st_mtime;
  return true;
}

bool IsFileWritable(const std::string& path) {
  return access(path.c_str(), W_OK) == 0;
}

bool IsDirectoryWritable(const std::string& dir) {
  return access(dir.c_str(), W_OK) == 0;
}

bool MakeDirectories(const std::string& dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
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
  std::string dir = EnvironmentVariable("XDG_CONFIG_HOME");
  return dir.empty() ? EnvironmentVariable("HOME") + "/.config" : dir;
}

bool PathsIgnoreCase() {
  return false;
}

bool IsTerminal(int stream) {
  return isatty(stream) == 1;
}

bool ReadHiddenLine(std::string* out) {
  termios old{};
  bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  bool ok = static_cast<bool>(std::getline(std::cin, *out));
  if (tty) {
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cerr << '\n';
  }
  return ok;
}

}  // namespace tarvo::platform

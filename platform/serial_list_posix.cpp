// POSIX implementation of platform/serial_list.hpp: /dev, /sys/class/tty
// and the /dev/serial/by-id links that udev makes.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>

#include "platform/serial_list.hpp"

namespace tarvo::platform {
namespace {

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    closedir(d);
  }
  return out;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// "ttyUSB12" -> kind 1, number 12; -1 for names that are no serial device.
int KindOf(const std::string& name, long* number) {
  static const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
  for (int k = 0; k < 3; ++k) {
    std::string prefix = kPrefixes[k];
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) continue;
    char* end = nullptr;
    *number = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (*end == 0) return k;
  }
  return -1;
}

}  // namespace

std::vector<SerialDeviceInfo> ListSerialDevices() {
  // Stable names point at the devices they stand for.
  std::map<std::string, std::vector<std::string>> by_id;
  const std::string links = "/dev/serial/by-id";
  for (const std::string& name : Entries(links)) {
    char resolved[PATH_MAX];
    if (realpath((links + "/" + name).c_str(), resolved)) by_id[resolved].push_back(name);
  }
  struct Found {
    int kind;
    long number;
    std::string path;
  };
  std::vector<Found> found;
  for (const std::string& name : Entries("/dev")) {
    long number = 0;
    int kind = KindOf(name, &number);
    if (kind < 0) continue;
    // ttyS names exist whether or not a port is behind them.
    if (kind == 0 && !Exists("/sys/class/tty/" + name + "/device")) continue;
    found.push_back({kind, number, "/dev/" + name});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
  });
  std::vector<SerialDeviceInfo> out;
  for (const Found& f : found) {
    SerialDeviceInfo info{f.path, by_id[f.path]};
    std::sort(info.by_id.begin(), info.by_id.end());
    out.push_back(info);
  }
  return out;
}

}  // namespace tarvo::platform

// One disk of the simulated controller: an ordered directory of files with a
// fixed capacity, in memory, optionally mirrored to a host folder so that its
// contents survive a restart of the simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/remote_name.hpp"

namespace tarvo::sim {

// Creation time of a file, as the controller keeps it.
struct FileDate {
  uint8_t year = 0;  // two digits, years since 2000 (or 1900 for 19xx)
  uint8_t month = 1;
  uint8_t day = 1;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};

struct SimFile {
  std::string name;
  std::string type;
  bool has_dot = true;
  FileDate date;
  std::vector<uint8_t> data;

  std::string Joined() const { return has_dot ? name + "." + type : name; }
};

class SimDisk {
 public:
  SimDisk(uint8_t number, uint32_t capacity) : number_(number), capacity_(capacity) {}

  // Mirrors the disk in `folder` (created when missing): files already
  // listed there are loaded, and every later change is written through.
  // The folder holds "directory.txt", which keeps the order and dates of the
  // files, and a folder "files" with one host file per disk file. 1, or 0 when the folder cannot be
  // used.
  int AttachFolder(const std::string& folder);

  uint8_t number() const { return number_; }
  uint32_t capacity() const { return capacity_; }
  void set_capacity(uint32_t bytes) { capacity_ = bytes; }
  const std::vector<SimFile>& files() const { return files_; }
  // Position of the file in the directory, or -1.
  int Find(const std::string& name, const std::string& type, bool has_dot) const;
  uint64_t UsedBytes() const;
  // Capacity minus the bytes stored (0 when over-full).
  uint32_t FreeSpace() const;
  // Whether `size` bytes fit, counting the space of a file of that name that
  // the new one would replace.
  bool HasRoomFor(const RemoteName& target, uint64_t size) const;

  // Stores a file, replacing one of the same name in its place in the
  // directory, or appending it. 1, or 0 when it does not fit or cannot be
  // written to the folder.
  int Store(SimFile file);
  // 1 when a file of that name was removed, 0 when there was none.
  int Remove(const RemoteName& target);
  // Removes every file. 1, or 0 when the folder could not be cleared.
  int Format();

 private:
  int SaveDirectory() const;
  std::string HostPath(const SimFile& f) const;

  uint8_t number_;
  uint32_t capacity_;
  std::vector<SimFile> files_;
  std::string folder_;
};

}  // namespace tarvo::sim

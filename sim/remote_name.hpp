// Names of files on the controller's disks: "NAME.TYPE" on the user disk,
// "S:NAME.TYPE" on the system disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::sim {

// Widths of the name and type fields of a directory entry, terminating zero
// included.
inline constexpr size_t kNameField = 32;
inline constexpr size_t kTypeField = 18;

struct RemoteName {
  uint8_t disk = 1;  // 0 system, 1 user
  std::string name;  // before the last dot
  std::string type;  // after the last dot ("" when there is none)
  bool has_dot = false;

  // The name as the disk stores it: name, dot, type.
  std::string Joined() const { return has_dot ? name + "." + type : name; }
};

// Splits and checks a name. Refused: an empty name part, a name or type too
// long for its directory field, control characters, path separators, a colon
// after the disk prefix, and names made only of dots (which would be folder
// references in a disk kept in a host folder). True when valid.
bool ParseRemoteName(const std::string& text, RemoteName* out);
// Same check for a name without disk prefix, as stored in a host folder.
bool ParseStoredName(const std::string& joined, uint8_t disk, RemoteName* out);

// Text of a zero-terminated field that must end inside the `size` bytes at
// `p`. False when no terminating zero is there (a request cut short).
bool ReadTerminatedText(const uint8_t* p, size_t size, std::string* out);

}  // namespace tarvo::sim

// The controller's 64-byte file record (directory pages and file info) and
// the 7-byte time stamp block of the file-creating requests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/wire.hpp"
#include "sim/sim_disk.hpp"

namespace tarvo::sim {

inline constexpr size_t kDirectoryEntrySize = 64;
inline constexpr size_t kTimeStampSize = 7;

// Layout: 0 name (32, zero-terminated), 32 type (18), 50 second, 51 minute,
// 52 hour, 53 zero, 54 day, 55 month, 56 two-digit year, 57-59 zero,
// 60 size (32-bit little-endian).
void PutDirectoryEntry(wire::Writer& w, const SimFile& file);
// An all-zero record (no such file).
void PutEmptyDirectoryEntry(wire::Writer& w);

// The time stamp block: hour, minute, second, year (years since 1900, less
// 100 after 2000), month, day, reserved. The stored year keeps two digits.
FileDate DecodeTimeStamp(const uint8_t* block);

}  // namespace tarvo::sim

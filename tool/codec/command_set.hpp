// The controller command set as data: command codes, disks, limits, reply
// capacities, and the records commands carry (time stamp, 64-byte file
// record, controller type, version words). Pure declarations for the
// request builders and reply parsers; the commands that run them over a
// link are in tool/protocol/commands.hpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.hpp"

namespace tarvo {

enum class ControllerCommand : uint8_t {
  kEraseBootSector = 0x17,
  kWriteBootData = 0x19,
  kFormatDisk = 0x26,
  kListFiles = 0x28,
  kGetFreeSpace = 0x29,
  kDeleteFile = 0x2C,
  kResetController = 0x2D,
  kGetControllerType = 0x2E,
  kCreateStreamFile = 0x30,
  kWriteStreamData = 0x32,
  kFinishStreamFile = 0x33,
  kOpenFileForRead = 0x35,
  kReadFileData = 0x36,
  kGetFileInfo = 0x37,
  kCloseFile = 0x38,
  kGetVersions = 0x4B,
  kCreateBlockFile = 0x50,
  kWriteFileBlock = 0x51,
  kGetMissingBlocks = 0x52,
  kSetScreenConfig = 0x71,
  kReadScreenConfig = 0x72,
};

// Disk numbers.
inline constexpr uint8_t kSystemDisk = 0;  // "System Disk: Font files and configuration files "
inline constexpr uint8_t kUserDisk = 1;    // "User Disk: Program data files"

// Limits of the requests.
inline constexpr size_t kMaxDataLength = 2048;  // WriteStreamData, ReadFileData, WriteFileBlock
inline constexpr size_t kMaxScreenRecordLength = 293;  // SetScreenConfig
inline constexpr size_t kBootDataSize = 256;           // WriteBootData always sends 256 bytes
inline constexpr size_t kMaxFileNameLength = 255;      // longer names are not sent
inline constexpr size_t kListPageFull = 4;             // a page of 4 entries asks for the next page
inline constexpr size_t kMissingBlocksSize = 72;       // up to 36 block numbers

// Reply capacities (the size of the buffer handed to ReceivePacket).
inline constexpr size_t kCapacity100 = 100, kCapacity200 = 200, kCapacity300 = 300,
                        kCapacity600 = 600, kCapacity2048 = 2048;

// The 7-byte time stamp block of CreateStreamFile and CreateBlockFile.
struct TimeStamp {
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint8_t year = 0;  // years since 1900, minus 100 when above 100 (2012 -> 12, 2000 -> 100)
  uint8_t month = 0;
  uint8_t day = 0;
};
inline constexpr size_t kTimeStampSize = 7;
TimeStamp MakeTimeStamp(const platform::CalendarTime& local);
// Time stamp of a file's modification time in local time; false when the
// file cannot be read.
bool FileTimeStamp(const std::string& path, TimeStamp* out);
void PutTimeStamp(uint8_t* out, const TimeStamp& stamp);

// The controller's 64-byte file record.
struct DirectoryEntry {
  static constexpr size_t kSize = 64;
  std::string name;  // before the dot, up to 31 characters
  std::string type;  // the extension, up to 17 characters
  uint8_t minute = 0;
  uint8_t hour = 0;
  uint8_t day = 0;
  uint8_t month = 0;
  uint8_t year = 0;  // years since 2000
  uint32_t size = 0;
};
// Reads one record from `size` bytes; false when fewer than 64.
bool DecodeDirectoryEntry(const uint8_t* bytes, size_t size, DirectoryEntry* out);
// Writes one record (64 bytes; unread bytes zero, texts cut to their fields).
void EncodeDirectoryEntry(const DirectoryEntry& entry, uint8_t* out);

// GetControllerType's outputs.
struct ControllerTypeInfo {
  uint8_t model = 0;
  uint8_t b = 0;
  uint32_t c = 0;
  uint32_t d = 0;
};
// "Tarvo-A" ... "Tarvo-E/D", "Unknown" for other codes.
const char* ControllerModelName(uint8_t model);

// GetVersions' seven words: boot loader, logic, BIOS, application, scan
// firmware, network firmware, unused.
using VersionWords = std::array<uint32_t, 7>;

}  // namespace tarvo

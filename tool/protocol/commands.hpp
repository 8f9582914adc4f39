// The controller command set. Each command builds one request packet from
// the address bytes of the open link, sends it, receives the reply into a
// buffer of the command's capacity and returns a few of its fields. Commands
// never open or close the link, never retry and show nothing.
//
// No-reply values: 0 for most commands, 255 for CreateStreamFile,
// CreateBlockFile and OpenFileForRead, 0xFFFF for GetFileInfo and
// GetMissingBlocks. A reply for another command, one too short for the
// fields the command reads, or one that fails the packet check where the
// command applies it counts as no reply; outputs are then left untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.hpp"

namespace tarvo {

class ConnectionManager;

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

uint8_t EraseBootSector(ConnectionManager& link, uint32_t address);
// `data` holds 256 bytes (the caller pads the image with 0xFF); `count` of
// them are valid.
uint8_t WriteBootData(ConnectionManager& link, const uint8_t* data, uint32_t offset,
                      uint16_t count);
uint8_t FormatDisk(ConnectionManager& link, uint8_t disk);
// One directory page. When the count is above 0, `destination` receives the
// reply's last index (2 bytes) and the entries (64 each), as far as
// `destination_size` holds them.
uint16_t ListFiles(ConnectionManager& link, uint16_t first_index, uint8_t* destination,
                   size_t destination_size, uint8_t disk);
uint32_t GetFreeSpace(ConnectionManager& link, uint8_t disk);
// `name` is "name.type", with "S:" in front for the system disk.
uint8_t DeleteFile(ConnectionManager& link, const std::string& name);
uint8_t ResetController(ConnectionManager& link);
uint8_t GetControllerType(ConnectionManager& link, ControllerTypeInfo* info);
uint8_t GetVersions(ConnectionManager& link, VersionWords* words);
// 1 ready, 253 not yet ready (wait 500 ms and ask again), 255 no reply.
uint8_t CreateStreamFile(ConnectionManager& link, const std::string& name, const std::string& mode,
                         const TimeStamp& stamp, uint32_t size, int delay_ms);
uint16_t WriteStreamData(ConnectionManager& link, const uint8_t* data, uint16_t length,
                         int delay_ms);
// 1 stored, 255 the controller's sum differs.
uint16_t FinishStreamFile(ConnectionManager& link, uint16_t sum, int delay_ms);
// The file handle (255: cannot be opened or no reply); sets `index`.
uint8_t OpenFileForRead(ConnectionManager& link, const std::string& name, const std::string& mode,
                        uint16_t* index);
// Copies at most `length` bytes to `destination` (room for `length`).
uint16_t ReadFileData(ConnectionManager& link, uint8_t* destination, uint16_t length,
                      uint8_t handle);
// Copies the 64-byte entry to `destination` unless the result is 0xFFFF.
uint16_t GetFileInfo(ConnectionManager& link, uint8_t* destination, uint16_t index, uint8_t disk);
uint16_t CloseFile(ConnectionManager& link, uint8_t handle);
// 1 ready for blocks, 255 no reply.
uint8_t CreateBlockFile(ConnectionManager& link, const std::string& name, const std::string& mode,
                        const TimeStamp& stamp, uint32_t size);
// With answer false nothing is received and the result is 0.
uint16_t WriteFileBlock(ConnectionManager& link, const uint8_t* data, uint16_t length,
                        uint16_t block_number, uint16_t block_size, bool answer);
// Blocks still missing (0 = complete); copies 72 bytes of block numbers to
// `destination`. `kind` is the transfer's operation kind (1 = file to a disk).
uint16_t GetMissingBlocks(ConnectionManager& link, uint16_t block_count, uint8_t* destination,
                          uint8_t kind);
uint8_t SetScreenConfig(ConnectionManager& link, const uint8_t* record, size_t length);
// Copies the reply from byte 5 on (checksum included), at most `capacity`
// bytes; returns the count, 0 on failure.
size_t ReadScreenConfig(ConnectionManager& link, uint8_t* destination, size_t capacity,
                        uint8_t selector);

}  // namespace tarvo

// The controller's command codes (byte 3 of a request, repeated in its reply)
// and the result bytes this controller answers with.
#pragma once

#include <cstdint>

namespace tarvo::sim {

enum Command : uint8_t {
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

// Result bytes.
inline constexpr uint8_t kResultFailed = 0;
inline constexpr uint8_t kResultOk = 1;
// FinishStreamFile: nothing open, or fewer/more bytes than announced.
inline constexpr uint8_t kResultIncomplete = 2;
// CreateStreamFile: busy, ask again later.
inline constexpr uint8_t kResultNotReady = 253;
// FinishStreamFile: the data sum differs; OpenFileForRead: cannot open.
inline constexpr uint8_t kResultSumError = 255;
inline constexpr uint8_t kNoHandle = 255;

// Disk numbers.
inline constexpr uint8_t kSystemDisk = 0;
inline constexpr uint8_t kUserDisk = 1;

}  // namespace tarvo::sim

// Request packets of the command set, built as pure functions of the address
// bytes and the arguments. Each returns the whole packet with its checksum,
// or an empty vector when the arguments cannot be sent (a data length above
// its limit, a file name too long or holding a zero byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/codec/command_set.hpp"

namespace tarvo {

// Address bytes 1 and 2 of every request.
struct RequestAddress {
  uint8_t type_code = 0;
  uint8_t controller_id = 0;
};

using Bytes = std::vector<uint8_t>;

Bytes BuildEraseBootSector(RequestAddress a, uint32_t address);
Bytes BuildWriteBootData(RequestAddress a, const uint8_t* data, uint32_t offset, uint16_t count);
Bytes BuildFormatDisk(RequestAddress a, uint8_t disk);
Bytes BuildListFiles(RequestAddress a, uint16_t first_index, uint8_t disk);
Bytes BuildGetFreeSpace(RequestAddress a, uint8_t disk);
Bytes BuildDeleteFile(RequestAddress a, const std::string& name);
Bytes BuildResetController(RequestAddress a);
Bytes BuildGetControllerType(RequestAddress a);
Bytes BuildGetVersions(RequestAddress a);
Bytes BuildCreateFile(RequestAddress a, ControllerCommand command, const std::string& name,
                      const std::string& mode, const TimeStamp& stamp, uint32_t size);
Bytes BuildWriteStreamData(RequestAddress a, const uint8_t* data, size_t length);
Bytes BuildFinishStreamFile(RequestAddress a, uint16_t sum);
Bytes BuildOpenFileForRead(RequestAddress a, const std::string& name, const std::string& mode);
Bytes BuildReadFileData(RequestAddress a, uint16_t length, uint8_t handle);
Bytes BuildGetFileInfo(RequestAddress a, uint16_t index, uint8_t disk);
Bytes BuildCloseFile(RequestAddress a, uint8_t handle);
Bytes BuildWriteFileBlock(RequestAddress a, const uint8_t* data, size_t length,
                          uint16_t block_number, uint16_t block_size, bool answer);
Bytes BuildGetMissingBlocks(RequestAddress a, uint16_t block_count, uint8_t kind);
Bytes BuildSetScreenConfig(RequestAddress a, const uint8_t* record, size_t length);
Bytes BuildReadScreenConfig(RequestAddress a, uint8_t selector);

}  // namespace tarvo

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

#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/codec/command_set.hpp"

namespace tarvo {

class ConnectionManager;

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

// Reply parsers of the command set: pure functions of the reply bytes (as
// ReceivePacket returned them, `length` of them) that give the command's
// result and fill its outputs. A reply whose byte 3 names another command,
// or that is too short for the fields read, gives the command's no-reply
// value and leaves the outputs untouched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tool/codec/command_set.hpp"

namespace tarvo {

// Reply byte 5, or `no_reply`.
uint8_t ParseResultByte(const uint8_t* reply, size_t length, ControllerCommand command,
                        uint8_t no_reply);
// Reply byte 5 when the packet check passes, else 0 (ResetController,
// SetScreenConfig).
uint8_t ParseCheckedResultByte(const uint8_t* reply, size_t length, ControllerCommand command);

uint16_t ParseListFilesReply(const uint8_t* reply, size_t length, uint8_t* destination,
                             size_t destination_size);
uint32_t ParseGetFreeSpaceReply(const uint8_t* reply, size_t length);
uint8_t ParseGetControllerTypeReply(const uint8_t* reply, size_t length, ControllerTypeInfo* info);
uint8_t ParseGetVersionsReply(const uint8_t* reply, size_t length, VersionWords* words);
uint8_t ParseOpenFileForReadReply(const uint8_t* reply, size_t length, uint16_t* index);
uint16_t ParseReadFileDataReply(const uint8_t* reply, size_t length, uint8_t* destination,
                                uint16_t wanted);
uint16_t ParseGetFileInfoReply(const uint8_t* reply, size_t length, uint8_t* destination);
uint16_t ParseGetMissingBlocksReply(const uint8_t* reply, size_t length, uint8_t* destination);
size_t ParseReadScreenConfigReply(const uint8_t* reply, size_t length, uint8_t* destination,
                                  size_t capacity);

}  // namespace tarvo

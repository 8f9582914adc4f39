#include "tool/codec/command_replies.hpp"

#include <algorithm>
#include <cstring>

#include "common/wire.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

constexpr size_t kResultOffset = 5;
constexpr size_t kChecksumSize = 2;

// A reply to `command` that holds at least `needed` bytes (at least the
// result byte).
bool ReplyTo(const uint8_t* reply, size_t length, ControllerCommand command, size_t needed) {
  if (reply == nullptr || length < std::max(needed, kResultOffset + 1)) return false;
  return reply[kOffCommand] == static_cast<uint8_t>(command);
}

}  // namespace

uint8_t ParseResultByte(const uint8_t* reply, size_t length, ControllerCommand command,
                        uint8_t no_reply) {
  if (!ReplyTo(reply, length, command, kResultOffset + 1)) return no_reply;
  return reply[kResultOffset];
}

uint8_t ParseCheckedResultByte(const uint8_t* reply, size_t length, ControllerCommand command) {
  if (!ReplyTo(reply, length, command, kResultOffset + 1) || !CheckPacket(reply, length)) return 0;
  return reply[kResultOffset];
}

uint16_t ParseListFilesReply(const uint8_t* reply, size_t length, uint8_t* destination,
                             size_t destination_size) {
  if (!ReplyTo(reply, length, ControllerCommand::kListFiles, 10)) return 0;
  const uint16_t count = wire::GetLe16(reply + 6);
  if (count == 0) return 0;
  // The page must hold every entry it announces.
  const size_t page = 2 + DirectoryEntry::kSize * static_cast<size_t>(count);
  if (length < 8 + page) return 0;
  const size_t copy = std::min(page, destination_size);
  if (copy > 0) std::memcpy(destination, reply + 8, copy);
  return count;
}

uint32_t ParseGetFreeSpaceReply(const uint8_t* reply, size_t length) {
  if (!ReplyTo(reply, length, ControllerCommand::kGetFreeSpace, 10)) return 0;
  return reply[kResultOffset] != 0 ? wire::GetLe32(reply + 6) : 0;
}

uint8_t ParseGetControllerTypeReply(const uint8_t* reply, size_t length, ControllerTypeInfo* info) {
  if (!ReplyTo(reply, length, ControllerCommand::kGetControllerType, kResultOffset + 1)) return 0;
  if (length >= 16 && CheckPacket(reply, length)) {
    info->model = reply[6];
    info->b = reply[7];
    info->c = wire::GetLe32(reply + 8);
    info->d = wire::GetLe32(reply + 12);
  }
  return reply[kResultOffset];
}

uint8_t ParseGetVersionsReply(const uint8_t* reply, size_t length, VersionWords* words) {
  if (!ReplyTo(reply, length, ControllerCommand::kGetVersions, kResultOffset + 1)) return 0;
  if (length >= 6 + 4 * words->size() && CheckPacket(reply, length)) {
    for (size_t i = 0; i < words->size(); ++i) (*words)[i] = wire::GetLe32(reply + 6 + 4 * i);
  }
  return reply[kResultOffset];
}

uint8_t ParseOpenFileForReadReply(const uint8_t* reply, size_t length, uint16_t* index) {
  if (!ReplyTo(reply, length, ControllerCommand::kOpenFileForRead, 8)) return 255;
  *index = wire::GetLe16(reply + 6);
  return reply[kResultOffset];
}

uint16_t ParseReadFileDataReply(const uint8_t* reply, size_t length, uint8_t* destination,
                                uint16_t wanted) {
  if (!ReplyTo(reply, length, ControllerCommand::kReadFileData, 7) || !CheckPacket(reply, length)) {
    return 0;
  }
  const uint16_t count = wire::GetLe16(reply + 5);
  // More than was asked for, or more than the reply carries, is a broken
  // reply: taking part of it would silently lose file bytes.
  if (count > wanted || 7 + static_cast<size_t>(count) + kChecksumSize > length) return 0;
  std::memcpy(destination, reply + 7, count);
  return count;
}

uint16_t ParseGetFileInfoReply(const uint8_t* reply, size_t length, uint8_t* destination) {
  if (!ReplyTo(reply, length, ControllerCommand::kGetFileInfo, 7)) return 0xFFFF;
  const uint16_t value = wire::GetLe16(reply + 5);
  if (value == 0xFFFF) return value;
  if (length < 7 + DirectoryEntry::kSize) return 0xFFFF;
  std::memcpy(destination, reply + 7, DirectoryEntry::kSize);
  return value;
}

uint16_t ParseGetMissingBlocksReply(const uint8_t* reply, size_t length, uint8_t* destination) {
  if (!ReplyTo(reply, length, ControllerCommand::kGetMissingBlocks, kResultOffset + 1)) {
    return 0xFFFF;
  }
  const uint8_t missing = reply[kResultOffset];
  const size_t listed = std::min<size_t>(missing, kMissingBlocksSize / 2);
  if (length < 6 + 2 * listed) return 0xFFFF;
  const size_t copy = std::min(kMissingBlocksSize, length - 6);
  std::memset(destination, 0, kMissingBlocksSize);
  std::memcpy(destination, reply + 6, copy);
  return missing;
}

size_t ParseReadScreenConfigReply(const uint8_t* reply, size_t length, uint8_t* destination,
                                  size_t capacity) {
  if (!ReplyTo(reply, length, ControllerCommand::kReadScreenConfig, kResultOffset + 1) ||
      !CheckPacket(reply, length)) {
    return 0;
  }
  const size_t count = std::min(length - kResultOffset, capacity);
  if (count > 0) std::memcpy(destination, reply + kResultOffset, count);
  return count;
}

}  // namespace tarvo

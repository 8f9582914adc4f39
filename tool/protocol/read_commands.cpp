// Commands that read a file from a disk: open, data, file record, close.
#include "tool/codec/command_replies.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/command_exchange.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {

uint8_t OpenFileForRead(ConnectionManager& link, const std::string& name, const std::string& mode,
                        uint16_t* index) {
  Bytes reply;
  size_t n =
      Exchange(link, BuildOpenFileForRead(AddressOf(link), name, mode), 0, &reply, kCapacity600);
  uint16_t scratch = 0;
  return ParseOpenFileForReadReply(reply.data(), n, index ? index : &scratch);
}

uint16_t ReadFileData(ConnectionManager& link, uint8_t* destination, uint16_t length,
                      uint8_t handle) {
  if (length > kMaxDataLength || destination == nullptr) return 0;
  Bytes reply;
  size_t n =
      Exchange(link, BuildReadFileData(AddressOf(link), length, handle), 0, &reply, kCapacity2048);
  return ParseReadFileDataReply(reply.data(), n, destination, length);
}

uint16_t GetFileInfo(ConnectionManager& link, uint8_t* destination, uint16_t index, uint8_t disk) {
  if (destination == nullptr) return 0xFFFF;
  Bytes reply;
  size_t n =
      Exchange(link, BuildGetFileInfo(AddressOf(link), index, disk), 0, &reply, kCapacity600);
  return ParseGetFileInfoReply(reply.data(), n, destination);
}

uint16_t CloseFile(ConnectionManager& link, uint8_t handle) {
  Bytes reply;
  size_t n = Exchange(link, BuildCloseFile(AddressOf(link), handle), 0, &reply, kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kCloseFile, 0);
}

}  // namespace tarvo

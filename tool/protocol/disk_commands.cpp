// Commands about a disk as a whole: format, directory pages, free space,
// deleting a file.
#include "tool/codec/command_replies.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/command_exchange.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {

uint8_t FormatDisk(ConnectionManager& link, uint8_t disk) {
  Bytes reply;
  size_t n = Exchange(link, BuildFormatDisk(AddressOf(link), disk), 0, &reply, kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kFormatDisk, 0);
}

uint16_t ListFiles(ConnectionManager& link, uint16_t first_index, uint8_t* destination,
                   size_t destination_size, uint8_t disk) {
  if (destination == nullptr) destination_size = 0;
  Bytes reply;
  size_t n =
      Exchange(link, BuildListFiles(AddressOf(link), first_index, disk), 0, &reply, kCapacity600);
  return ParseListFilesReply(reply.data(), n, destination, destination_size);
}

uint32_t GetFreeSpace(ConnectionManager& link, uint8_t disk) {
  Bytes reply;
  size_t n = Exchange(link, BuildGetFreeSpace(AddressOf(link), disk), 0, &reply, kCapacity100);
  return ParseGetFreeSpaceReply(reply.data(), n);
}

uint8_t DeleteFile(ConnectionManager& link, const std::string& name) {
  Bytes reply;
  size_t n = Exchange(link, BuildDeleteFile(AddressOf(link), name), 0, &reply, kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kDeleteFile, 0);
}

}  // namespace tarvo

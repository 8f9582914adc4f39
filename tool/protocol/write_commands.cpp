// Commands that write a file to a disk: the stream transfer (create, data,
// finish) and the numbered-block transfer (create, blocks, missing blocks).
#include "tool/codec/command_replies.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"
#include "tool/protocol/command_exchange.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {

uint8_t CreateStreamFile(ConnectionManager& link, const std::string& name, const std::string& mode,
                         const TimeStamp& stamp, uint32_t size, int delay_ms) {
  Bytes reply;
  Bytes request = BuildCreateFile(AddressOf(link), ControllerCommand::kCreateStreamFile, name, mode,
                                  stamp, size);
  size_t n = Exchange(link, request, delay_ms, &reply, kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kCreateStreamFile, 255);
}

uint16_t WriteStreamData(ConnectionManager& link, const uint8_t* data, uint16_t length,
                         int delay_ms) {
  if (length > kMaxDataLength || (data == nullptr && length > 0)) return 0;
  Bytes reply;
  size_t n = Exchange(link, BuildWriteStreamData(AddressOf(link), data, length), delay_ms, &reply,
                      kCapacity2048);
  return ParseResultByte(reply.data(), n, ControllerCommand::kWriteStreamData, 0);
}

uint16_t FinishStreamFile(ConnectionManager& link, uint16_t sum, int delay_ms) {
  Bytes reply;
  size_t n =
      Exchange(link, BuildFinishStreamFile(AddressOf(link), sum), delay_ms, &reply, kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kFinishStreamFile, 0);
}

uint8_t CreateBlockFile(ConnectionManager& link, const std::string& name, const std::string& mode,
                        const TimeStamp& stamp, uint32_t size) {
  Bytes reply;
  Bytes request = BuildCreateFile(AddressOf(link), ControllerCommand::kCreateBlockFile, name, mode,
                                  stamp, size);
  size_t n = Exchange(link, request, 0, &reply, kCapacity300);
  return ParseResultByte(reply.data(), n, ControllerCommand::kCreateBlockFile, 255);
}

uint16_t WriteFileBlock(ConnectionManager& link, const uint8_t* data, uint16_t length,
                        uint16_t block_number, uint16_t block_size, bool answer) {
  if (length > kMaxDataLength || (data == nullptr && length > 0)) return 0;
  Bytes request =
      BuildWriteFileBlock(AddressOf(link), data, length, block_number, block_size, answer);
  if (!answer) {
    // An unanswered block: nothing is read from the link.
    SendPacket(link, request.data(), request.size());
    return 0;
  }
  Bytes reply;
  size_t n = Exchange(link, request, 0, &reply, kCapacity2048);
  return ParseResultByte(reply.data(), n, ControllerCommand::kWriteFileBlock, 0);
}

uint16_t GetMissingBlocks(ConnectionManager& link, uint16_t block_count, uint8_t* destination,
                          uint8_t kind) {
  if (destination == nullptr) return 0xFFFF;
  const int wait = kind == 1 ? link.command_timing.missing_blocks_file_wait_ms
                             : link.command_timing.missing_blocks_firmware_wait_ms;
  Bytes reply;
  size_t n = Exchange(link, BuildGetMissingBlocks(AddressOf(link), block_count, kind), wait, &reply,
                      kCapacity600);
  return ParseGetMissingBlocksReply(reply.data(), n, destination);
}

}  // namespace tarvo

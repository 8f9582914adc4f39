// Commands about the controller itself: model, versions, reset, screen
// configuration and the boot-loader sector.
#include "tool/codec/command_replies.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/command_exchange.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {

uint8_t EraseBootSector(ConnectionManager& link, uint32_t address) {
  Bytes reply;
  size_t n =
      Exchange(link, BuildEraseBootSector(AddressOf(link), address), 0, &reply, kCapacity300);
  return ParseResultByte(reply.data(), n, ControllerCommand::kEraseBootSector, 0);
}

uint8_t WriteBootData(ConnectionManager& link, const uint8_t* data, uint32_t offset,
                      uint16_t count) {
  if (data == nullptr) return 0;
  Bytes reply;
  size_t n = Exchange(link, BuildWriteBootData(AddressOf(link), data, offset, count), 0, &reply,
                      kCapacity600);
  return ParseResultByte(reply.data(), n, ControllerCommand::kWriteBootData, 0);
}

uint8_t ResetController(ConnectionManager& link) {
  Bytes reply;
  size_t n = Exchange(link, BuildResetController(AddressOf(link)), 0, &reply, kCapacity300);
  return ParseCheckedResultByte(reply.data(), n, ControllerCommand::kResetController);
}

uint8_t GetControllerType(ConnectionManager& link, ControllerTypeInfo* info) {
  Bytes reply;
  size_t n = Exchange(link, BuildGetControllerType(AddressOf(link)), 0, &reply, kCapacity200);
  ControllerTypeInfo scratch;
  return ParseGetControllerTypeReply(reply.data(), n, info ? info : &scratch);
}

uint8_t GetVersions(ConnectionManager& link, VersionWords* words) {
  Bytes reply;
  size_t n = Exchange(link, BuildGetVersions(AddressOf(link)), 0, &reply, kCapacity200);
  VersionWords scratch{};
  return ParseGetVersionsReply(reply.data(), n, words ? words : &scratch);
}

uint8_t SetScreenConfig(ConnectionManager& link, const uint8_t* record, size_t length) {
  if (record == nullptr && length > 0) return 0;
  Bytes reply;
  size_t n = Exchange(link, BuildSetScreenConfig(AddressOf(link), record, length), 0, &reply,
                      kCapacity300);
  return ParseCheckedResultByte(reply.data(), n, ControllerCommand::kSetScreenConfig);
}

size_t ReadScreenConfig(ConnectionManager& link, uint8_t* destination, size_t capacity,
                        uint8_t selector) {
  if (destination == nullptr) capacity = 0;
  Bytes reply;
  size_t n =
      Exchange(link, BuildReadScreenConfig(AddressOf(link), selector), 0, &reply, kCapacity300);
  return ParseReadScreenConfigReply(reply.data(), n, destination, capacity);
}

}  // namespace tarvo

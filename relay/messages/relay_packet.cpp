#include "relay/messages/relay_packet.hpp"

#include <cstring>

#include "common/wire.hpp"

namespace zv {

void PutRelayHeader(uint8_t* out, uint16_t type, int32_t body_length) {
  std::memcpy(out, kRelayMagic, sizeof kRelayMagic);
  tarvo::wire::PutLe16(out + 8, type);
  tarvo::wire::PutLe32(out + 10, static_cast<uint32_t>(body_length));
}

static bool MagicMatches(const uint8_t* header) {
  return std::memcmp(header, kRelayMagic, sizeof kRelayMagic) == 0;
}

static int32_t HeaderBodyLength(const uint8_t* header) {
  return static_cast<int32_t>(tarvo::wire::GetLe32(header + 10));
}

int ParseRelayHeader(const uint8_t* header, RelayHeader& out) {
  if (!MagicMatches(header)) return 0;
  const int32_t length = HeaderBodyLength(header);
  if (length <= 0 || length > kMaxRelayBody) return 0;
  out.type = tarvo::wire::GetLe16(header + 8);
  out.body_length = length;
  return 1;
}

void CRelayPacket::Create(uint16_t type) {
  message_ = CreateRelayMsg(type);
}

const uint8_t* CRelayPacket::Build(int& length) {
  length = 0;
  frame_.clear();
  frame_.shrink_to_fit();
  if (!message_) return nullptr;
  const int n = message_->GetBodySize();
  if (n <= 0 || n > kMaxRelayBody) return nullptr;
  // Zero-filled: encoders rely on skipped bytes going out as zeros.
  frame_.assign(static_cast<size_t>(n) + kRelayHeaderSize, 0);
  PutRelayHeader(frame_.data(), message_->GetType(), n);
  message_->Encode(frame_.data() + kRelayHeaderSize);
  length = n + kRelayHeaderSize;
  return frame_.data();
}

int ReceiveFrame(IByteSource& source, CRelayPacket& packet) {
  uint8_t header[kRelayHeaderSize];
  if (source.ReceiveExact(header, kRelayHeaderSize) != kRelayHeaderSize) return 0;
  if (!MagicMatches(header)) return 0;
  packet.Create(tarvo::wire::GetLe16(header + 8));
  CRelayMsg* message = packet.GetMessage();
  if (!message) return 0;
  const int32_t length = HeaderBodyLength(header);
  // Refused before anything is allocated or read for the body.
  if (length <= 0 || length > kMaxRelayBody) return 0;
  std::vector<uint8_t> body(static_cast<size_t>(length), 0);
  if (source.ReceiveExact(body.data(), length) != length) return 0;
  return message->Decode(body.data(), length);
}

}  // namespace zv

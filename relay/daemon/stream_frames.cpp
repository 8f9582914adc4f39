#include "relay/daemon/stream_frames.hpp"

#include <cstring>

#include "common/wire.hpp"
#include "relay/messages/relay_packet.hpp"

namespace zv::daemon {

using tarvo::wire::GetLe16;

SplitResult CRelayFrameSplitter::Next(uint16_t* type, const uint8_t** body, uint32_t* body_length) {
  if (buffer_.size() < static_cast<size_t>(kRelayHeaderSize)) {
    // A wrong magic is refused as soon as its bytes arrive.
    size_t n = buffer_.size() < 8 ? buffer_.size() : 8;
    if (n && std::memcmp(buffer_.data(), kRelayMagic, n) != 0) return SplitResult::kBad;
    return SplitResult::kNeedMore;
  }
  RelayHeader header;
  if (!ParseRelayHeader(buffer_.data(), header)) return SplitResult::kBad;
  if (static_cast<uint32_t>(header.body_length) > max_body_) {
    oversized_ = true;
    return SplitResult::kBad;
  }
  size_t total = static_cast<size_t>(kRelayHeaderSize) + static_cast<size_t>(header.body_length);
  if (buffer_.size() < total) return SplitResult::kNeedMore;
  *type = header.type;
  *body = buffer_.data() + kRelayHeaderSize;
  *body_length = static_cast<uint32_t>(header.body_length);
  frame_size_ = total;
  return SplitResult::kFrame;
}

namespace {

// What a stream buffer may keep between frames. A large frame grows it; once
// that frame is done the memory goes back, so a burst of large requests does
// not leave every connection that sent one holding its largest frame.
constexpr size_t kKeptCapacity = 64 * 1024;

void ConsumeFront(std::vector<uint8_t>& buffer, size_t n) {
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(n));
  if (buffer.capacity() > kKeptCapacity && buffer.size() <= kKeptCapacity / 2)
    std::vector<uint8_t>(buffer.begin(), buffer.end()).swap(buffer);
}

}  // namespace

void CRelayFrameSplitter::Consume() {
  ConsumeFront(buffer_, frame_size_);
  frame_size_ = 0;
}

SplitResult CCardFrameSplitter::Next(const uint8_t** frame, size_t* frame_length) {
  if (buffer_.size() < 2) return SplitResult::kNeedMore;
  size_t length = GetLe16(buffer_.data());
  if (length < kCardIdLength) return SplitResult::kBad;
  if (buffer_.size() < length + 2) return SplitResult::kNeedMore;
  *frame = buffer_.data();
  *frame_length = length + 2;
  frame_size_ = length + 2;
  return SplitResult::kFrame;
}

void CCardFrameSplitter::Consume() {
  ConsumeFront(buffer_, frame_size_);
  frame_size_ = 0;
}

std::string CardFrameId(const uint8_t* frame) {
  return std::string(reinterpret_cast<const char*>(frame + 2), kCardIdLength);
}

bool ParseUdpCardDatagram(const uint8_t* data, size_t size, UdpCardDatagram* out) {
  if (size < 3 || data[0] != 0xA5 || data[size - 1] != 0xAE) return false;
  size_t i = 1;
  while (i < size - 1 && data[i] >= '0' && data[i] <= '9') ++i;
  size_t digits = i - 1;
  if (digits == 0 || digits > kMaxUdpDeviceIdDigits) return false;
  out->device_id.assign(reinterpret_cast<const char*>(data + 1), digits);
  out->registration = i == size - 1;
  return true;
}

}  // namespace zv::daemon

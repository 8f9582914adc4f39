#include "tool/link/tcp_link.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/wire.hpp"
#include "platform/clock.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo {

void PutNetworkHeader(uint8_t* out, uint32_t id_code, size_t packet_length) {
  wire::PutBe32(out, id_code);
  wire::PutLe16(out + 4, static_cast<uint16_t>(packet_length));
  out[6] = 0;
  out[7] = 0;
}

int TcpLink::Connect(uint32_t address, uint16_t port, uint32_t id_code) {
  socket_.Close();
  platform::SleepMs(timing.pause_before_connect_ms);
  id_code_ = id_code;
  if (socket_.Connect(address, port, timing.connect_timeout_ms)) return 1;
  last_error_ = platform::LastSocketError();
  return 0;
}

void TcpLink::Close() {
  socket_.Close();
}

int TcpLink::Send(const uint8_t* packet, size_t length) {
  if (!socket_.IsOpen()) return 0;
  std::vector<uint8_t> out(kNetworkHeaderSize + length);
  PutNetworkHeader(out.data(), id_code_, length);
  if (length) std::memcpy(out.data() + kNetworkHeaderSize, packet, length);
  socket_.SetSendTimeout(timing.receive_timeout_ms);
  return socket_.SendAll(out.data(), out.size());
}

size_t TcpLink::Receive(uint8_t* destination, size_t capacity) {
  if (!socket_.IsOpen()) return 0;
  receive_.fill(0);
  const int64_t deadline = platform::MonotonicMs() + timing.receive_timeout_ms;
  int64_t until = deadline;
  size_t got = 0;
  for (;;) {
    int64_t left = until - platform::MonotonicMs();
    if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) break;
    long n = socket_.ReceiveSome(receive_.data() + got, receive_.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (got == receive_.size()) break;
    if (got <= kNetworkHeaderSize) continue;
    // Whole by its own evidence: the packet's sum holds for what arrived.
    // A header that overstates the length is not waited out for it.
    if (CheckPacket(receive_.data() + kNetworkHeaderSize, got - kNetworkHeaderSize)) break;
    // The header's length has arrived but the sum does not hold: either the
    // header understated the length (the rest follows at once) or the
    // packet is garbled; a short grace tells them apart.
    size_t declared = wire::GetLe16(receive_.data() + 4);
    if (declared >= 1 && got >= kNetworkHeaderSize + declared)
      until = std::min(deadline, platform::MonotonicMs() + timing.incomplete_grace_ms);
  }
  // Everything that arrived is the reply: a header that understates the
  // length never cuts a reply short.
  if (got <= kNetworkHeaderSize) return 0;
  const size_t packet = got - kNetworkHeaderSize;
  if (packet > capacity) return 0;
  std::memcpy(destination, receive_.data() + kNetworkHeaderSize, packet);
  return packet;
}

}  // namespace tarvo

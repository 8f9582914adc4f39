#include "tool/link/tcp_link.hpp"

#include <cstring>
#include <vector>

#include "common/wire.hpp"
#include "platform/clock.hpp"

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
  return socket_.Connect(address, port, timing.connect_timeout_ms) ? 1 : 0;
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
  size_t got = 0;
  // The header's length field tells how many packet bytes follow; when it is
  // plausible, keep reading until they all arrived (the network may split a
  // reply), otherwise take what the first segment brought.
  size_t wanted = 0;
  for (;;) {
    int64_t left = deadline - platform::MonotonicMs();
    if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) break;
    long n = socket_.ReceiveSome(receive_.data() + got, receive_.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (wanted == 0 && got >= kNetworkHeaderSize) {
      size_t declared = wire::GetLe16(receive_.data() + 4);
      wanted = (declared >= 1 && declared <= kTcpLargestReplyPacket)
                   ? kNetworkHeaderSize + declared
                   : got;  // no usable length: one segment is the reply
    }
    if (wanted != 0 && got >= wanted) break;
    if (got == receive_.size()) break;
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

#include "sim/relay_card_codec.hpp"

#include <algorithm>

#include "common/wire.hpp"
#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool IsTcpCardId(const std::string& id) {
  if (id.size() != kTcpCardIdLength) return false;
  for (char c : id) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F) return false;
  }
  return true;
}

bool IsUdpCardId(const std::string& id) {
  if (id.empty() || id.size() > kUdpCardMaxIdDigits) return false;
  for (char c : id)
    if (!IsDigit(c)) return false;
  return true;
}

std::vector<uint8_t> TcpCardRegistration(const std::string& id) {
  std::vector<uint8_t> out(kTcpCardHeaderSize);
  wire::PutLe16(out.data(), static_cast<uint16_t>(id.size()));
  out.insert(out.end(), id.begin(), id.end());
  return out;
}

std::vector<uint8_t> TcpCardReply(const std::string& id, const std::vector<uint8_t>& reply) {
  const size_t length = reply.size() + kTcpCardAddressSize;
  if (length > 0xFFFF) return {};
  std::vector<uint8_t> out(kTcpCardHeaderSize);
  wire::PutLe16(out.data(), static_cast<uint16_t>(length));
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), reply.begin(), reply.end());
  return out;
}

std::vector<uint8_t> UdpCardRegistration(const std::string& digits) {
  return UdpCardReply(digits, {});
}

std::vector<uint8_t> UdpCardReply(const std::string& digits, const std::vector<uint8_t>& reply) {
  std::vector<uint8_t> out;
  out.reserve(digits.size() + 2 * reply.size() + 2);
  out.push_back(kFrameStart);
  out.insert(out.end(), digits.begin(), digits.end());
  AppendEscaped(reply.data(), reply.size(), out);
  out.push_back(kFrameEnd);
  return out;
}

bool DecodeUdpCardForward(const uint8_t* datagram, size_t size, const std::string& digits,
                          size_t max_packet, std::vector<uint8_t>* packet) {
  packet->clear();
  if (size < 2 || datagram[0] != kFrameStart) return false;
  const size_t capacity = digits.size() + max_packet;
  std::vector<uint8_t> body(capacity);
  StreamDecodeResult r = DecodeStreamBytes(datagram, size, body.data(), capacity);
  if (!r.complete || r.count > capacity || r.count <= digits.size()) return false;
  size_t k = 0;
  while (k < r.count && IsDigit(static_cast<char>(body[k]))) ++k;
  if (k != digits.size() || !std::equal(digits.begin(), digits.end(), body.begin())) return false;
  packet->assign(body.begin() + static_cast<long>(k), body.begin() + static_cast<long>(r.count));
  return true;
}

}  // namespace tarvo::sim

#include "sim/relay_card_codec.hpp"

#include <algorithm>

#include "common/sha256.hpp"
#include "common/wire.hpp"
#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr uint8_t kProbe = 0xC1;
constexpr uint8_t kProbeAnswer = 0xC2;
constexpr uint8_t kChallenge = 0xC3;
constexpr uint8_t kChallengeAnswer = 0xC4;
constexpr size_t kProbeNonce = 8;
constexpr size_t kChallengeNonce = 16;

std::vector<uint8_t> ControlAnswer(const std::string& id, uint8_t marker, const uint8_t* body,
                                   size_t size) {
  std::vector<uint8_t> out(kTcpCardHeaderSize);
  wire::PutLe16(out.data(), static_cast<uint16_t>(kTcpCardAddressSize + 1 + size));
  out.insert(out.end(), id.begin(), id.end());
  out.push_back(marker);
  out.insert(out.end(), body, body + size);
  return out;
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

bool IsTcpCardControl(const uint8_t* envelope, size_t length) {
  const size_t at = kTcpCardAddressSize;
  if (length != at + 1 + kProbeNonce && length != at + 1 + kChallengeNonce) return false;
  // zvrelayd's own frames carry six zero address bytes; forwarded packets 01.
  for (size_t i = 0; i < at; ++i)
    if (envelope[i] != 0) return false;
  return (envelope[at] == kProbe && length == at + 1 + kProbeNonce) ||
         (envelope[at] == kChallenge && length == at + 1 + kChallengeNonce);
}

std::vector<uint8_t> TcpCardControlAnswer(const std::string& id, const std::string& secret,
                                          const uint8_t* envelope, size_t length) {
  if (!IsTcpCardControl(envelope, length)) return {};
  const uint8_t* nonce = envelope + kTcpCardAddressSize + 1;
  if (envelope[kTcpCardAddressSize] == kProbe)
    return ControlAnswer(id, kProbeAnswer, nonce, kProbeNonce);
  if (secret.empty()) return {};
  std::vector<uint8_t> message(nonce, nonce + kChallengeNonce);
  message.insert(message.end(), id.begin(), id.end());
  const hash::Sha256Digest mac = hash::HmacSha256(reinterpret_cast<const uint8_t*>(secret.data()),
                                                  secret.size(), message.data(), message.size());
  return ControlAnswer(id, kChallengeAnswer, mac.data(), mac.size());
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

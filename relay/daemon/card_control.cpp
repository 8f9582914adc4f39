#include "relay/daemon/card_control.hpp"

#include <random>

#include "common/wire.hpp"

namespace zv::daemon {
namespace {

constexpr size_t kHeader = 2;              // the LE16 length
constexpr size_t kMarkerAt = kHeader + 6;  // after the six address bytes
constexpr size_t kBodyAt = kMarkerAt + 1;
constexpr size_t kProbeFrameSize = kBodyAt + kProbeNonceSize;                     // 17
constexpr size_t kChallengeFrameSize = kBodyAt + kChallengeNonceSize;             // 25
constexpr size_t kChallengeAnswerFrameSize = kBodyAt + tarvo::hash::kSha256Size;  // 41

std::vector<uint8_t> ControlFrame(uint8_t marker, const uint8_t* body, size_t size) {
  std::vector<uint8_t> frame(kBodyAt + size, 0);
  tarvo::wire::PutLe16(frame.data(), static_cast<uint16_t>(frame.size() - kHeader));
  frame[kMarkerAt] = marker;
  std::copy(body, body + size, frame.begin() + kBodyAt);
  return frame;
}

}  // namespace

void FillNonce(uint8_t* out, size_t size) {
  // random_device reads the system's source (getrandom on Linux): a nonce an
  // impostor could predict would let it answer a challenge in advance.
  thread_local std::random_device source;
  for (size_t i = 0; i < size; i += 4) {
    const uint32_t r = source();
    for (size_t k = 0; k < 4 && i + k < size; ++k) out[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
}

std::vector<uint8_t> CardProbeFrame(const ProbeNonce& nonce) {
  return ControlFrame(kProbeMarker, nonce.data(), nonce.size());
}

std::vector<uint8_t> CardChallengeFrame(const ChallengeNonce& nonce) {
  return ControlFrame(kChallengeMarker, nonce.data(), nonce.size());
}

CardFrameKind ClassifyCardFrame(const uint8_t* frame, size_t length) {
  if (length == kProbeFrameSize && frame[kMarkerAt] == kProbeAnswerMarker)
    return CardFrameKind::kProbeAnswer;
  if (length == kChallengeAnswerFrameSize && frame[kMarkerAt] == kChallengeAnswerMarker)
    return CardFrameKind::kChallengeAnswer;
  return CardFrameKind::kPacket;
}

bool ProbeAnswered(const uint8_t* frame, size_t length, const ProbeNonce& nonce) {
  return ClassifyCardFrame(frame, length) == CardFrameKind::kProbeAnswer &&
         std::equal(nonce.begin(), nonce.end(), frame + kBodyAt);
}

tarvo::hash::Sha256Digest ChallengeAnswer(const std::string& secret, const ChallengeNonce& nonce,
                                          const std::string& id) {
  std::vector<uint8_t> message(nonce.begin(), nonce.end());
  message.insert(message.end(), id.begin(), id.end());
  return tarvo::hash::HmacSha256(reinterpret_cast<const uint8_t*>(secret.data()), secret.size(),
                                 message.data(), message.size());
}

bool ChallengeAnswered(const uint8_t* frame, size_t length, const std::string& secret,
                       const ChallengeNonce& nonce, const std::string& id) {
  if (ClassifyCardFrame(frame, length) != CardFrameKind::kChallengeAnswer) return false;
  if (id.size() != 6 || !std::equal(id.begin(), id.end(), frame + kHeader)) return false;
  const tarvo::hash::Sha256Digest expected = ChallengeAnswer(secret, nonce, id);
  return tarvo::hash::DigestsEqual(expected.data(), frame + kBodyAt, expected.size());
}

}  // namespace zv::daemon

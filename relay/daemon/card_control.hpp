// The frames zvrelayd itself sends a TCP card, and the card's answers to
// them. They share the card protocol's framing, [L: LE16][six bytes][rest],
// and are told apart from controller traffic by their marker byte: a
// controller packet begins with 68 (request) or E8 (reply), a control frame
// with one of C1-C4.
//
//   probe            server -> card  [0F 00][00 x 6][C1][nonce: 8 bytes]
//   probe answer     card -> server  [0F 00][DeviceID: 6][C2][the same nonce]
//   challenge        server -> card  [17 00][00 x 6][C3][nonce: 16 bytes]
//   challenge answer card -> server  [27 00][DeviceID: 6][C4][HMAC-SHA256: 32 bytes]
//
// The challenge answer is HMAC-SHA256 keyed with the card's secret over the
// nonce followed by the six DeviceID characters the card registered with.
// A card that knows none of this ignores a probe (its controller drops a
// packet that does not begin with 68), which zvrelayd reads as "gone".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/sha256.hpp"

namespace zv::daemon {

inline constexpr uint8_t kProbeMarker = 0xC1;
inline constexpr uint8_t kProbeAnswerMarker = 0xC2;
inline constexpr uint8_t kChallengeMarker = 0xC3;
inline constexpr uint8_t kChallengeAnswerMarker = 0xC4;
inline constexpr size_t kProbeNonceSize = 8;
inline constexpr size_t kChallengeNonceSize = 16;

using ProbeNonce = std::array<uint8_t, kProbeNonceSize>;
using ChallengeNonce = std::array<uint8_t, kChallengeNonceSize>;

// Unpredictable bytes for a nonce (the system's random source).
void FillNonce(uint8_t* out, size_t size);

std::vector<uint8_t> CardProbeFrame(const ProbeNonce& nonce);
std::vector<uint8_t> CardChallengeFrame(const ChallengeNonce& nonce);

// What a frame from a registered card is. `frame` covers the whole frame,
// its length field included, as the card frame splitter gives it.
enum class CardFrameKind {
  kPacket,           // controller bytes for the lock owner
  kProbeAnswer,      // exactly the probe answer's size and marker
  kChallengeAnswer,  // exactly the challenge answer's size and marker
};
CardFrameKind ClassifyCardFrame(const uint8_t* frame, size_t length);

// Whether the probe answer echoes `nonce`.
bool ProbeAnswered(const uint8_t* frame, size_t length, const ProbeNonce& nonce);

// The answer a card with `secret` and DeviceID `id` gives to `nonce`.
tarvo::hash::Sha256Digest ChallengeAnswer(const std::string& secret, const ChallengeNonce& nonce,
                                          const std::string& id);
// Whether the frame is the right challenge answer of the card `id`.
bool ChallengeAnswered(const uint8_t* frame, size_t length, const std::string& secret,
                       const ChallengeNonce& nonce, const std::string& id);

}  // namespace zv::daemon

// The card side of zvrelayd's card protocol, as pure byte functions.
//
// TCP card: registers with [06 00][six DeviceID characters]; each forwarded
// packet arrives as [packet length + 6, LE16][01 x 6][packet] and is answered
// with [reply length + 6, LE16][six DeviceID characters][reply packet].
// zvrelayd also sends frames of its own, [L][00 x 6][marker][nonce]: a probe
// (C1, 8-byte nonce) that the card echoes as [0F 00][DeviceID][C2][nonce], and
// to a card with a secret a challenge (C3, 16-byte nonce) that it answers with
// [27 00][DeviceID][C4][HMAC-SHA256 under the secret of nonce + DeviceID].
// UDP card: registers with A5 <DeviceID digits> AE; forwarded packets arrive as
// A5 <digits><escaped packet> AE and are answered in the same shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::sim {

inline constexpr size_t kTcpCardIdLength = 6;
inline constexpr size_t kTcpCardHeaderSize = 2;   // the LE16 length
inline constexpr size_t kTcpCardAddressSize = 6;  // 01 x 6 inwards, the DeviceID outwards
inline constexpr size_t kUdpCardMaxIdDigits = 30;

// Six printable characters (the DeviceID of a TCP card).
bool IsTcpCardId(const std::string& id);
// 1-30 ASCII digits (the DeviceID of a UDP card).
bool IsUdpCardId(const std::string& id);

std::vector<uint8_t> TcpCardRegistration(const std::string& id);
// Empty when the reply cannot be described by the 16-bit length.
std::vector<uint8_t> TcpCardReply(const std::string& id, const std::vector<uint8_t>& reply);

// Whether a frame's L bytes (after its length field) are one of zvrelayd's own
// frames, a probe or a challenge, rather than a forwarded packet.
bool IsTcpCardControl(const uint8_t* envelope, size_t length);
// The card's answer to that frame; empty for a challenge when the card has
// no secret (it cannot answer one).
std::vector<uint8_t> TcpCardControlAnswer(const std::string& id, const std::string& secret,
                                          const uint8_t* envelope, size_t length);

std::vector<uint8_t> UdpCardRegistration(const std::string& digits);
std::vector<uint8_t> UdpCardReply(const std::string& digits, const std::vector<uint8_t>& reply);
// Takes the controller packet out of a forwarded datagram addressed to
// `digits`. False for anything else: no start or end byte, other digits, an
// empty packet, or a packet longer than `max_packet`.
bool DecodeUdpCardForward(const uint8_t* datagram, size_t size, const std::string& digits,
                          size_t max_packet, std::vector<uint8_t>* packet);

}  // namespace tarvo::sim

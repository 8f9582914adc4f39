// The two relay envelopes that carry a controller packet through the relay
// client library.
//
// Route 1 ("Zv Server"): request [packet length + 6, LE16][01 x 6][packet];
// reply [L, LE16][six Device ID characters][reply packet of L - 6 bytes].
// Route 2 ("Zv GPRS"): A5, the Device ID digits, the escaped packet, AE, in
// both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

inline constexpr size_t kRouteOneHeaderSize = 8;
// Shortest relay answer that can hold a reply at all.
inline constexpr size_t kRelayMinimumReply = 15;
// Shortest decoded route-2 body (Device ID digits and reply packet).
inline constexpr size_t kRouteTwoMinimumBody = 13;

// Request envelopes. False (and `out` empty) when the packet cannot be
// carried: route 1 needs length + 6 to fit 16 bits.
bool EncodeRouteOneRequest(const uint8_t* packet, size_t length, std::vector<uint8_t>* out);
bool EncodeRouteTwoRequest(const std::string& device_id, const uint8_t* packet, size_t length,
                           std::vector<uint8_t>* out);

// Reply envelopes: `received` bytes as the library returned them (n of
// them). Copies the reply packet to `destination` and returns its length
// when the envelope names `device_id` exactly, its packet begins with 0xE8
// and fits `capacity`; otherwise 0.
size_t DecodeRouteOneReply(const uint8_t* received, size_t n, const std::string& device_id,
                           uint8_t* destination, size_t capacity);
size_t DecodeRouteTwoReply(const uint8_t* received, size_t n, const std::string& device_id,
                           uint8_t* destination, size_t capacity);

}  // namespace tarvo

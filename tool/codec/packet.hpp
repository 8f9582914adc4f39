// The controller packet: header bytes, 16-bit byte sum and the packet check.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

inline constexpr uint8_t kRequestStart = 0x68;
inline constexpr uint8_t kReplyStart = 0xE8;
// Model code of the Tarvo-E/D family; the tool opens every link with it.
inline constexpr uint8_t kControllerTypeCode = 0x32;
// Controller ID that every controller answers to ("Any ID").
inline constexpr uint8_t kAnyControllerId = 0xFF;
// Offsets of the common header fields.
inline constexpr size_t kOffStart = 0, kOffType = 1, kOffId = 2, kOffCommand = 3, kOffFlag = 4,
                        kOffPayload = 5;

// Sum of n bytes, each 0-255, kept to its low 16 bits.
uint16_t ByteSum16(const uint8_t* data, size_t n);
// Sums bytes 0..n-1, stores the sum little-endian at n and n+1, returns n + 2.
size_t AppendChecksum(uint8_t* buffer, size_t n);
// A reply of length L passes when L > 5, byte 0 is 0xE8 or 0x68 and the sum of
// bytes 0..L-3 equals the little-endian value of the last two bytes.
bool CheckPacket(const uint8_t* reply, size_t length);

}  // namespace tarvo

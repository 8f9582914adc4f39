// Firmware image files: the tag each kind must begin with, and the header of
// a boot-loader image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

// The tag an image of this kind begins with; empty for kinds without one
// (kind 7 has an access code but no image).
std::string ImageTag(int kind);
// True when the image starts with its kind's tag, byte for byte.
bool ImageTagMatches(int kind, const uint8_t* image, size_t size);

// Start of a boot-loader image; its numbers are big-endian.
struct BootImageHeader {
  static constexpr size_t kSize = 20;
  char tag[10];
  uint32_t length;    // image bytes that follow the header
  uint16_t checksum;  // their 16-bit sum
};

// The boot image buffer: the whole file plus 512 bytes of 0xFF filler must
// fit, so the last 256-byte piece never reads past it.
inline constexpr size_t kBootBufferSize = 1000000;
inline constexpr size_t kBootFiller = 512;
inline constexpr size_t kBootPiece = 256;

enum class BootImageCheck { kOk, kBadFormat };
// Checks tag and checksum of a boot image held in `buffer` (file bytes
// followed by 0xFF filler; `file_size` bytes came from the file). A length
// that runs past the buffer is a bad format, never an over-read.
BootImageCheck CheckBootImage(const std::vector<uint8_t>& buffer, size_t file_size,
                              BootImageHeader* header);

}  // namespace tarvo

#include "tool/firmware_image.hpp"

#include <cstring>

#include "common/wire.hpp"

namespace tarvo {

std::string ImageTag(int kind) {
  switch (kind) {
    case 2:
      return "ZVSBOOT ve";
    case 3:
      return "ZVOS ver";
    case 4:
      return "ZVAPP ver";
    case 5:
      return "ZVSCAN ver";
    case 6:
      return "ZVNET ver";
    default:
      return std::string();
  }
}

bool ImageTagMatches(int kind, const uint8_t* image, size_t size) {
  std::string tag = ImageTag(kind);
  if (tag.empty() || size < tag.size()) return false;
  return std::memcmp(image, tag.data(), tag.size()) == 0;
}

BootImageCheck CheckBootImage(const std::vector<uint8_t>& buffer, size_t file_size,
                              BootImageHeader* header) {
  if (file_size < BootImageHeader::kSize || buffer.size() < BootImageHeader::kSize)
    return BootImageCheck::kBadFormat;
  if (!ImageTagMatches(2, buffer.data(), buffer.size())) return BootImageCheck::kBadFormat;
  std::memcpy(header->tag, buffer.data(), sizeof header->tag);
  header->length = wire::GetBe32(buffer.data() + 10);
  header->checksum = wire::GetBe16(buffer.data() + 14);
  // The image and its last padded piece must lie inside the buffer.
  size_t padded = (static_cast<size_t>(header->length) + kBootPiece - 1) / kBootPiece * kBootPiece;
  if (header->length > buffer.size() || BootImageHeader::kSize + padded > buffer.size())
    return BootImageCheck::kBadFormat;
  uint16_t sum = 0;
  for (size_t i = 0; i < header->length; ++i)
    sum = static_cast<uint16_t>(sum + buffer[BootImageHeader::kSize + i]);
  return sum == header->checksum ? BootImageCheck::kOk : BootImageCheck::kBadFormat;
}

}  // namespace tarvo

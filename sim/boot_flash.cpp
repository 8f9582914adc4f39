#include "sim/boot_flash.hpp"

#include <algorithm>

namespace tarvo::sim {

BootFlash::BootFlash(uint32_t size)
    : bytes_(size / kSectorSize * kSectorSize),
      erased_(size / kSectorSize, false),
      programmed_(size / kSectorSize * kSectorSize, true) {
  // The previous boot loader: a recognisable pattern, not erased flash.
  for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i * 7 + 3);
}

bool BootFlash::SectorErased(uint32_t sector) const {
  return sector < erased_.size() && erased_[sector];
}

int BootFlash::EraseSector(uint32_t address) {
  if (address % kSectorSize != 0 || address >= bytes_.size()) return 0;
  std::fill_n(bytes_.begin() + address, kSectorSize, 0xFF);
  std::fill_n(programmed_.begin() + address, kSectorSize, false);
  erased_[address / kSectorSize] = true;
  ++erase_count_;
  return 1;
}

int BootFlash::Write(uint32_t offset, const uint8_t* data, size_t count) {
  if (count == 0 || count > kPieceSize) return 0;
  if (offset >= bytes_.size() || count > bytes_.size() - offset) return 0;
  for (size_t i = 0; i < count; ++i) {
    size_t at = offset + i;
    if (!erased_[at / kSectorSize] || programmed_[at]) return 0;
  }
  for (size_t i = 0; i < count; ++i) {
    bytes_[offset + i] = data[i];
    programmed_[offset + i] = true;
  }
  return 1;
}

}  // namespace tarvo::sim

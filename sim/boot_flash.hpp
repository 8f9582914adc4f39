// The controller's boot-loader flash: sectors of 4 KiB that must be erased
// before they are programmed, and bytes that can be programmed once per erase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvo::sim {

class BootFlash {
 public:
  static constexpr uint32_t kSectorSize = 4096;
  static constexpr uint32_t kDefaultSize = 64 * 1024;
  static constexpr size_t kPieceSize = 256;

  // A flash of `size` bytes (a whole number of sectors) holding an old boot
  // loader: nothing is erased yet.
  explicit BootFlash(uint32_t size = kDefaultSize);

  // Erases the sector that starts at `address`. 1, or 0 when the address is
  // not the start of a sector inside the flash.
  int EraseSector(uint32_t address);
  // Programs `count` (1-256) bytes at `offset`. Refused (0) as a whole when
  // the range leaves the flash, or touches a sector that is not erased or a
  // byte already programmed since the last erase.
  int Write(uint32_t offset, const uint8_t* data, size_t count);

  const std::vector<uint8_t>& contents() const { return bytes_; }
  bool SectorErased(uint32_t sector) const;
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
  int erase_count() const { return erase_count_; }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<bool> erased_;
  std::vector<bool> programmed_;
  int erase_count_ = 0;
};

}  // namespace tarvo::sim

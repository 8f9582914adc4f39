// The controller's screen configuration: the 16-byte record in which a flag
// byte says which items are present.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvo::sim {

inline constexpr size_t kScreenRecordSize = 16;
using ScreenRecord = std::array<uint8_t, kScreenRecordSize>;

// Flag bits of the record's byte 1 and the items they stand for.
inline constexpr uint8_t kItemFont = 0x01;         // byte 2
inline constexpr uint8_t kItemTemperature = 0x04;  // byte 4
inline constexpr uint8_t kItemHumidity = 0x08;     // byte 5
inline constexpr uint8_t kItemScreen = 0x10;       // bytes 6-11: model, colour, width, height
inline constexpr uint8_t kItemSpeed = 0x20;        // byte 12
inline constexpr uint8_t kItemRefresh = 0x40;      // byte 13
inline constexpr uint8_t kKnownItems = 0x7D;

class ScreenConfigStore {
 public:
  // Factory settings: GB2312 font, no sensor adjustment, a Tarvo-E screen of
  // 128 x 32 full colour, fast, both sensors refreshed every 2 s.
  ScreenConfigStore();

  // Stores the items flagged in `record` (the rest stays as it was). 1, or 0
  // when the record is shorter than 16 bytes or flags no known item.
  int Set(const uint8_t* record, size_t length);
  // The record with the items both asked for by `selector` and known here;
  // the flag byte says which, every other field is 0.
  ScreenRecord Read(uint8_t selector) const;
  // Everything as stored, all items flagged.
  ScreenRecord Current() const { return Read(kKnownItems); }

 private:
  ScreenRecord values_{};
};

}  // namespace tarvo::sim

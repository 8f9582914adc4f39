#include <algorithm>
#include <cstring>

#include "common/wire.hpp"
#include "tool/codec/command_set.hpp"

namespace tarvo {
namespace {

constexpr size_t kNameOffset = 0, kNameWidth = 32;
constexpr size_t kTypeOffset = 32, kTypeWidth = 18;
constexpr size_t kMinuteOffset = 51, kHourOffset = 52, kDayOffset = 54, kMonthOffset = 55,
                 kYearOffset = 56, kSizeOffset = 60;

void PutText(uint8_t* field, size_t width, const std::string& text) {
  // Room for the terminating zero is always kept.
  std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

}  // namespace

bool DecodeDirectoryEntry(const uint8_t* bytes, size_t size, DirectoryEntry* out) {
  if (bytes == nullptr || size < DirectoryEntry::kSize) return false;
  out->name = wire::FixedText(bytes + kNameOffset, kNameWidth);
  out->type = wire::FixedText(bytes + kTypeOffset, kTypeWidth);
  out->minute = bytes[kMinuteOffset];
  out->hour = bytes[kHourOffset];
  out->day = bytes[kDayOffset];
  out->month = bytes[kMonthOffset];
  out->year = bytes[kYearOffset];
  out->size = wire::GetLe32(bytes + kSizeOffset);
  return true;
}

void EncodeDirectoryEntry(const DirectoryEntry& entry, uint8_t* out) {
  std::memset(out, 0, DirectoryEntry::kSize);
  PutText(out + kNameOffset, kNameWidth, entry.name);
  PutText(out + kTypeOffset, kTypeWidth, entry.type);
  out[kMinuteOffset] = entry.minute;
  out[kHourOffset] = entry.hour;
  out[kDayOffset] = entry.day;
  out[kMonthOffset] = entry.month;
  out[kYearOffset] = entry.year;
  wire::PutLe32(out + kSizeOffset, entry.size);
}

}  // namespace tarvo

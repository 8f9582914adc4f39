#include "sim/screen_config_store.hpp"

#include "common/wire.hpp"

namespace tarvo::sim {
namespace {

struct ItemBytes {
  uint8_t flag;
  size_t first;
  size_t count;
};
constexpr ItemBytes kItems[] = {
    {kItemFont, 2, 1},   {kItemTemperature, 4, 1}, {kItemHumidity, 5, 1},
    {kItemScreen, 6, 6}, {kItemSpeed, 12, 1},      {kItemRefresh, 13, 1},
};

}  // namespace

ScreenConfigStore::ScreenConfigStore() {
  values_[2] = 1;     // GB2312
  values_[6] = 1;     // Tarvo-E
  values_[7] = 0x77;  // full colour
  wire::PutLe16(&values_[8], 128);
  wire::PutLe16(&values_[10], 32);
  values_[12] = 1;  // fast
}

int ScreenConfigStore::Set(const uint8_t* record, size_t length) {
  if (length < kScreenRecordSize) return 0;
  const uint8_t flags = record[1];
  if ((flags & kKnownItems) == 0) return 0;
  for (const ItemBytes& item : kItems) {
    if (flags & item.flag) {
      for (size_t i = 0; i < item.count; ++i) values_[item.first + i] = record[item.first + i];
    }
  }
  return 1;
}

ScreenRecord ScreenConfigStore::Read(uint8_t selector) const {
  ScreenRecord out{};
  out[1] = selector & kKnownItems;
  for (const ItemBytes& item : kItems) {
    if (out[1] & item.flag) {
      for (size_t i = 0; i < item.count; ++i) out[item.first + i] = values_[item.first + i];
    }
  }
  return out;
}

}  // namespace tarvo::sim

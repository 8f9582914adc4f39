// The boot-loader flash and the screen configuration record.
#include <gtest/gtest.h>

#include "sim/command_codes.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

using test::AppendLe16;
using test::AppendLe32;
using test::Ask;

std::vector<uint8_t> ErasePayload(uint32_t address) {
  std::vector<uint8_t> p;
  AppendLe32(p, address);
  return p;
}

std::vector<uint8_t> BootPayload(uint32_t offset, uint16_t count, uint8_t fill) {
  std::vector<uint8_t> p;
  AppendLe32(p, offset);
  AppendLe16(p, count);
  for (size_t i = 0; i < 256; ++i) p.push_back(static_cast<uint8_t>(fill + i));
  return p;
}

TEST(ControllerBootFlash, WritesOnlyIntoErasedSectorsAndOnlyOnce) {
  ControllerModel m;
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(0, 256, 1))[5], 0) << "not erased yet";
  for (uint32_t a : {0u, 4096u, 8192u, 12288u})
    EXPECT_EQ(Ask(m, kEraseBootSector, ErasePayload(a))[5], 1);
  EXPECT_EQ(Ask(m, kEraseBootSector, ErasePayload(100))[5], 0) << "not a sector start";
  EXPECT_EQ(Ask(m, kEraseBootSector, ErasePayload(BootFlash::kDefaultSize))[5], 0);

  // A 300-byte image: 256 bytes at 0, then 44 valid bytes at 256.
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(0, 256, 1))[5], 1);
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(256, 44, 9))[5], 1);
  const std::vector<uint8_t>& flash = m.boot_flash().contents();
  EXPECT_EQ(flash[0], 1);
  EXPECT_EQ(flash[255], static_cast<uint8_t>(1 + 255));
  EXPECT_EQ(flash[256], 9);
  EXPECT_EQ(flash[299], static_cast<uint8_t>(9 + 43));
  EXPECT_EQ(flash[300], 0xFF) << "filler beyond the count is not written";

  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(0, 16, 1))[5], 0) << "already programmed";
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(16384, 16, 1))[5], 0) << "sector 4 not erased";
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(4096 - 8, 16, 1))[5], 1)
      << "spans two erased sectors";
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(8192, 0, 1))[5], 0);
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(8192, 257, 1))[5], 0);
  EXPECT_EQ(Ask(m, kWriteBootData, BootPayload(0xFFFFFFF0u, 32, 1))[5], 0) << "no wrap-around";
  EXPECT_EQ(m.boot_flash().erase_count(), 4);
}

std::vector<uint8_t> Record(uint8_t flags) {
  std::vector<uint8_t> r(16, 0);
  r[1] = flags;
  r[2] = 3;     // Shift JIS
  r[4] = 0xC5;  // -5, Fahrenheit
  r[5] = 0x05;
  r[6] = 5;  // Tarvo-A
  r[7] = 3;  // RG colour
  wire::PutLe16(&r[8], 512);
  wire::PutLe16(&r[10], 16);
  r[12] = 0;
  r[13] = 0x3A;
  return r;
}

TEST(ControllerScreenConfig, SetStoresFlaggedItemsAndReadAnswersOnlyWhatWasAsked) {
  ControllerModel m;
  EXPECT_EQ(Ask(m, kSetScreenConfig, Record(0x01 | 0x10))[5], 1);
  std::vector<uint8_t> r = Ask(m, kReadScreenConfig, {0, 0x7D});
  ASSERT_EQ(r.size(), 5u + 16u + 2u);
  const uint8_t* rec = &r[5];
  EXPECT_EQ(rec[0], 0);
  EXPECT_EQ(rec[1], 0x7D);
  EXPECT_EQ(rec[2], 3);
  EXPECT_EQ(rec[4], 0) << "temperature was not flagged: factory value";
  EXPECT_EQ(rec[6], 5);
  EXPECT_EQ(rec[7], 3);
  EXPECT_EQ(wire::GetLe16(rec + 8), 512);
  EXPECT_EQ(wire::GetLe16(rec + 10), 16);
  EXPECT_EQ(rec[12], 1) << "speed was not flagged: still fast";

  EXPECT_EQ(Ask(m, kSetScreenConfig, Record(0x04 | 0x08 | 0x20 | 0x40))[5], 1);
  r = Ask(m, kReadScreenConfig, {0, 0x04 | 0x40 | 0x02});
  rec = &r[5];
  EXPECT_EQ(rec[1], 0x44) << "unknown bit 0x02 is not answered";
  EXPECT_EQ(rec[4], 0xC5);
  EXPECT_EQ(rec[13], 0x3A);
  for (size_t i : {2, 5, 6, 7, 8, 9, 10, 11, 12}) EXPECT_EQ(rec[i], 0) << "item at " << i;

  EXPECT_EQ(Ask(m, kSetScreenConfig, Record(0x00))[5], 0) << "nothing flagged";
  EXPECT_EQ(Ask(m, kSetScreenConfig, Record(0x82))[5], 0) << "only unknown bits";
  EXPECT_EQ(Ask(m, kSetScreenConfig, std::vector<uint8_t>{0, 0x01, 2})[5], 0) << "short record";
  EXPECT_EQ(m.screen_config().Current()[2], 3);
}

}  // namespace
}  // namespace tarvo::sim

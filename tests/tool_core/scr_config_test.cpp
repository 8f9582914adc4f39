// The screen configuration dialog's lists and record, the version text and
// the firmware image checks: pure logic, no controller.
#include <gtest/gtest.h>

#include "fake_view.hpp"
#include "tool/firmware_image.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/scr_config_dlg.hpp"
#include "tool/version_text.hpp"

namespace tarvo {
namespace {

class ScrConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { dlg.OnInitDialog(); }
  test::FakeView view;
  ConnectionManager link;
  CScrConfigDlg dlg{view, link, 0x32, 1};
};

TEST_F(ScrConfigTest, InitialisationSelectsTheDefaultsWithEveryBoxClear) {
  EXPECT_EQ(dlg.list(cfg::kFontList).SelectedText(), "GB2312");
  EXPECT_EQ(dlg.list(cfg::kTempList).entries.size(), 127u);
  EXPECT_EQ(dlg.list(cfg::kTempList).entries.front(), "-63");
  EXPECT_EQ(dlg.list(cfg::kTempList).SelectedText(), " 0");
  EXPECT_EQ(dlg.list(cfg::kTempList).entries[64], "+1");
  EXPECT_EQ(dlg.list(cfg::kModelList).SelectedText(), "Undefined");
  EXPECT_EQ(dlg.list(cfg::kWidthList).entries, std::vector<std::string>{"0"});
  EXPECT_EQ(dlg.list(cfg::kColorList).SelectedText(), "0");
  EXPECT_EQ(dlg.list(cfg::kSpeedList).SelectedText(), "Fast");
  EXPECT_EQ(dlg.list(cfg::kTempRefreshList).SelectedText(), "2");
  EXPECT_EQ(dlg.list(cfg::kHumidityRefreshList).entries.back(), "15");
  EXPECT_FALSE(dlg.fahrenheit());
  uint8_t record[kScreenConfigSize];
  EXPECT_EQ(dlg.BuildRecord(record), 0);
  // Nothing ticked: neither button contacts the controller.
  dlg.OnSetToScreen();
  dlg.OnReadFromScreen();
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"Nothing will be set!", "Nothing will be read!"}));
}

TEST_F(ScrConfigTest, ModelChoiceRefillsSizesAndColours) {
  dlg.list(cfg::kModelList).Select(5);  // Tarvo-A
  dlg.OnModelChanged();
  const ComboList& w = dlg.list(cfg::kWidthList);
  const ComboList& h = dlg.list(cfg::kHeightList);
  EXPECT_EQ(w.entries.front(), "16");
  EXPECT_EQ(w.entries.back(), "512");
  EXPECT_EQ(h.entries.front(), "8");
  EXPECT_EQ(h.entries.back(), "32");
  EXPECT_EQ(w.SelectedText(), "128");
  EXPECT_EQ(h.SelectedText(), "32");
  EXPECT_EQ(dlg.list(cfg::kColorList).entries, (std::vector<std::string>{"RG color", "Mono"}));
  dlg.list(cfg::kModelList).Select(1);  // Tarvo-E
  dlg.OnModelChanged();
  EXPECT_EQ(dlg.list(cfg::kWidthList).entries.back(), "1024");
  EXPECT_EQ(dlg.list(cfg::kHeightList).entries.back(), "256");
  EXPECT_EQ(dlg.list(cfg::kColorList).SelectedText(), "Full color");
  dlg.list(cfg::kModelList).Select(2);  // Tarvo-D
  dlg.OnModelChanged();
  EXPECT_EQ(dlg.list(cfg::kWidthList).entries.back(), "4096");
  EXPECT_EQ(dlg.list(cfg::kHeightList).entries.back(), "512");
}

TEST_F(ScrConfigTest, RecordCarriesOnlyTheTickedItems) {
  uint8_t r[kScreenConfigSize];
  dlg.set_checked(cfg::kSpeedCheck, true);
  dlg.list(cfg::kSpeedList).Select(0);
  EXPECT_EQ(dlg.BuildRecord(r), 0x20);
  EXPECT_EQ(std::vector<uint8_t>(r, r + 16),
            (std::vector<uint8_t>{0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Temperature -5 in Fahrenheit, humidity +5, screen Tarvo-E full colour
  // 256 x 64, refresh 3 s / 15 s, font Big5.
  dlg.set_checked(cfg::kTempCheck, true);
  dlg.set_checked(cfg::kHumidityCheck, true);
  dlg.set_checked(cfg::kScreenCheck, true);
  dlg.set_checked(cfg::kRefreshCheck, true);
  dlg.set_checked(cfg::kFontCheck, true);
  dlg.list(cfg::kTempList).Select(63 - 5);
  dlg.set_fahrenheit(true);
  dlg.list(cfg::kHumidityList).Select(63 + 5);
  dlg.list(cfg::kModelList).Select(1);
  dlg.OnModelChanged();
  dlg.list(cfg::kWidthList).SelectExact("256");
  dlg.list(cfg::kHeightList).SelectExact("64");
  dlg.list(cfg::kTempRefreshList).Select(1);
  dlg.list(cfg::kHumidityRefreshList).Select(13);
  dlg.list(cfg::kFontList).Select(2);
  EXPECT_EQ(dlg.BuildRecord(r), 0x7D);
  EXPECT_EQ(
      std::vector<uint8_t>(r, r + 16),
      (std::vector<uint8_t>{0, 0x7D, 2, 0, 0xC5, 0x05, 1, 0x77, 0x00, 0x01, 64, 0, 0, 0xD1, 0, 0}));
  EXPECT_EQ(AdjustmentByte(0, false), 0x00);
  EXPECT_EQ(AdjustmentByte(5, false), 0x05);
  EXPECT_EQ(ColorCode("RG color 256 level gray"), 0x73);
  EXPECT_EQ(ColorCode("Mono 256 level gray"), 0x71);
  EXPECT_EQ(ColorEntry(7), "RGB color");
  EXPECT_EQ(ColorEntry(2), "");
}

TEST_F(ScrConfigTest, AnswersApplyOnlyFlaggedItemsThatArrivedWhole) {
  // Model 7 is unknown: "Undefined" with the lists "0".
  uint8_t a[19] = {0, 0x7D, 4, 0, 0x83, 0x42, 7, 0x77, 0, 1, 32, 0, 0, 0x2F, 0, 0, 0xAA, 0xBB};
  dlg.ApplyAnswer(a, 18);
  EXPECT_EQ(dlg.list(cfg::kFontList).SelectedText(), "Extended ASCII");
  EXPECT_EQ(dlg.list(cfg::kTempList).SelectedText(), "+3");
  EXPECT_TRUE(dlg.fahrenheit());
  EXPECT_EQ(dlg.list(cfg::kHumidityList).SelectedText(), "-2");
  EXPECT_EQ(dlg.list(cfg::kModelList).SelectedText(), "Undefined");
  EXPECT_EQ(dlg.list(cfg::kWidthList).SelectedText(), "0");
  EXPECT_EQ(dlg.list(cfg::kSpeedList).SelectedText(), "Slow");
  // Refresh low nibble 15 lies outside the list: no selection; high nibble 2 -> "4".
  EXPECT_EQ(dlg.list(cfg::kTempRefreshList).selection, -1);
  EXPECT_EQ(dlg.list(cfg::kHumidityRefreshList).SelectedText(), "4");

  // Tarvo-C, RG color, 320 x 64; 13 bytes: speed applies, refresh does not.
  uint8_t b[13] = {0, 0x70, 0, 0, 0, 0, 3, 3, 0x40, 0x01, 64, 0, 1};
  dlg.ApplyAnswer(b, 13);
  EXPECT_EQ(dlg.list(cfg::kModelList).SelectedText(), "Tarvo-C");
  EXPECT_EQ(dlg.list(cfg::kColorList).SelectedText(), "RG color");
  EXPECT_EQ(dlg.list(cfg::kWidthList).SelectedText(), "320");
  EXPECT_EQ(dlg.list(cfg::kHeightList).SelectedText(), "64");
  EXPECT_EQ(dlg.list(cfg::kSpeedList).SelectedText(), "Fast");
  EXPECT_EQ(dlg.list(cfg::kTempRefreshList).selection, -1);
  EXPECT_EQ(dlg.list(cfg::kHumidityRefreshList).selection, -1);
  // Items not flagged lose their selection.
  EXPECT_EQ(dlg.list(cfg::kFontList).selection, -1);
  EXPECT_EQ(dlg.list(cfg::kTempList).selection, -1);
  // An unknown colour and an unlisted width (4 is no "40") keep the refilled
  // defaults; a height of 0 selects the first entry.
  uint8_t c[12] = {0, 0x10, 0, 0, 0, 0, 4, 0x55, 0x04, 0x00, 0, 0};
  dlg.ApplyAnswer(c, 12);
  EXPECT_EQ(dlg.list(cfg::kModelList).SelectedText(), "Tarvo-B");
  EXPECT_EQ(dlg.list(cfg::kColorList).SelectedText(), "RG color");
  EXPECT_EQ(dlg.list(cfg::kWidthList).SelectedText(), "128");
  EXPECT_EQ(dlg.list(cfg::kHeightList).SelectedText(), "8");
}

TEST(VersionText, ShowsModelAndEveryVersionInItsOwnLine) {
  const uint32_t words[7] = {0x0102, 0x2300, 0x0304, 0x0405, 0x0506, 0x0607, 0};
  EXPECT_EQ(FormatVersionText(50, words),
            "Tarvo-E/D\r\n\r\nVersion: 2.3 - 3.4 - 4.5\r\n\r\n LOGIC= 2.3\r\n SCAN = 5.6\r\n "
            "BOOT = 1.2\r\n BIOS = 3.4\r\n APP  = 4.5\r\n NET  = 6.7");
  const uint32_t logic[7] = {0, 0xFFFFABFFu, 0, 0, 0, 0, 0};
  std::string text = FormatVersionText(0x33, logic);
  EXPECT_EQ(text.rfind("Unknown", 0), 0u);
  EXPECT_NE(text.find("LOGIC= 10.11"), std::string::npos);
}

TEST(FirmwareImage, TagsCompareByteForByteAndBootHeadersAreChecked) {
  const std::string app = "ZVAPP ver\x01\x02";
  EXPECT_TRUE(ImageTagMatches(4, reinterpret_cast<const uint8_t*>(app.data()), app.size()));
  EXPECT_FALSE(ImageTagMatches(3, reinterpret_cast<const uint8_t*>(app.data()), app.size()));
  EXPECT_FALSE(ImageTagMatches(4, reinterpret_cast<const uint8_t*>(app.data()), 8));
  EXPECT_FALSE(ImageTagMatches(7, reinterpret_cast<const uint8_t*>(app.data()), app.size()));
  std::vector<uint8_t> buffer(kBootBufferSize, 0xFF);
  const char tag[] = "ZVSBOOT ve";
  std::copy(tag, tag + 10, buffer.begin());
  // Length 300, checksum of 300 bytes 0..299 mod 256.
  buffer[10] = buffer[11] = 0;
  buffer[12] = 0x01;
  buffer[13] = 0x2C;
  uint16_t sum = 0;
  for (int i = 0; i < 300; ++i) {
    buffer[20 + i] = static_cast<uint8_t>(i);
    sum = static_cast<uint16_t>(sum + (i & 0xFF));
  }
  buffer[14] = static_cast<uint8_t>(sum >> 8);
  buffer[15] = static_cast<uint8_t>(sum);
  BootImageHeader h{};
  EXPECT_EQ(CheckBootImage(buffer, 320, &h), BootImageCheck::kOk);
  EXPECT_EQ(h.length, 300u);
  buffer[25] ^= 1;
  EXPECT_EQ(CheckBootImage(buffer, 320, &h), BootImageCheck::kBadFormat);
  EXPECT_EQ(CheckBootImage(buffer, 19, &h), BootImageCheck::kBadFormat);
}

}  // namespace
}  // namespace tarvo

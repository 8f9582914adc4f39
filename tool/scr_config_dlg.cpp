#include "tool/scr_config_dlg.hpp"

#include <cstdlib>

#include "common/wire.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/tool_texts.hpp"
#include "tool/tool_view.hpp"

namespace tarvo {
namespace {

constexpr int kAdjustRange = 63;
constexpr int kAnswerRoom = 100;

struct ColorName {
  const char* text;
  int code;
};
constexpr ColorName kColors[] = {{"0", 0},
                                 {"Mono", 1},
                                 {"RG color", 3},
                                 {"RGB color", 7},
                                 {"Mono 256 level gray", 0x71},
                                 {"RG color 256 level gray", 0x73},
                                 {"Full color", 0x77}};

// Largest width and height, and the colours, offered per screen model.
struct ModelLimits {
  int max_width;
  int max_height;
  std::vector<std::string> colors;
};
ModelLimits LimitsOf(int model) {
  switch (model) {
    case 1:
      return {1024,
              256,
              {"Full color", "RG color 256 level gray", "Mono 256 level gray", "RGB color",
               "RG color", "Mono"}};
    case 2:
      return {4096, 512, {"RGB color", "RG color", "Mono"}};
    case 3:
      return {1024, 128, {"RG color", "Mono"}};
    case 4:
      return {1024, 64, {"RG color", "Mono"}};
    case 5:
      return {512, 32, {"RG color", "Mono"}};
    default:
      return {0, 0, {"0"}};
  }
}

std::vector<std::string> Steps(int first, int last, int step) {
  std::vector<std::string> out;
  for (int v = first; v <= last; v += step) out.push_back(std::to_string(v));
  return out;
}

int Number(const std::string& text) {
  return std::atoi(text.c_str());
}

}  // namespace

void ComboList::Select(int index) {
  selection = (index >= 0 && index < static_cast<int>(entries.size())) ? index : -1;
}

bool ComboList::SelectPrefix(const std::string& prefix) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].compare(0, prefix.size(), prefix) == 0) {
      selection = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool ComboList::SelectExact(const std::string& text) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == text) {
      selection = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

std::string ComboList::SelectedText() const {
  return selection >= 0 && selection < static_cast<int>(entries.size()) ? entries[selection]
                                                                        : std::string();
}

int ColorCode(const std::string& entry) {
  for (const ColorName& c : kColors)
    if (entry == c.text) return c.code;
  return -1;
}

std::string ColorEntry(int code) {
  for (const ColorName& c : kColors)
    if (code == c.code) return c.text;
  return std::string();
}

uint8_t AdjustmentByte(int value, bool fahrenheit) {
  int magnitude = value < 0 ? -value : value;
  uint8_t b = static_cast<uint8_t>(magnitude & 0x3F);
  if (value < 0) b |= 0x40;
  if (fahrenheit) b |= 0x80;
  return b;
}

CScrConfigDlg::CScrConfigDlg(ToolView& view, ConnectionManager& link, uint8_t type_code,
                             uint8_t controller_id)
    : view_(view), link_(link), type_code_(type_code), controller_id_(controller_id) {
  for (int id : {cfg::kFontList, cfg::kTempList, cfg::kHumidityList, cfg::kModelList,
                 cfg::kColorList, cfg::kWidthList, cfg::kHeightList, cfg::kSpeedList,
                 cfg::kTempRefreshList, cfg::kHumidityRefreshList})
    lists_[id] = ComboList{};
  for (int id : {cfg::kFontCheck, cfg::kTempCheck, cfg::kHumidityCheck, cfg::kScreenCheck,
                 cfg::kSpeedCheck, cfg::kRefreshCheck})
    checks_[id] = false;
}

void CScrConfigDlg::OnInitDialog() {
  ComboList& font = lists_[cfg::kFontList];
  font.entries = {"ASCII", "GB2312", "Big5", "Shift JIS", "Extended ASCII", "KSC5601"};
  font.Select(1);
  std::vector<std::string> adjust;
  for (int v = -kAdjustRange; v <= kAdjustRange; ++v)
    adjust.push_back(v < 0 ? std::to_string(v) : v == 0 ? " 0" : "+" + std::to_string(v));
  lists_[cfg::kTempList].entries = adjust;
  lists_[cfg::kTempList].Select(kAdjustRange);
  lists_[cfg::kHumidityList].entries = adjust;
  lists_[cfg::kHumidityList].Select(kAdjustRange);
  fahrenheit_ = false;
  ComboList& model = lists_[cfg::kModelList];
  model.entries = {"Undefined", "Tarvo-E", "Tarvo-D", "Tarvo-C", "Tarvo-B", "Tarvo-A"};
  model.Select(0);
  OnModelChanged();
  lists_[cfg::kSpeedList].entries = {"Slow", "Fast"};
  lists_[cfg::kSpeedList].Select(1);
  for (int id : {cfg::kTempRefreshList, cfg::kHumidityRefreshList}) {
    lists_[id].entries = Steps(2, 15, 1);
    lists_[id].Select(0);
  }
  for (auto& c : checks_) c.second = false;
  Changed();
}

void CScrConfigDlg::OnModelChanged() {
  int model = lists_[cfg::kModelList].selection;
  ModelLimits limits = LimitsOf(model);
  ComboList& width = lists_[cfg::kWidthList];
  ComboList& height = lists_[cfg::kHeightList];
  ComboList& color = lists_[cfg::kColorList];
  color.entries = limits.colors;
  color.Select(0);
  if (limits.max_width == 0) {
    width.entries = {"0"};
    height.entries = {"0"};
    width.Select(0);
    height.Select(0);
    Changed();
    return;
  }
  width.entries = Steps(16, limits.max_width, 8);
  height.entries = Steps(8, limits.max_height, 8);
  width.selection = -1;
  height.selection = -1;
  width.SelectExact("128");
  height.SelectExact("32");
  Changed();
}

uint8_t CScrConfigDlg::RequestFlags() const {
  uint8_t flags = 0;
  if (checks_.at(cfg::kFontCheck)) flags |= cfg::kFlagFont;
  if (checks_.at(cfg::kTempCheck)) flags |= cfg::kFlagTemp;
  if (checks_.at(cfg::kHumidityCheck)) flags |= cfg::kFlagHumidity;
  if (checks_.at(cfg::kScreenCheck)) flags |= cfg::kFlagScreen;
  if (checks_.at(cfg::kSpeedCheck)) flags |= cfg::kFlagSpeed;
  if (checks_.at(cfg::kRefreshCheck)) flags |= cfg::kFlagRefresh;
  return flags;
}

uint8_t CScrConfigDlg::BuildRecord(uint8_t r[kScreenConfigSize]) const {
  for (size_t i = 0; i < kScreenConfigSize; ++i) r[i] = 0;
  uint8_t flags = RequestFlags();
  r[1] = flags;
  if (flags & cfg::kFlagFont) r[2] = static_cast<uint8_t>(list(cfg::kFontList).selection);
  if (flags & cfg::kFlagTemp)
    r[4] = AdjustmentByte(list(cfg::kTempList).selection - kAdjustRange, fahrenheit_);
  if (flags & cfg::kFlagHumidity)
    r[5] = AdjustmentByte(list(cfg::kHumidityList).selection - kAdjustRange, false);
  if (flags & cfg::kFlagScreen) {
    r[6] = static_cast<uint8_t>(list(cfg::kModelList).selection);
    int code = ColorCode(list(cfg::kColorList).SelectedText());
    r[7] = static_cast<uint8_t>(code < 0 ? 0 : code);
    wire::PutLe16(r + 8, static_cast<uint16_t>(Number(list(cfg::kWidthList).SelectedText())));
    wire::PutLe16(r + 10, static_cast<uint16_t>(Number(list(cfg::kHeightList).SelectedText())));
  }
  if (flags & cfg::kFlagSpeed) r[12] = static_cast<uint8_t>(list(cfg::kSpeedList).selection);
  if (flags & cfg::kFlagRefresh) {
    int t = list(cfg::kTempRefreshList).selection, h = list(cfg::kHumidityRefreshList).selection;
    r[13] = static_cast<uint8_t>((t & 0x0F) | ((h & 0x0F) << 4));
  }
  return flags;
}

void CScrConfigDlg::Show(const std::string& text) {
  last_result_ = text;
  view_.ShowMessage(text, kAppTitle, MessageIcon::kNone);
}

void CScrConfigDlg::OnSetToScreen() {
  uint8_t record[kScreenConfigSize];
  if (BuildRecord(record) == 0) {
    Show(kTextNothingSet);
    return;
  }
  std::string result = kTextFailed;
  if (link_.OpenLink(type_code_, controller_id_)) {
    uint8_t answer = SetScreenConfig(link_, record, kScreenConfigSize);
    link_.CloseLink();
    if (answer > 0) result = kTextConfigSuccessful;
  }
  Show(result);
}

void CScrConfigDlg::OnReadFromScreen() {
  uint8_t flags = RequestFlags();
  if (flags == 0) {
    Show(kTextNothingRead);
    return;
  }
  std::string result = kTextFailed;
  if (link_.OpenLink(type_code_, controller_id_)) {
    uint8_t answer[kAnswerRoom] = {};
    int length = static_cast<int>(ReadScreenConfig(link_, answer, sizeof answer, flags));
    link_.CloseLink();
    if (length > 0) {
      ApplyAnswer(answer, length);
      result = kTextConfigSuccessful;
    }
  }
  Show(result);
}

void CScrConfigDlg::ApplyAdjustment(int list_id, uint8_t byte, bool is_temperature) {
  int magnitude = byte & 0x3F;
  lists_[list_id].Select((byte & 0x40) ? kAdjustRange - magnitude : kAdjustRange + magnitude);
  if (is_temperature) fahrenheit_ = (byte & 0x80) != 0;
}

void CScrConfigDlg::ApplyAnswer(const uint8_t* a, int length) {
  uint8_t flags = length > 1 ? a[1] : 0;
  auto has = [&](uint8_t bit, int last_offset) { return (flags & bit) && length > last_offset; };

  if (has(cfg::kFlagFont, 2))
    lists_[cfg::kFontList].Select(a[2] < 6 ? a[2] : -1);
  else
    lists_[cfg::kFontList].selection = -1;

  if (has(cfg::kFlagTemp, 4))
    ApplyAdjustment(cfg::kTempList, a[4], true);
  else
    lists_[cfg::kTempList].selection = -1;

  if (has(cfg::kFlagHumidity, 5))
    ApplyAdjustment(cfg::kHumidityList, a[5], false);
  else
    lists_[cfg::kHumidityList].selection = -1;

  if (has(cfg::kFlagScreen, 11)) {
    lists_[cfg::kModelList].Select(a[6] > 5 ? 0 : a[6]);
    OnModelChanged();
    std::string color = ColorEntry(a[7]);
    if (!color.empty()) lists_[cfg::kColorList].SelectExact(color);
    for (auto [id, offset] : {std::pair{cfg::kWidthList, 8}, std::pair{cfg::kHeightList, 10}}) {
      uint16_t v = wire::GetLe16(a + offset);
      if (v == 0)
        lists_[id].Select(0);
      else
        lists_[id].SelectExact(std::to_string(v));  // an unlisted size keeps the default
    }
  } else {
    lists_[cfg::kModelList].Select(0);
    OnModelChanged();
  }

  if (has(cfg::kFlagSpeed, 12))
    lists_[cfg::kSpeedList].Select(a[12] & 0x0F);
  else
    lists_[cfg::kSpeedList].selection = -1;

  if (has(cfg::kFlagRefresh, 13)) {
    lists_[cfg::kTempRefreshList].Select(a[13] & 0x0F);
    lists_[cfg::kHumidityRefreshList].Select(a[13] >> 4);
  } else {
    lists_[cfg::kTempRefreshList].selection = -1;
    lists_[cfg::kHumidityRefreshList].selection = -1;
  }
  Changed();
}

}  // namespace tarvo

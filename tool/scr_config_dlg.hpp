// The "Config controller" dialog: the controller's screen configuration
// (font library, sensor adjustments, screen model/colour/size, speed, sensor
// refresh times). It holds the drop-down lists and check boxes as data; a
// front end shows them and calls the handlers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tarvo {

class ToolView;
class ConnectionManager;

namespace cfg {
// Check boxes.
inline constexpr int kFontCheck = 1071, kTempCheck = 1073, kHumidityCheck = 1074,
                     kScreenCheck = 1077, kSpeedCheck = 1149, kRefreshCheck = 1151;
// Lists.
inline constexpr int kFontList = 1072, kTempList = 1082, kHumidityList = 1075, kModelList = 1078,
                     kColorList = 1081, kWidthList = 1415, kHeightList = 1416, kSpeedList = 1150,
                     kTempRefreshList = 1152, kHumidityRefreshList = 1153;
// Radio buttons of the temperature unit.
inline constexpr int kCelsius = 1059, kFahrenheit = 1060;
// Buttons.
inline constexpr int kSetToScreen = 100, kReadFromScreen = 101;
// Flag bits of the record, one per check box.
inline constexpr uint8_t kFlagFont = 0x01, kFlagTemp = 0x04, kFlagHumidity = 0x08,
                         kFlagScreen = 0x10, kFlagSpeed = 0x20, kFlagRefresh = 0x40;
}  // namespace cfg

inline constexpr size_t kScreenConfigSize = 16;

// A drop-down list: its entries and the selected index (-1 = none).
struct ComboList {
  std::vector<std::string> entries;
  int selection = -1;
  // Index of the selection, or -1 when `index` is out of range (as a
  // combo box does: an invalid index clears the selection).
  void Select(int index);
  // Selects the first entry that begins with `prefix`; false (selection
  // kept) when none does.
  bool SelectPrefix(const std::string& prefix);
  bool SelectExact(const std::string& text);
  std::string SelectedText() const;
};

// Colour code of a colour entry ("Mono" 1 ... "Full color" 119); -1 unknown.
int ColorCode(const std::string& entry);
// Entry text of a colour code; empty for codes outside the table.
std::string ColorEntry(int code);
// Adjustment byte of a value -63..63: bits 0-5 magnitude, bit 6 negative,
// bit 7 Fahrenheit (temperature only).
uint8_t AdjustmentByte(int value, bool fahrenheit);

class CScrConfigDlg {
 public:
  CScrConfigDlg(ToolView& view, ConnectionManager& link, uint8_t type_code, uint8_t controller_id);

  // Fills every list with its defaults and clears the check boxes.
  void OnInitDialog();
  // Refills colour, width and height for the selected model.
  void OnModelChanged();
  // "&Set to Screen" and "&Read from screen". Both show their result.
  void OnSetToScreen();
  void OnReadFromScreen();

  // The 16-byte record of the ticked items; returns the flags (0 = nothing ticked).
  uint8_t BuildRecord(uint8_t record[kScreenConfigSize]) const;
  // Shows a read answer (record from offset 0, `length` bytes as received).
  void ApplyAnswer(const uint8_t* answer, int length);

  ComboList& list(int id) { return lists_.at(id); }
  const ComboList& list(int id) const { return lists_.at(id); }
  bool checked(int id) const { return checks_.at(id); }
  void set_checked(int id, bool on) { checks_.at(id) = on; }
  bool fahrenheit() const { return fahrenheit_; }
  void set_fahrenheit(bool on) { fahrenheit_ = on; }
  // Called after the dialog changed its lists, selections or the unit by
  // itself (initialisation, a model refill, an answer read from the screen),
  // so a front end shows them again. Not called for changes the front end
  // made with set_checked, set_fahrenheit or list(id).Select.
  void set_change_listener(std::function<void()> listener) { on_change_ = std::move(listener); }
  // The text of the last result shown ("Successful", "Failed", ...).
  const std::string& last_result() const { return last_result_; }

 private:
  uint8_t RequestFlags() const;
  void Show(const std::string& text);
  void ApplyAdjustment(int list_id, uint8_t byte, bool is_temperature);
  void Changed() {
    if (on_change_) on_change_();
  }

  ToolView& view_;
  ConnectionManager& link_;
  uint8_t type_code_;
  uint8_t controller_id_;
  std::map<int, ComboList> lists_;
  std::map<int, bool> checks_;
  bool fahrenheit_ = false;
  std::string last_result_;
  std::function<void()> on_change_;
};

}  // namespace tarvo

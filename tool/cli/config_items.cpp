#include "tool/cli/config_items.hpp"

#include <cctype>
#include <cstdlib>

#include "tool/scr_config_dlg.hpp"

namespace tarvo::cli {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Selects the entry equal to `text` regardless of case.
bool SelectText(ComboList& list, const std::string& text) {
  for (size_t i = 0; i < list.entries.size(); ++i) {
    if (Lower(list.entries[i]) == Lower(text)) {
      list.Select(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

bool ParseInt(const std::string& text, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != 0) return false;
  *out = static_cast<int>(v);
  return true;
}

// "-5", "+5", "0" with an optional unit letter for the temperature.
bool SetAdjustment(ComboList& list, std::string value, bool* fahrenheit) {
  if (fahrenheit && !value.empty()) {
    char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(value.back())));
    if (unit == 'F' || unit == 'C') {
      *fahrenheit = unit == 'F';
      value.pop_back();
    }
  }
  int v = 0;
  if (!ParseInt(value, &v) || v < -63 || v > 63) return false;
  list.Select(v + 63);
  return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

int CheckOf(const std::string& item) {
  if (item == "font") return cfg::kFontCheck;
  if (item == "temperature") return cfg::kTempCheck;
  if (item == "humidity") return cfg::kHumidityCheck;
  if (item == "screen") return cfg::kScreenCheck;
  if (item == "speed") return cfg::kSpeedCheck;
  if (item == "refresh") return cfg::kRefreshCheck;
  return 0;
}

std::string AdjustmentText(const ComboList& list) {
  std::string t = list.SelectedText();
  return t == " 0" ? "0" : t;
}

}  // namespace

const std::vector<std::string>& ConfigItemNames() {
  static const std::vector<std::string> names = {"font",   "temperature", "humidity",
                                                 "screen", "speed",       "refresh"};
  return names;
}

bool TickConfigItem(CScrConfigDlg& dlg, const std::string& item) {
  int check = CheckOf(item);
  if (check == 0) return false;
  dlg.set_checked(check, true);
  return true;
}

bool SetConfigItem(CScrConfigDlg& dlg, const std::string& assignment, std::string* error) {
  size_t eq = assignment.find('=');
  std::string item = Lower(assignment.substr(0, eq));
  std::string value = eq == std::string::npos ? std::string() : assignment.substr(eq + 1);
  if (eq == std::string::npos || !TickConfigItem(dlg, item)) {
    *error =
        "not an ITEM=VALUE of font, temperature, humidity, screen, speed, refresh: " + assignment;
    return false;
  }
  bool ok = false;
  if (item == "font") {
    ok = SelectText(dlg.list(cfg::kFontList), value);
  } else if (item == "temperature") {
    bool f = dlg.fahrenheit();
    ok = SetAdjustment(dlg.list(cfg::kTempList), value, &f);
    dlg.set_fahrenheit(f);
  } else if (item == "humidity") {
    ok = SetAdjustment(dlg.list(cfg::kHumidityList), value, nullptr);
  } else if (item == "speed") {
    ok = SelectText(dlg.list(cfg::kSpeedList), value);
  } else if (item == "refresh") {
    std::vector<std::string> parts = Split(value, ',');
    ok = parts.size() == 2 && SelectText(dlg.list(cfg::kTempRefreshList), parts[0]) &&
         SelectText(dlg.list(cfg::kHumidityRefreshList), parts[1]);
  } else if (item == "screen") {
    // MODEL,COLOUR,WIDTHxHEIGHT
    std::vector<std::string> parts = Split(value, ',');
    if (parts.size() == 3 && SelectText(dlg.list(cfg::kModelList), parts[0])) {
      dlg.OnModelChanged();
      std::vector<std::string> size = Split(Lower(parts[2]), 'x');
      ok = SelectText(dlg.list(cfg::kColorList), parts[1]) && size.size() == 2 &&
           SelectText(dlg.list(cfg::kWidthList), size[0]) &&
           SelectText(dlg.list(cfg::kHeightList), size[1]);
    }
  }
  if (!ok) *error = "value not offered for " + item + ": " + value;
  return ok;
}

std::string DescribeConfigItem(const CScrConfigDlg& dlg, const std::string& item) {
  if (item == "font") return dlg.list(cfg::kFontList).SelectedText();
  if (item == "temperature") {
    std::string t = AdjustmentText(dlg.list(cfg::kTempList));
    return t.empty() ? t : t + (dlg.fahrenheit() ? "F" : "C");
  }
  if (item == "humidity") return AdjustmentText(dlg.list(cfg::kHumidityList));
  if (item == "speed") return Lower(dlg.list(cfg::kSpeedList).SelectedText());
  if (item == "refresh") {
    std::string t = dlg.list(cfg::kTempRefreshList).SelectedText();
    std::string h = dlg.list(cfg::kHumidityRefreshList).SelectedText();
    return t.empty() && h.empty() ? std::string() : t + "," + h;
  }
  if (item == "screen") {
    std::string model = dlg.list(cfg::kModelList).SelectedText();
    if (model.empty()) return model;
    return model + "," + dlg.list(cfg::kColorList).SelectedText() + "," +
           dlg.list(cfg::kWidthList).SelectedText() + "x" +
           dlg.list(cfg::kHeightList).SelectedText();
  }
  return std::string();
}

}  // namespace tarvo::cli

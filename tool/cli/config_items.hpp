// The screen configuration items of "config read" and "config set": ticking
// the dialog's boxes and choosing its list entries from text, and the text
// of what the dialog shows after a read.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvo {
class CScrConfigDlg;
}

namespace tarvo::cli {

// Item names in the order the dialog shows them.
const std::vector<std::string>& ConfigItemNames();

// Ticks the box of `item` ("font", "temperature", ...); false for unknown names.
bool TickConfigItem(tarvo::CScrConfigDlg& dlg, const std::string& item);
// Ticks and sets one "item=value"; false with `error` for unknown items or values.
bool SetConfigItem(tarvo::CScrConfigDlg& dlg, const std::string& assignment, std::string* error);
// What the dialog shows for an item ("" when its list has no selection).
std::string DescribeConfigItem(const tarvo::CScrConfigDlg& dlg, const std::string& item);

}  // namespace tarvo::cli

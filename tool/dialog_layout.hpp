// What the tool's dialogs show, without any toolkit: every control's id,
// kind, caption and text limit, grouped as on screen, and the file list
// columns. A front end builds its widgets from these tables, so captions,
// accelerators and limits are written once and tests can check them.
#pragma once

#include <cstddef>
#include <vector>

namespace tarvo {

enum class ControlKind {
  kRadio,     // medium button or temperature unit
  kDropDown,  // fixed list
  kAddress,   // dotted IPv4 address
  kNumber,    // decimal integer (ports)
  kDigits,    // text of digits only (IMEI, Device ID)
  kText,      // free text
  kPassword,  // text shown hidden
  kButton,
  kCheck,
  kFileList,  // report list view of a disk
  kProgress,
};

// Screen groups of the main dialog. The four panel rows belong to the
// "Communication" group; the relay row serves "Zv Server" and "Zv GPRS".
enum class DialogGroup {
  kMedium,
  kSerialRow,
  kNetworkRow,
  kGatewayRow,
  kRelayRow,
  kUpgrade,
  kUserDisk,
  kSystemDisk,
  kBottom
};

struct ControlSpec {
  int id;
  ControlKind kind;
  // The control's own text (buttons, radios, check boxes) or the label in
  // front of a field; "" for none.
  const char* caption;
  DialogGroup group;
  // Longest text the field takes (0: no limit of its own). A longer text is
  // refused with the standard validation message when the panel is applied.
  size_t max_chars = 0;
};

struct ColumnSpec {
  const char* caption;
  int width;  // pixels
  bool right_aligned;
};

inline constexpr const char* kMainDialogCaption = "Tarvo Tool";
inline constexpr const char* kCommunicationGroup = "Communication";
inline constexpr const char* kUpgradeGroup = "Upgrade";
inline constexpr const char* kUserDiskGroup = "User Disk: Program data files";
inline constexpr const char* kSystemDiskGroup = "System Disk: Font files and configuration files ";

// Every control of the main dialog, in creation order within its group.
const std::vector<ControlSpec>& MainDialogControls();
// The control with `id`, or nullptr.
const ControlSpec* FindMainControl(int id);
// Columns of both file lists.
const std::vector<ColumnSpec>& FileListColumns();

// The "Config controller" dialog.
inline constexpr const char* kConfigDialogCaption = "Config controller";
// Ids of its non-list controls that the core does not name itself.
inline constexpr int kConfigCloseId = 2;
// One item row: the check box, the lists it governs and their labels.
struct ConfigItemSpec {
  int check_id;
  const char* check_caption;
  std::vector<int> lists;
  std::vector<const char*> labels;  // "" where a list has no label of its own
};
const std::vector<ConfigItemSpec>& ConfigDialogItems();
inline constexpr const char* kCelsiusCaption = "Celsius";
inline constexpr const char* kFahrenheitCaption = "Fahrenheit";
inline constexpr const char* kSetToScreenCaption = "&Set to Screen";
inline constexpr const char* kReadFromScreenCaption = "&Read from screen";
inline constexpr const char* kCloseCaption = "Close";

// The "Enter password" dialog: its hidden entry field.
inline constexpr const char* kPasswordDialogCaption = "Enter password";
inline constexpr int kPasswordEditId = 1035;

}  // namespace tarvo

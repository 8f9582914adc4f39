#include "tool/dialog_layout.hpp"

#include "tool/control_ids.hpp"
#include "tool/scr_config_dlg.hpp"

namespace tarvo {

const std::vector<ControlSpec>& MainDialogControls() {
  using K = ControlKind;
  using G = DialogGroup;
  static const std::vector<ControlSpec> kControls = {
      {ctl::kSerial, K::kRadio, "&RS232/485", G::kMedium},
      {ctl::kNetwork, K::kRadio, "&NetWork", G::kMedium},
      {ctl::kGprs, K::kRadio, "&GPRS Server", G::kMedium},
      {ctl::kZvServer, K::kRadio, "&Zv Server", G::kMedium},
      {ctl::kZvGprs, K::kRadio, "&Zv GPRS", G::kMedium},
      {ctl::kPortList, K::kDropDown, "Port", G::kSerialRow},
      {ctl::kBaudList, K::kDropDown, "Baudrate", G::kSerialRow},
      {ctl::kControllerIdList, K::kDropDown, "Controller ID", G::kSerialRow},
      {ctl::kNetIp, K::kAddress, "IP Address", G::kNetworkRow},
      {ctl::kNetPort, K::kNumber, "IP Port", G::kNetworkRow},
      {ctl::kIdCode, K::kAddress, "ID Code", G::kNetworkRow},
      {ctl::kGprsIp, K::kAddress, "IP Address", G::kGatewayRow},
      {ctl::kGprsPort, K::kNumber, "IP Port", G::kGatewayRow},
      {ctl::kImei, K::kDigits, "IMEI", G::kGatewayRow, 15},
      {ctl::kRelayIp, K::kAddress, "IP Address", G::kRelayRow},
      {ctl::kRelayPort, K::kNumber, "IP Port", G::kRelayRow},
      {ctl::kDeviceId, K::kDigits, "Device ID", G::kRelayRow, 30},
      {ctl::kUserName, K::kText, "User Name", G::kRelayRow, 50},
      {ctl::kPassword, K::kPassword, "Password", G::kRelayRow, 50},
      {ctl::kUpgradeApp, K::kButton, "Upgrade App", G::kUpgrade},
      {ctl::kUpgradeBios, K::kButton, "Upgrade Bios", G::kUpgrade},
      {ctl::kUpgradeBoot, K::kButton, "Upgrade Boot", G::kUpgrade},
      {ctl::kUpgradeNet, K::kButton, "Upgrade Net", G::kUpgrade},
      {ctl::kUpgradeScan, K::kButton, "Upgrade Scan", G::kUpgrade},
      {ctl::kConfig, K::kButton, "Config...", G::kUpgrade},
      {ctl::kReset, K::kButton, "Reset", G::kUpgrade},
      {ctl::kCheckVersion, K::kButton, "Check &Version", G::kUpgrade},
      {ctl::kUserList, K::kFileList, "", G::kUserDisk},
      {ctl::kUserRefresh, K::kButton, "Refresh", G::kUserDisk},
      {ctl::kUserFreeSpace, K::kButton, "Free Space", G::kUserDisk},
      {ctl::kUserWrite, K::kButton, "Write File", G::kUserDisk},
      {ctl::kUserDelete, K::kButton, "Delete File", G::kUserDisk},
      {ctl::kUserFormat, K::kButton, "Format", G::kUserDisk},
      {ctl::kUserRead, K::kButton, "Read File", G::kUserDisk},
      {ctl::kSystemList, K::kFileList, "", G::kSystemDisk},
      {ctl::kSystemRefresh, K::kButton, "Refresh", G::kSystemDisk},
      {ctl::kSystemFreeSpace, K::kButton, "Free Space", G::kSystemDisk},
      {ctl::kSystemWrite, K::kButton, "Write File", G::kSystemDisk},
      {ctl::kSystemDelete, K::kButton, "Delete File", G::kSystemDisk},
      {ctl::kSystemFormat, K::kButton, "Format", G::kSystemDisk},
      {ctl::kSystemRead, K::kButton, "Read File", G::kSystemDisk},
      {ctl::kNandTest, K::kButton, "NandTest", G::kBottom},
      {ctl::kProgress, K::kProgress, "", G::kBottom},
      {ctl::kExit, K::kButton, "E&xit", G::kBottom},
  };
  return kControls;
}

const ControlSpec* FindMainControl(int id) {
  for (const ControlSpec& c : MainDialogControls())
    if (c.id == id) return &c;
  return nullptr;
}

const std::vector<ColumnSpec>& FileListColumns() {
  static const std::vector<ColumnSpec> kColumns = {
      {"Name", 110, false}, {"Type", 60, false}, {"Size", 90, true}, {"Date", 100, false}};
  return kColumns;
}

const std::vector<ConfigItemSpec>& ConfigDialogItems() {
  static const std::vector<ConfigItemSpec> kItems = {
      {cfg::kFontCheck, "Font Library", {cfg::kFontList}, {""}},
      {cfg::kTempCheck, "Temperatury Adjust", {cfg::kTempList}, {""}},
      {cfg::kHumidityCheck, "Humidity Adjust", {cfg::kHumidityList}, {""}},
      {cfg::kScreenCheck,
       "Screen information    (Only for software to detect screen automatically)",
       {cfg::kModelList, cfg::kColorList, cfg::kWidthList, cfg::kHeightList},
       {"Controller", "Screen color", "Screen width", "Screen height"}},
      {cfg::kSpeedCheck, "Speed optimize", {cfg::kSpeedList}, {""}},
      {cfg::kRefreshCheck,
       "Data refresh time(second)",
       {cfg::kTempRefreshList, cfg::kHumidityRefreshList},
       {"Temperature", "Humidity"}},
  };
  return kItems;
}

}  // namespace tarvo

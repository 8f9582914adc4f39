// Numeric identifiers of the main dialog's controls. Front ends give their
// widgets these numbers; the enabling rules and the save/restore of enabled
// states work on them without any toolkit.
#pragma once

namespace tarvo::ctl {

// Medium radio buttons, in CommType order 1..5.
inline constexpr int kSerial = 1028, kNetwork = 1029, kGprs = 1030, kZvServer = 1031,
                     kZvGprs = 1044;
// Serial row.
inline constexpr int kPortList = 1021, kBaudList = 1020, kControllerIdList = 1022;
// Network row.
inline constexpr int kNetIp = 1025, kNetPort = 1027, kIdCode = 1026;
// Gateway row.
inline constexpr int kGprsIp = 1037, kGprsPort = 1032, kImei = 1033;
// Relay row.
inline constexpr int kRelayIp = 1038, kRelayPort = 1039, kDeviceId = 1040, kUserName = 1041,
                     kPassword = 1042;
// Upgrade row.
inline constexpr int kUpgradeApp = 1019, kUpgradeBios = 1018, kUpgradeBoot = 1024,
                     kUpgradeNet = 1017, kUpgradeScan = 1016, kConfig = 1035, kReset = 1034,
                     kCheckVersion = 1023;
// User disk panel.
inline constexpr int kUserList = 1000, kUserRefresh = 1001, kUserFreeSpace = 1012,
                     kUserWrite = 1003, kUserDelete = 1005, kUserFormat = 1002, kUserRead = 1004;
// System disk panel.
inline constexpr int kSystemList = 1007, kSystemRefresh = 1006, kSystemFreeSpace = 1013,
                     kSystemWrite = 1009, kSystemDelete = 1011, kSystemFormat = 1008,
                     kSystemRead = 1010;
// Bottom row.
inline constexpr int kNandTest = 1014, kExit = 2, kProgress = 1036;

// Every child control of the dialog, in creation order.
inline constexpr int kAll[] = {kSerial,          kNetwork,       kGprs,         kZvServer,
                               kZvGprs,          kPortList,      kBaudList,     kControllerIdList,
                               kNetIp,           kNetPort,       kIdCode,       kGprsIp,
                               kGprsPort,        kImei,          kRelayIp,      kRelayPort,
                               kDeviceId,        kUserName,      kPassword,     kUpgradeApp,
                               kUpgradeBios,     kUpgradeBoot,   kUpgradeNet,   kUpgradeScan,
                               kConfig,          kReset,         kCheckVersion, kUserList,
                               kUserRefresh,     kUserFreeSpace, kUserWrite,    kUserDelete,
                               kUserFormat,      kUserRead,      kSystemList,   kSystemRefresh,
                               kSystemFreeSpace, kSystemWrite,   kSystemDelete, kSystemFormat,
                               kSystemRead,      kNandTest,      kExit,         kProgress};

}  // namespace tarvo::ctl

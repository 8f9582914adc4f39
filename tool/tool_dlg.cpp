// The main dialog: panel, initialisation, enabling rules, command routing,
// transfer jobs and their reports. The button handlers live in
// tool_dlg_disk.cpp, tool_dlg_upgrade.cpp and tool_dlg_controller.cpp.
#include "tool/tool_dlg.hpp"

#include <cstdio>
#include <system_error>

#include "tool/codec/packet.hpp"
#include "tool/control_ids.hpp"
#include "tool/dialog_layout.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/password_dlg.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo {
namespace {

constexpr int kPortCount = 99;
constexpr int kBaudCount = 7;
constexpr int kControllerIdCount = 255;
// Ports are entered as integers; a TCP port has 16 bits.
constexpr int32_t kMaxPort = 65535;

const int kMediumButtons[] = {ctl::kSerial, ctl::kNetwork, ctl::kGprs, ctl::kZvServer,
                              ctl::kZvGprs};

}  // namespace

std::vector<std::string> PortListEntries() {
  std::vector<std::string> out;
  for (int i = 0; i < kPortCount; ++i) out.push_back(PortName(i));
  return out;
}

std::vector<std::string> BaudListEntries() {
  std::vector<std::string> out;
  for (int i = 0; i < kBaudCount; ++i) out.push_back(std::to_string(BaudRate(i)));
  return out;
}

std::vector<std::string> ControllerIdListEntries() {
  std::vector<std::string> out;
  for (int i = 1; i < kControllerIdCount; ++i) out.push_back(std::to_string(i));
  out.push_back("Any ID");
  return out;
}

std::vector<std::pair<int, bool>> MediumEnabling(int comm_type) {
  bool serial = comm_type == 1, net = comm_type == 2, gprs = comm_type == 3,
       relay = comm_type == 4 || comm_type == 5;
  return {{ctl::kPortList, serial},    {ctl::kBaudList, serial}, {ctl::kControllerIdList, serial},
          {ctl::kUpgradeBoot, serial}, {ctl::kNetIp, net},       {ctl::kIdCode, net},
          {ctl::kNetPort, net},        {ctl::kGprsIp, gprs},     {ctl::kGprsPort, gprs},
          {ctl::kImei, gprs},          {ctl::kRelayIp, relay},   {ctl::kRelayPort, relay},
          {ctl::kDeviceId, relay},     {ctl::kUserName, relay},  {ctl::kPassword, relay}};
}

CToolDlg::CToolDlg(ToolView& view, CToolApp& app) : view_(view), app_(app) {
  // Constructor defaults: the gateway server starts at 0 and the IMEI empty;
  // the settings file then supplies its own defaults for them.
  members_.server_ip = 0;
  members_.server_port = 0;
  members_.imei.clear();
  panel_ = members_;
  for (int id : ctl::kAll) {
    enabled_[id] = true;
    shown_[id] = true;
    checked_[id] = false;
  }
  shown_[ctl::kProgress] = false;
}

CToolDlg::~CToolDlg() {
  WaitForTransfer();
}

void CToolDlg::Enable(int id, bool on) {
  enabled_[id] = on;
  view_.EnableControl(id, on);
}

void CToolDlg::Show(int id, bool on) {
  shown_[id] = on;
  view_.ShowControl(id, on);
}

void CToolDlg::Check(int id, bool on) {
  checked_[id] = on;
  view_.CheckControl(id, on);
}

bool CToolDlg::IsEnabled(int id) const {
  auto it = enabled_.find(id);
  return it != enabled_.end() && it->second;
}

bool CToolDlg::IsShown(int id) const {
  auto it = shown_.find(id);
  return it != shown_.end() && it->second;
}

bool CToolDlg::IsChecked(int id) const {
  auto it = checked_.find(id);
  return it != checked_.end() && it->second;
}

void CToolDlg::Message(const std::string& text, MessageIcon icon) {
  view_.ShowMessage(text, kAppTitle, icon);
}

void CToolDlg::OnInitDialog() {
  CommSettings defaults = members_;
  CommSettings loaded;
  LoadSettings(app_.settings_path(), defaults, &loaded, &options_);
  app_.link().comm_type = loaded.comm_type;
  members_ = loaded;
  panel_ = loaded;
  // A list index outside its list leaves the list without a selection.
  if (panel_.port_index < 0 || panel_.port_index >= kPortCount) panel_.port_index = -1;
  if (panel_.baud_index < 0 || panel_.baud_index >= kBaudCount) panel_.baud_index = -1;
  user_rows_.clear();
  system_rows_.clear();
  view_.ShowRows(ctl::kUserList, user_rows_);
  view_.ShowRows(ctl::kSystemList, system_rows_);
  Show(ctl::kUpgradeScan, options_.upgrade_scan != 0);
  Show(ctl::kNandTest, false);
  Show(ctl::kProgress, false);
  for (int n = 1; n <= 5; ++n) Check(kMediumButtons[n - 1], app_.link().comm_type == n);
  EnableForMedium();
  UpdateData(false);
  ApplyLinkSettings();
  Show(ctl::kUserRead, options_.read_file != 0);
  Show(ctl::kSystemFormat, options_.format_sysdisk != 0);
  Show(ctl::kSystemRead, options_.read_file2 != 0);
  Show(ctl::kSystemDelete, options_.delete_sysfile != 0);
  if (!app_.gateway_loaded()) Enable(ctl::kGprs, false);
}

bool CToolDlg::OnDestroy(bool save) {
  closing_ = true;
  WaitForTransfer();
  if (!save) {
    app_.link().tcp.Close();
    return true;
  }
  CommSettings saved = members_;
  saved.comm_type = app_.link().comm_type;
  saved.port_index = panel_.port_index;
  saved.baud_index = panel_.baud_index;
  bool ok = SaveSettings(app_.settings_path(), saved);
  app_.link().tcp.Close();
  return ok;
}

void CToolDlg::EnableForMedium() {
  for (auto [id, on] : MediumEnabling(app_.link().comm_type)) Enable(id, on);
}

void CToolDlg::OnControllerIdChanged(int index) {
  panel_.card_id = index + 1;
  members_.card_id = index + 1;
}

bool CToolDlg::OnSysCommand(int id) {
  if (id < 16 || id > 31) return false;
  view_.ShowAbout(kAboutTitle, kAboutText);
  return true;
}

bool CToolDlg::UpdateData(bool save) {
  if (!save) {
    panel_.ip_addr = members_.ip_addr;
    panel_.id_code = members_.id_code;
    panel_.ip_port = members_.ip_port;
    panel_.server_ip = members_.server_ip;
    panel_.server_port = members_.server_port;
    panel_.imei = members_.imei;
    panel_.relay_ip = members_.relay_ip;
    panel_.relay_port = members_.relay_port;
    panel_.device_id = members_.device_id;
    panel_.user_name = members_.user_name;
    panel_.password = members_.password;
    view_.PushPanel(panel_);
    return true;
  }
  view_.PullPanel(&panel_);
  // Fields go over one by one in this order; the first one that is refused
  // stops the transfer with the standard message and the focus on it,
  // leaving the later ones as they were.
  auto refuse = [&](int id, const std::string& text) {
    Message(text, MessageIcon::kExclamation);
    view_.FocusControl(id);
    return false;
  };
  auto too_long = [&](int id, const std::string& text) {
    size_t max = FindMainControl(id)->max_chars;
    if (text.size() <= max) return false;
    char msg[80];
    std::snprintf(msg, sizeof msg, kTextMaxChars, static_cast<int>(max));
    return !refuse(id, msg);
  };
  auto bad_port = [&](int id, int32_t port) {
    return (port < 0 || port > kMaxPort) && !refuse(id, kTextPortRange);
  };
  members_.ip_addr = panel_.ip_addr;
  members_.id_code = panel_.id_code;
  if (bad_port(ctl::kNetPort, panel_.ip_port)) return false;
  members_.ip_port = panel_.ip_port;
  members_.server_ip = panel_.server_ip;
  if (bad_port(ctl::kGprsPort, panel_.server_port)) return false;
  members_.server_port = panel_.server_port;
  if (too_long(ctl::kImei, panel_.imei)) return false;
  members_.imei = panel_.imei;
  members_.relay_ip = panel_.relay_ip;
  if (bad_port(ctl::kRelayPort, panel_.relay_port)) return false;
  members_.relay_port = panel_.relay_port;
  if (too_long(ctl::kDeviceId, panel_.device_id)) return false;
  // The relay media address a card by its Device ID; without one no link
  // could be meant.
  int medium = app_.link().comm_type;
  if ((medium == 4 || medium == 5) && panel_.device_id.empty())
    return refuse(ctl::kDeviceId, kTextEnterDeviceId);
  members_.device_id = panel_.device_id;
  if (too_long(ctl::kUserName, panel_.user_name)) return false;
  members_.user_name = panel_.user_name;
  if (too_long(ctl::kPassword, panel_.password)) return false;
  members_.password = panel_.password;
  return true;
}

bool CToolDlg::ApplyLinkSettings() {
  // A refused field ends the operation: no link is opened with a panel
  // that was only partly applied.
  if (!UpdateData(true)) return false;
  CommSettings values = members_;
  values.port_index = panel_.port_index;
  FillLinkSettings(app_.link(), app_.link().comm_type, values, BaudRate(panel_.baud_index),
                   app_.ports());
  return true;
}

bool CToolDlg::RequestAccess(int kind) {
  return tarvo::RequestAccess(view_, kind, &unlocked_kinds_);
}

bool CToolDlg::OpenDirect(const char* failure_title) {
  if (!ApplyLinkSettings()) return false;
  if (app_.link().OpenLink(kControllerTypeCode, static_cast<uint8_t>(members_.card_id)))
    return true;
  view_.ShowMessage(kTextCommFailed, failure_title, MessageIcon::kNone);
  return false;
}

const std::vector<FileRow>& CToolDlg::rows(int list_id) const {
  return list_id == ctl::kSystemList ? system_rows_ : user_rows_;
}

void CToolDlg::SetRows(int list_id, std::vector<FileRow> rows) {
  if (list_id == ctl::kSystemList) {
    system_rows_ = std::move(rows);
    system_selection_ = -1;
  } else {
    user_rows_ = std::move(rows);
    user_selection_ = -1;
  }
  view_.ShowRows(list_id, this->rows(list_id));
}

void CToolDlg::SelectRow(int list_id, int index) {
  int count = static_cast<int>(rows(list_id).size());
  int sel = index >= 0 && index < count ? index : -1;
  (list_id == ctl::kSystemList ? system_selection_ : user_selection_) = sel;
}

int CToolDlg::selected_row(int list_id) const {
  return list_id == ctl::kSystemList ? system_selection_ : user_selection_;
}

void CToolDlg::OnCommand(int id) {
  if (!IsEnabled(id)) return;
  switch (id) {
    case ctl::kSerial:
    case ctl::kNetwork:
    case ctl::kGprs:
    case ctl::kZvServer:
    case ctl::kZvGprs:
      for (int n = 1; n <= 5; ++n) {
        if (kMediumButtons[n - 1] == id) app_.link().comm_type = n;
        Check(kMediumButtons[n - 1], kMediumButtons[n - 1] == id);
      }
      EnableForMedium();
      break;
    case ctl::kUserRefresh:
      OnRefresh(true);
      break;
    case ctl::kSystemRefresh:
      OnRefresh(false);
      break;
    case ctl::kUserFreeSpace:
      OnFreeSpace(true);
      break;
    case ctl::kSystemFreeSpace:
      OnFreeSpace(false);
      break;
    case ctl::kUserWrite:
      OnWriteFile(true);
      break;
    case ctl::kSystemWrite:
      OnWriteFile(false);
      break;
    case ctl::kUserRead:
      OnReadFile(true);
      break;
    case ctl::kSystemRead:
      OnReadFile(false);
      break;
    case ctl::kUserDelete:
      OnDeleteFile(true);
      break;
    case ctl::kSystemDelete:
      OnDeleteFile(false);
      break;
    case ctl::kUserFormat:
      OnFormat(true);
      break;
    case ctl::kSystemFormat:
      OnFormat(false);
      break;
    case ctl::kUpgradeApp:
      OnUpgradeImage(OperationKind::kApplication);
      break;
    case ctl::kUpgradeBios:
      OnUpgradeImage(OperationKind::kBios);
      break;
    case ctl::kUpgradeNet:
      OnUpgradeImage(OperationKind::kNetwork);
      break;
    case ctl::kUpgradeScan:
      OnUpgradeImage(OperationKind::kScan);
      break;
    case ctl::kUpgradeBoot:
      OnUpgradeBoot();
      break;
    case ctl::kCheckVersion:
      OnCheckVersion();
      break;
    case ctl::kReset:
      OnReset();
      break;
    case ctl::kNandTest:
      OnNandTest();
      break;
    case ctl::kConfig:
      OnConfig();
      break;
    default:
      break;
  }
}

long CToolDlg::LoadForTransfer(const std::string& path) {
  view_.SetWaitCursor(true);
  long size = ReadWholeFile(path, app_.transfer_buffer());
  view_.SetWaitCursor(false);
  if (size == -1) Message(kTextFailedOpenFile, MessageIcon::kExclamation);
  if (size == -2) Message(kTextFileTooLarge, MessageIcon::kExclamation);
  return size < 0 ? -1 : size;
}

void CToolDlg::StartJob(OperationKind kind, int target, const std::string& path, size_t size) {
  WaitForTransfer();
  job_ = TransferJob{};
  stop_requested_ = false;
  job_.stop = &stop_requested_;
  job_.report = [this](int code, int value) {
    if (closing_) return;
    view_.DeliverReport([this, code, value] { OnTransferReport(code, value); });
  };
  job_.comm_type = app_.link().comm_type;
  job_.controller_id = members_.card_id;
  job_.panel = members_;
  job_.panel.port_index = panel_.port_index;
  job_.panel.baud_index = panel_.baud_index;
  job_.baud_rate = BaudRate(panel_.baud_index);
  job_.local_path = path;
  job_.kind = kind;
  job_.target = target;

  // The controls are saved and disabled before the worker starts, so that
  // its first report always finds them saved.
  {
    std::lock_guard<std::mutex> lock(report_mutex_);
    progress_ = 0;
    view_.SetProgress(0);
    Show(ctl::kProgress, true);
    saved_ids_.clear();
    saved_enabled_.clear();
    for (int id : ctl::kAll) {
      saved_ids_.push_back(static_cast<unsigned>(id));
      saved_enabled_.push_back(IsEnabled(id) ? 1 : 0);
    }
    for (int id : ctl::kAll)
      if (id != ctl::kExit) Enable(id, false);
    busy_ = true;
  }
  bool block = size <= kBlockTransferLimit;
  try {
    worker_ = std::thread([this, block] {
      TransferContext ctx{app_.link(), app_.transfer_buffer(), app_.timing, app_.ports()};
      if (block)
        BlockTransferThread(ctx, job_);
      else
        StreamTransferThread(ctx, job_);
    });
  } catch (const std::system_error&) {
    job_.result.clear();
    OnTransferReport(kReportFailedEarly, 0);
    Message(kTextFailedUpdateFile);
  }
}

void CToolDlg::OnTransferReport(int code, int value) {
  std::lock_guard<std::mutex> lock(report_mutex_);
  if (code != kReportFinished && code != kReportFailedEarly) {
    progress_ = value;
    view_.SetProgress(value);
    return;
  }
  for (size_t i = 0; i < saved_ids_.size(); ++i)
    Enable(static_cast<int>(saved_ids_[i]), saved_enabled_[i] != 0);
  Show(ctl::kProgress, false);
  busy_ = false;
  if (!job_.result.empty()) Message(job_.result);
}

void CToolDlg::StopTransfer() {
  stop_requested_ = true;
}

bool CToolDlg::OnClose() {
  if (!busy_) return true;
  if (!view_.AskYesNo(kTextStopAndExit, kAppTitle)) return false;
  StopTransfer();
  return true;
}

void CToolDlg::WaitForTransfer() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

}  // namespace tarvo

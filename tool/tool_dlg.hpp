// The main dialog's logic: the communication panel and its settings, the
// enabling rules, every button handler and the handling of transfer
// reports. It reaches the screen only through ToolView and the controller
// only through the application's link.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tool/settings_file.hpp"
#include "tool/tool_view.hpp"
#include "tool/transfer_job.hpp"

namespace tarvo {

class CToolApp;
class CScrConfigDlg;

// Entries of the panel's value lists.
std::vector<std::string> PortListEntries();          // "COM1" ... "COM99"
std::vector<std::string> BaudListEntries();          // "115200" ... "2400"
std::vector<std::string> ControllerIdListEntries();  // "1" ... "254", "Any ID"

// The controls the medium decides on, and whether each is enabled for it.
std::vector<std::pair<int, bool>> MediumEnabling(int comm_type);

// Row texts of a directory entry as the file lists show them.
FileRow MakeFileRow(const std::string& name, const std::string& type, uint32_t size, int year,
                    int month, int day, int hour, int minute);
// The free-space text ("Failed", "%lu bytes", "%.1fM bytes (%lu bytes)").
std::string FreeSpaceText(uint32_t bytes);

// Hooks a front end may give the dialog for the screen configuration dialog.
class ConfigDialogRunner {
 public:
  virtual ~ConfigDialogRunner() = default;
  // Runs the dialog modally (its OnInitDialog has run).
  virtual void Run(CScrConfigDlg& dlg) = 0;
};

class CToolDlg {
 public:
  CToolDlg(ToolView& view, CToolApp& app);
  ~CToolDlg();
  CToolDlg(const CToolDlg&) = delete;
  CToolDlg& operator=(const CToolDlg&) = delete;

  // Initialisation: settings, lists, optional buttons, medium, enabling.
  void OnInitDialog();
  // Window destroy: saves the COMM section and closes the network socket.
  // A worker still running reports no more and is waited for (its waits are
  // bounded). False when the settings file could not be written. With
  // `save` false the file is left alone.
  bool OnDestroy(bool save = true);

  // A click on the control `id` (medium buttons and every button). Clicks
  // on disabled controls are ignored, as the screen would ignore them.
  void OnCommand(int id);
  // Selection change of the Controller ID list (index 254 = "Any ID").
  void OnControllerIdChanged(int index);
  // A report from a transfer worker (0 finished, 1 failed early, 2 progress).
  void OnTransferReport(int code, int value);
  // About box for system commands 16-31; false for other commands.
  bool OnSysCommand(int id);
  // The window is asked to close ("E&xit", the window's close box). While a
  // transfer runs the user is asked first; Yes stops the worker at its next
  // piece or block. True when the window may close (then OnDestroy).
  bool OnClose();
  // Asks a running worker to stop at its next piece or block; it closes its
  // link and reports "Transfer stopped!". Also used by Ctrl-C in tarvo-cli.
  void StopTransfer();

  // Panel transfer: controls to members (true) or members to controls.
  // A text longer than its field, a port outside 0-65535 or an empty Device
  // ID on a relay medium fails with the standard message, the focus goes
  // back to that field and false is returned.
  bool UpdateData(bool save);
  // Transfers the panel and fills the link settings for the current medium;
  // false (and no link settings changed) when the panel was refused.
  bool ApplyLinkSettings();
  // Asks for the access code of a kind once per run.
  bool RequestAccess(int kind);

  // The panel as its controls show it; front ends write typed values here.
  CommSettings& panel() { return panel_; }
  // The members (what operations use and what is saved).
  const CommSettings& members() const { return members_; }
  const OptionSettings& options() const { return options_; }
  CToolApp& app() { return app_; }
  int controller_id() const { return members_.card_id; }
  uint32_t unlocked_kinds() const { return unlocked_kinds_; }

  // File lists (ctl::kUserList, ctl::kSystemList) and their selection.
  const std::vector<FileRow>& rows(int list_id) const;
  void SetRows(int list_id, std::vector<FileRow> rows);
  // -1 clears the selection.
  void SelectRow(int list_id, int index);
  int selected_row(int list_id) const;

  bool IsEnabled(int id) const;
  bool IsShown(int id) const;
  bool IsChecked(int id) const;
  int progress() const { return progress_; }
  // What the last Check Version read; `shown` only when it showed versions.
  struct VersionsRead {
    bool shown = false;
    uint8_t model = 0;
    uint32_t words[7] = {};
  };
  const VersionsRead& versions_read() const { return versions_read_; }
  bool busy() const { return busy_; }
  // Waits until the worker last started has ended.
  void WaitForTransfer();
  const TransferJob& job() const { return job_; }
  void set_config_runner(ConfigDialogRunner* runner) { config_runner_ = runner; }

  // Handlers, also reachable through OnCommand.
  void OnRefresh(bool user_disk);
  void OnFreeSpace(bool user_disk);
  void OnReadFile(bool user_disk);
  void OnDeleteFile(bool user_disk);
  void OnFormat(bool user_disk);
  void OnWriteFile(bool user_disk);
  void OnUpgradeImage(OperationKind kind);
  void OnUpgradeBoot();
  void OnCheckVersion();
  void OnReset();
  void OnConfig();
  void OnNandTest() {}

 private:
  void Enable(int id, bool on);
  void Show(int id, bool on);
  void Check(int id, bool on);
  void EnableForMedium();
  void Message(const std::string& text, MessageIcon icon = MessageIcon::kNone);
  // The direct-operation shape up to an open link; false after showing
  // "Communication failed!".
  bool OpenDirect(const char* failure_title);
  // Fills the job from the panel and starts the worker for `size` bytes.
  void StartJob(OperationKind kind, int target, const std::string& path, size_t size);
  // Reads a chosen file into the transfer buffer with the messages of a
  // failure; the byte count or -1.
  long LoadForTransfer(const std::string& path);

  ToolView& view_;
  CToolApp& app_;
  CommSettings members_;
  CommSettings panel_;
  OptionSettings options_;
  uint32_t unlocked_kinds_ = 0;
  TransferJob job_;
  std::thread worker_;
  std::vector<FileRow> user_rows_, system_rows_;
  int user_selection_ = -1, system_selection_ = -1;
  std::map<int, bool> enabled_, shown_, checked_;
  // Enabled states saved while a worker runs.
  std::vector<unsigned> saved_ids_;
  std::vector<uint16_t> saved_enabled_;
  int progress_ = 0;
  VersionsRead versions_read_;
  bool busy_ = false;
  // A worker's report may run on its own thread (terminal front end).
  std::mutex report_mutex_;
  // Set when the window is destroyed: a running worker's later reports are
  // dropped, as reports to a destroyed window are.
  std::atomic<bool> closing_{false};
  // The running job's stop request (job_.stop points here).
  std::atomic<bool> stop_requested_{false};
  ConfigDialogRunner* config_runner_ = nullptr;
};

}  // namespace tarvo

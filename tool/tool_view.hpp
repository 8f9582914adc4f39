// What the tool core needs from a screen. The desktop front end implements it
// with widgets, tarvo-cli with the terminal, the tests with a scripted fake.
// Every call comes from the thread that runs the dialog's handlers, except
// DeliverReport, which a transfer worker calls from its own thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tool/settings_file.hpp"

namespace tarvo {

enum class MessageIcon { kNone, kExclamation, kInformation };

// One row of a disk's file list, as shown.
struct FileRow {
  std::string name;
  std::string type;
  std::string size;  // "%10d"
  std::string date;  // "yy-mm-dd hh:mm"
};

class ToolView {
 public:
  virtual ~ToolView() = default;

  // A message box with an OK button; returns when the user has seen it.
  virtual void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // File choosers; false when cancelled. `filter` is in the "*.bin|*.bin||" form.
  virtual bool ChooseOpenFile(const std::string& filter, std::string* path) = 0;
  virtual bool ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                              std::string* path) = 0;
  // The "Enter password" dialog; false when it ended with anything but OK.
  virtual bool PromptPassword(std::string* code) = 0;
  // The About box (caption and text), modal, with an OK button.
  virtual void ShowAbout(const std::string& title, const std::string& text) {
    ShowMessage(text, title, MessageIcon::kNone);
  }

  // The rows of a file list (1000 user disk, 1007 system disk) after a change.
  virtual void ShowRows(int list_id, const std::vector<FileRow>& rows) = 0;
  virtual void ShowControl(int id, bool shown) = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  // Radio buttons and check boxes.
  virtual void CheckControl(int id, bool checked) = 0;
  // Position of the progress bar (range 0-100).
  virtual void SetProgress(int position) = 0;
  virtual void SetWaitCursor(bool on) = 0;

  // Copies what the panel's fields show into `panel` (controls to members);
  // front ends whose fields write straight into the dialog do nothing.
  virtual void PullPanel(CommSettings* panel) {}
  // Shows the members in the panel's fields (members to controls).
  virtual void PushPanel(const CommSettings& panel) {}
  // Puts the keyboard focus on a control: after a validation message, on
  // the field whose value was refused.
  virtual void FocusControl(int id) {}

  // Runs `handle` on the dialog's thread and returns once it has run. The
  // default runs it at once on the caller's thread (the terminal front end).
  // A front end that marshals to its own thread must give up (without
  // running `handle`) once that thread is destroying the dialog, since
  // CToolDlg::OnDestroy waits for the worker.
  virtual void DeliverReport(const std::function<void()>& handle) { handle(); }
};

}  // namespace tarvo

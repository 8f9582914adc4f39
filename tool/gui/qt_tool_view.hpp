// The tool core's screen made of Qt widgets: message boxes, questions, file
// choosers and the password dialog run through a ModalRunner; controls are
// found by their numeric id; worker reports are handed to the window's
// thread and waited for.
#pragma once

#include <QString>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tool/tool_view.hpp"

class QWidget;

namespace tarvo::gui {

class ModalRunner;

// "*.bin|*.bin||" as the name filters of a Qt file dialog.
QStringList NameFilters(const std::string& filter);

class QtToolView : public ToolView {
 public:
  QtToolView(QWidget* window, ModalRunner& modal);

  // Makes `widget` the control `id` (also stored as its "controlId" property).
  void Register(int id, QWidget* widget);
  QWidget* Control(int id) const;
  // Folder the file choosers start in (the last one used, else home).
  void set_start_folder(const QString& folder) { start_folder_ = folder; }

  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  bool ChooseOpenFile(const std::string& filter, std::string* path) override;
  bool ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                      std::string* path) override;
  bool PromptPassword(std::string* code) override;
  void ShowAbout(const std::string& title, const std::string& text) override;
  void ShowRows(int list_id, const std::vector<FileRow>& rows) override;
  void ShowControl(int id, bool shown) override;
  void EnableControl(int id, bool enabled) override;
  void CheckControl(int id, bool checked) override;
  void SetProgress(int position) override;
  void SetWaitCursor(bool on) override;
  void PullPanel(CommSettings* panel) override;
  void PushPanel(const CommSettings& panel) override;
  void FocusControl(int id) override;
  void DeliverReport(const std::function<void()>& handle) override;

  // The window is being destroyed: reports still on their way are dropped
  // and a worker waiting for one is released.
  void BeginClosing();

 private:
  // Where a dialog of the view belongs: the modal dialog in front, else the window.
  QWidget* Owner() const;

  QWidget* window_;
  ModalRunner& modal_;
  std::map<int, QWidget*> controls_;
  QString start_folder_;
  int wait_cursors_ = 0;
  std::mutex mutex_;
  std::condition_variable handled_;
  bool closing_ = false;
};

}  // namespace tarvo::gui

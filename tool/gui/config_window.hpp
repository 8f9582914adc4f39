// The "Config controller" dialog on screen: a check box per item, the ten
// drop-down lists, the temperature unit and the three buttons. The lists'
// contents and selections live in CScrConfigDlg; this window shows them and
// passes every change back.
#pragma once

#include <QDialog>
#include <map>

#include "tool/tool_dlg.hpp"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace tarvo {
class CScrConfigDlg;
}

namespace tarvo::gui {

class ModalRunner;

class ConfigWindow : public QDialog {
 public:
  ConfigWindow(CScrConfigDlg& dlg, QWidget* parent = nullptr);
  ~ConfigWindow() override;

  // The widget of a control id of the dialog (lists, check boxes, radios,
  // buttons 100, 101 and 2 for Close).
  QWidget* Control(int id) const;

 private:
  // Shows the dialog's lists, selections, check boxes and unit again.
  void ShowState();

  CScrConfigDlg& dlg_;
  std::map<int, QComboBox*> lists_;
  std::map<int, QCheckBox*> checks_;
  std::map<int, QWidget*> controls_;
  QRadioButton* celsius_;
  QRadioButton* fahrenheit_;
};

// Runs the configuration dialog for the main dialog's "Config..." button.
class QtConfigRunner : public ConfigDialogRunner {
 public:
  QtConfigRunner(QWidget* owner, ModalRunner& modal) : owner_(owner), modal_(modal) {}
  void Run(CScrConfigDlg& dlg) override;

 private:
  QWidget* owner_;
  ModalRunner& modal_;
};

}  // namespace tarvo::gui

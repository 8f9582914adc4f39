// The main dialog on screen: the communication panel, the upgrade row, the
// two disk panels and the bottom row, built from the dialog's control table.
// Every click and selection goes to CToolDlg; everything the dialog shows
// comes back through QtToolView. No workflow is decided here.
#pragma once

#include <QDialog>

#include "tool/gui/config_window.hpp"
#include "tool/gui/qt_tool_view.hpp"
#include "tool/tool_dlg.hpp"

namespace tarvo {
class CToolApp;
}

namespace tarvo::gui {

class ModalRunner;

class ToolWindow : public QDialog {
 public:
  // Builds the window and runs the dialog's initialisation (settings,
  // lists, optional buttons, medium, enabling).
  ToolWindow(CToolApp& app, ModalRunner& modal, QWidget* parent = nullptr);
  ~ToolWindow() override;

  CToolDlg& dialog() { return dlg_; }
  QtToolView& view() { return view_; }
  // The widget of a control id of the dialog (nullptr for unknown ids).
  QWidget* Control(int id) const { return view_.Control(id); }

 protected:
  // "E&xit", Escape and the window's close box all come here: while a
  // transfer runs the dialog asks first; then the settings are saved.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  QLayout* BuildLayout();
  void ConnectControls();
  // Window destroy: drops late reports, waits for the worker, saves.
  void Finish();

  QtToolView view_;
  QtConfigRunner config_runner_;
  CToolDlg dlg_;
  bool finished_ = false;
};

}  // namespace tarvo::gui

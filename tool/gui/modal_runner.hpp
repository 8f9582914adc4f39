// How the desktop front end runs its modal dialogs (message boxes, file
// choosers, the password and configuration dialogs). The program runs each
// with exec(); tests and the screenshot tour put their own runner in its
// place, so they can read a box's text, answer it or take its picture
// without a nested event loop of their own.
#pragma once

class QDialog;

namespace tarvo::gui {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Shows `dialog` modally and returns its result: QDialog::Accepted or
  // Rejected, or for a message box the standard button pressed.
  virtual int Run(QDialog& dialog);
};

}  // namespace tarvo::gui

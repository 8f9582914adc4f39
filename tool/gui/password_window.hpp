// The "Enter password" dialog: one hidden entry, OK and Cancel.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace tarvo::gui {

class PasswordWindow : public QDialog {
 public:
  explicit PasswordWindow(QWidget* parent = nullptr);
  std::string code() const;
  QLineEdit* entry() const { return entry_; }

 private:
  QLineEdit* entry_;
};

}  // namespace tarvo::gui

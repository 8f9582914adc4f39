#include "tool/gui/password_window.hpp"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "tool/dialog_layout.hpp"

namespace tarvo::gui {

PasswordWindow::PasswordWindow(QWidget* parent) : QDialog(parent), entry_(new QLineEdit(this)) {
  setWindowTitle(kPasswordDialogCaption);
  entry_->setEchoMode(QLineEdit::Password);
  entry_->setProperty("controlId", kPasswordEditId);
  entry_->setMinimumWidth(220);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(entry_);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::string PasswordWindow::code() const {
  // The code is compared byte for byte; the entry keeps what was typed.
  return entry_->text().toStdString();
}

}  // namespace tarvo::gui

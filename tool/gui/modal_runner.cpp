#include "tool/gui/modal_runner.hpp"

#include <QDialog>

namespace tarvo::gui {

int ModalRunner::Run(QDialog& dialog) {
  return dialog.exec();
}

}  // namespace tarvo::gui

// Modal dialogs of the window answered by the test instead of a person:
// every message box is recorded and answered OK (or with a queued answer),
// file choosers, the password dialog and the configuration dialog take the
// next queued step. Nothing runs a nested event loop.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tool/gui/modal_runner.hpp"

namespace tarvo::test {

struct SeenBox {
  std::string title, text;
  QMessageBox::Icon icon;
};

class ScriptedRunner : public gui::ModalRunner {
 public:
  using Step = std::function<int(QDialog&)>;

  int Run(QDialog& dialog) override {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
      boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
      if (box->standardButtons() & QMessageBox::Yes) {
        bool yes = !yes_answers.empty() && yes_answers.front();
        if (!yes_answers.empty()) yes_answers.pop_front();
        return yes ? QMessageBox::Yes : QMessageBox::No;
      }
      return QMessageBox::Ok;
    }
    ++dialogs;
    if (steps.empty()) {
      unexpected.push_back(dialog.windowTitle().toStdString());
      return QDialog::Rejected;
    }
    Step step = steps.front();
    steps.pop_front();
    return step(dialog);
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const SeenBox& b : boxes) out.push_back(b.text);
    return out;
  }
  std::string LastText() const { return boxes.empty() ? std::string() : boxes.back().text; }

  std::vector<SeenBox> boxes;
  std::deque<bool> yes_answers;
  std::deque<Step> steps;
  std::vector<std::string> unexpected;  // dialogs shown with no step queued
  int dialogs = 0;
};

}  // namespace tarvo::test

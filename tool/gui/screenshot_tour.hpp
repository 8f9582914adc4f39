// A scripted walk through the real window for scripts/screenshots.sh: it
// presses the buttons a technician would, answers every modal dialog and
// saves pictures of the window and its dialogs as the X server shows them.
#pragma once

#include <QString>

#include "tool/gui/modal_runner.hpp"

class QWidget;

namespace tarvo::gui {

class ToolWindow;

// Answers modal dialogs on the tour: OK/Yes for message boxes, the tour's
// file for file choosers, Cancel for the password dialog; the next one
// shown is photographed as `next_shot` when that is set.
class TourRunner : public ModalRunner {
 public:
  explicit TourRunner(const QString& folder) : folder_(folder) {}
  int Run(QDialog& dialog) override;
  // Saves what the screen shows of `widget` as folder/name.
  bool Shoot(QWidget* widget, const QString& name);

  QString next_shot;
  QString open_file;
  int shots = 0;

 private:
  QString folder_;
};

// Runs the whole tour on a shown window, then closes it. `upload` is the
// file the transfer picture uploads (over 1 MiB, so it goes as a stream).
void RunTour(ToolWindow& window, TourRunner& runner, const QString& upload);

// Processes events for `ms` milliseconds, so the X server draws what changed.
void Settle(int ms);

}  // namespace tarvo::gui

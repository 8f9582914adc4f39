#include "tool/gui/screenshot_tour.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QTreeWidget>
#include <cstdio>

#include "tool/control_ids.hpp"
#include "tool/gui/config_window.hpp"
#include "tool/gui/password_window.hpp"
#include "tool/gui/tool_window.hpp"
#include "tool/scr_config_dlg.hpp"

namespace tarvo::gui {
namespace {

void Click(ToolWindow& window, int id) {
  if (auto* b = qobject_cast<QAbstractButton*>(window.Control(id))) b->click();
}

}  // namespace

void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool TourRunner::Shoot(QWidget* widget, const QString& name) {
  // The frame as the window manager drew it (title bar included), read
  // back from the X server's screen.
  QRect frame = widget->frameGeometry();
  QPixmap picture =
      widget->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  QString path = folder_ + "/" + name;
  bool saved = !picture.isNull() && picture.save(path, "PNG");
  std::fprintf(stderr, "%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
  if (saved) ++shots;
  return saved;
}

int TourRunner::Run(QDialog& dialog) {
  QString shot = next_shot;
  next_shot.clear();
  dialog.show();
  Settle(300);
  if (auto* config = dynamic_cast<ConfigWindow*>(&dialog)) {
    // Show an item ticked and a model chosen, so its lists are filled.
    static_cast<QCheckBox*>(config->Control(cfg::kScreenCheck))->setChecked(true);
    static_cast<QCheckBox*>(config->Control(cfg::kSpeedCheck))->setChecked(true);
    static_cast<QComboBox*>(config->Control(cfg::kModelList))->setCurrentIndex(1);
    Settle(300);
  }
  if (auto* password = dynamic_cast<PasswordWindow*>(&dialog)) {
    password->entry()->setText("12345");
    Settle(200);
  }
  auto* files = qobject_cast<QFileDialog*>(&dialog);
  if (files) {
    // Typed into the name field as a person would: a selection made before
    // the folder has been read can be lost.
    files->selectFile(open_file);
    if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(open_file);
    Settle(200);
  }
  if (!shot.isEmpty()) Shoot(&dialog, shot);
  dialog.hide();
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    std::fprintf(stderr, "message: %s\n", box->text().toLocal8Bit().constData());
    return box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
  }
  if (files) return open_file.isEmpty() ? QDialog::Rejected : QDialog::Accepted;
  return QDialog::Rejected;
}

void RunTour(ToolWindow& window, TourRunner& runner, const QString& upload) {
  Settle(500);
  const std::pair<int, const char*> media[] = {{ctl::kSerial, "main-serial.png"},
                                               {ctl::kNetwork, "main-network.png"},
                                               {ctl::kGprs, "main-gprs-server.png"},
                                               {ctl::kZvServer, "main-zv-server.png"},
                                               {ctl::kZvGprs, "main-zv-gprs.png"}};
  for (auto [id, name] : media) {
    Click(window, id);
    Settle(300);
    runner.Shoot(&window, name);
  }
  Click(window, ctl::kNetwork);
  Click(window, ctl::kUserRefresh);
  Click(window, ctl::kSystemRefresh);
  auto* list = static_cast<QTreeWidget*>(window.Control(ctl::kUserList));
  if (list->topLevelItemCount() > 0) list->setCurrentItem(list->topLevelItem(0));
  Settle(300);
  runner.Shoot(&window, "file-list.png");

  runner.next_shot = "version.png";
  Click(window, ctl::kCheckVersion);

  // A transfer: the picture is taken while the worker runs and the bar moves.
  runner.open_file = upload;
  Click(window, ctl::kUserWrite);
  auto* bar = static_cast<QProgressBar*>(window.Control(ctl::kProgress));
  QElapsedTimer waited;
  waited.start();
  while (window.dialog().busy() && bar->value() < 40 && waited.elapsed() < 60000) Settle(20);
  runner.Shoot(&window, "transfer.png");
  runner.next_shot = "transfer-result.png";
  while (window.dialog().busy() && waited.elapsed() < 60000) Settle(100);
  runner.open_file.clear();
  Click(window, ctl::kUserRefresh);
  Settle(200);

  runner.next_shot = "config.png";
  Click(window, ctl::kConfig);
  runner.next_shot = "password.png";
  Click(window, ctl::kUpgradeApp);
  runner.next_shot = "about.png";
  window.dialog().OnSysCommand(16);
  Settle(200);
  window.close();
}

}  // namespace tarvo::gui

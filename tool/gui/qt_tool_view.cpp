#include "tool/gui/qt_tool_view.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QSpacerItem>
#include <QThread>
#include <QTreeWidget>
#include <memory>

#include "tool/control_ids.hpp"
#include "tool/gui/address_field.hpp"
#include "tool/gui/modal_runner.hpp"
#include "tool/gui/password_window.hpp"

namespace tarvo::gui {
namespace {

QString Text(const std::string& s) {
  QString t = QString::fromStdString(s);
  t.replace("\r\n", "\n");
  return t;
}

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

template <class T>
T* As(QWidget* w) {
  return qobject_cast<T*>(w);
}

// A port field's value: empty or out of reach of an int reads as a value
// the panel refuses.
int32_t PortValue(const QString& text) {
  bool ok = false;
  qlonglong v = text.trimmed().toLongLong(&ok);
  if (!ok || v < 0 || v > 0x7FFFFFFF) return -1;
  return static_cast<int32_t>(v);
}

// A message box sizes itself to its text; a short text under a long caption
// ("Version information") would have the caption cut off by the window
// manager. A spacer keeps the box as wide as its caption needs.
void FitCaption(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  QFont title = box.font();
  title.setBold(true);
  int width = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + 140;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

QStringList NameFilters(const std::string& filter) {
  // Pairs of "description|pattern", ended by an empty pair.
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    out << QString("%1 (%2)").arg(parts[i], parts[i + 1]);
  }
  return out;
}

QtToolView::QtToolView(QWidget* window, ModalRunner& modal)
    : window_(window), modal_(modal), start_folder_(QDir::homePath()) {}

void QtToolView::Register(int id, QWidget* widget) {
  widget->setProperty("controlId", id);
  controls_[id] = widget;
}

QWidget* QtToolView::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QWidget* QtToolView::Owner() const {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : window_;
}

void QtToolView::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  QMessageBox box(IconOf(icon), Text(title), Text(text), QMessageBox::Ok, Owner());
  FitCaption(box);
  modal_.Run(box);
}

bool QtToolView::AskYesNo(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Question, Text(title), Text(text),
                  QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::Yes);
  FitCaption(box);
  return modal_.Run(box) == QMessageBox::Yes;
}

bool QtToolView::ChooseOpenFile(const std::string& filter, std::string* path) {
  QFileDialog dialog(Owner(), "Open", start_folder_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);  // only a file that exists
  dialog.setNameFilters(NameFilters(filter));
  if (modal_.Run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  QString chosen = dialog.selectedFiles().first();
  start_folder_ = QFileInfo(chosen).absolutePath();
  *path = chosen.toStdString();
  return true;
}

bool QtToolView::ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                                std::string* path) {
  QFileDialog dialog(Owner(), "Save As", start_folder_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(NameFilters(filter));
  dialog.selectFile(QString::fromStdString(initial_name));
  if (modal_.Run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  QString chosen = dialog.selectedFiles().first();
  start_folder_ = QFileInfo(chosen).absolutePath();
  *path = chosen.toStdString();
  return true;
}

bool QtToolView::PromptPassword(std::string* code) {
  PasswordWindow dialog(Owner());
  if (modal_.Run(dialog) != QDialog::Accepted) return false;
  *code = dialog.code();
  return true;
}

void QtToolView::ShowAbout(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Text(title), Text(text), QMessageBox::Ok, Owner());
  box.setIconPixmap(window_->windowIcon().pixmap(48, 48));
  FitCaption(box);
  modal_.Run(box);
}

void QtToolView::ShowRows(int list_id, const std::vector<FileRow>& rows) {
  auto* list = As<QTreeWidget>(Control(list_id));
  if (!list) return;
  list->clear();
  QList<QTreeWidgetItem*> items;
  for (const FileRow& r : rows) {
    auto* item = new QTreeWidgetItem(
        QStringList{QString::fromStdString(r.name), QString::fromStdString(r.type),
                    QString::fromStdString(r.size).trimmed(), QString::fromStdString(r.date)});
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    items << item;
  }
  list->addTopLevelItems(items);  // the list takes the items
}

void QtToolView::ShowControl(int id, bool shown) {
  if (QWidget* w = Control(id)) w->setVisible(shown);
}

void QtToolView::EnableControl(int id, bool enabled) {
  if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void QtToolView::CheckControl(int id, bool checked) {
  if (auto* b = As<QAbstractButton>(Control(id))) b->setChecked(checked);
}

void QtToolView::SetProgress(int position) {
  if (auto* bar = As<QProgressBar>(Control(ctl::kProgress))) bar->setValue(position);
}

void QtToolView::SetWaitCursor(bool on) {
  if (on) {
    ++wait_cursors_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The operation holds the window's thread: let the cursor reach the
    // screen before it starts.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else if (wait_cursors_ > 0) {
    --wait_cursors_;
    QApplication::restoreOverrideCursor();
  }
}

void QtToolView::PullPanel(CommSettings* p) {
  auto text = [&](int id) {
    auto* e = As<QLineEdit>(Control(id));
    return e ? e->text() : QString();
  };
  p->ip_addr = AddressValue(text(ctl::kNetIp));
  p->id_code = AddressValue(text(ctl::kIdCode));
  p->ip_port = PortValue(text(ctl::kNetPort));
  p->server_ip = AddressValue(text(ctl::kGprsIp));
  p->server_port = PortValue(text(ctl::kGprsPort));
  p->imei = text(ctl::kImei).toStdString();
  p->relay_ip = AddressValue(text(ctl::kRelayIp));
  p->relay_port = PortValue(text(ctl::kRelayPort));
  p->device_id = text(ctl::kDeviceId).toStdString();
  p->user_name = text(ctl::kUserName).toStdString();
  p->password = text(ctl::kPassword).toStdString();
  if (auto* c = As<QComboBox>(Control(ctl::kPortList))) p->port_index = c->currentIndex();
  if (auto* c = As<QComboBox>(Control(ctl::kBaudList))) p->baud_index = c->currentIndex();
}

void QtToolView::PushPanel(const CommSettings& p) {
  auto set = [&](int id, const QString& value) {
    if (auto* e = As<QLineEdit>(Control(id))) e->setText(value);
  };
  set(ctl::kNetIp, AddressText(p.ip_addr));
  set(ctl::kIdCode, AddressText(p.id_code));
  set(ctl::kNetPort, QString::number(p.ip_port));
  set(ctl::kGprsIp, AddressText(p.server_ip));
  set(ctl::kGprsPort, QString::number(p.server_port));
  set(ctl::kImei, QString::fromStdString(p.imei));
  set(ctl::kRelayIp, AddressText(p.relay_ip));
  set(ctl::kRelayPort, QString::number(p.relay_port));
  set(ctl::kDeviceId, QString::fromStdString(p.device_id));
  set(ctl::kUserName, QString::fromStdString(p.user_name));
  set(ctl::kPassword, QString::fromStdString(p.password));
  // An index outside its list leaves the list without a selection.
  auto select = [&](int id, int index) {
    if (auto* c = As<QComboBox>(Control(id)))
      c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
  };
  select(ctl::kPortList, p.port_index);
  select(ctl::kBaudList, p.baud_index);
  select(ctl::kControllerIdList, p.card_id - 1);
}

void QtToolView::FocusControl(int id) {
  QWidget* w = Control(id);
  if (!w) return;
  w->setFocus(Qt::OtherFocusReason);
  if (auto* e = As<QLineEdit>(w)) e->selectAll();
}

void QtToolView::DeliverReport(const std::function<void()>& handle) {
  if (QThread::currentThread() == window_->thread()) {
    handle();
    return;
  }
  // Handed to the window's thread; this thread waits until it has run, as
  // a report sent to the window does, or until the window is closing (then
  // the window's thread may be waiting for this worker to end).
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return;
  }
  QMetaObject::invokeMethod(
      window_,
      [this, handle, done] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (closing_) return;
        }
        handle();
        std::lock_guard<std::mutex> lock(mutex_);
        *done = true;
        handled_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  handled_.wait(lock, [&] { return *done || closing_; });
}

void QtToolView::BeginClosing() {
  std::lock_guard<std::mutex> lock(mutex_);
  closing_ = true;
  handled_.notify_all();
}

}  // namespace tarvo::gui

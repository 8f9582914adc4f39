#include "tool/gui/tool_window.hpp"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tool/control_ids.hpp"
#include "tool/dialog_layout.hpp"
#include "tool/gui/address_field.hpp"
#include "tool/gui/app_icon.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo::gui {
namespace {

// The system command of the About box.
constexpr int kAboutCommand = 16;

QTreeWidget* MakeFileList(QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);  // full-row selection
  list->setAllColumnsShowFocus(true);
  const std::vector<ColumnSpec>& columns = FileListColumns();
  QStringList captions;
  for (const ColumnSpec& c : columns) captions << c.caption;
  list->setHeaderLabels(captions);
  int width = 0;
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    list->setColumnWidth(i, columns[i].width);
    width += columns[i].width;
    if (columns[i].right_aligned)
      list->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
  }
  list->header()->setStretchLastSection(false);
  list->setMinimumSize(width + 24, 180);
  return list;
}

QWidget* MakeControl(const ControlSpec& spec, QWidget* parent) {
  switch (spec.kind) {
    case ControlKind::kRadio: {
      auto* radio = new QRadioButton(spec.caption, parent);
      // The dialog decides which medium button is selected (none, when the
      // settings name no medium), so the buttons do not exclude each other.
      radio->setAutoExclusive(false);
      return radio;
    }
    case ControlKind::kDropDown: {
      auto* combo = new QComboBox(parent);
      combo->setMaxVisibleItems(16);
      return combo;
    }
    case ControlKind::kAddress: {
      auto* field = new AddressField(parent);
      field->setMinimumWidth(120);
      return field;
    }
    case ControlKind::kNumber: {
      auto* field = new DigitsField(parent);
      field->setMaximumWidth(70);
      return field;
    }
    case ControlKind::kDigits:
      return new DigitsField(parent);
    case ControlKind::kText:
      return new QLineEdit(parent);
    case ControlKind::kPassword: {
      auto* field = new QLineEdit(parent);
      field->setEchoMode(QLineEdit::Password);
      return field;
    }
    case ControlKind::kFileList:
      return MakeFileList(parent);
    case ControlKind::kProgress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      return bar;
    }
    case ControlKind::kButton:
    case ControlKind::kCheck:
      break;
  }
  auto* button = new QPushButton(spec.caption, parent);
  // Enter in a field must not press an upgrade button.
  button->setAutoDefault(false);
  return button;
}

void Fill(QComboBox* combo, const std::vector<std::string>& entries) {
  for (const std::string& e : entries) combo->addItem(QString::fromStdString(e));
}

}  // namespace

ToolWindow::ToolWindow(CToolApp& app, ModalRunner& modal, QWidget* parent)
    : QDialog(parent), view_(this, modal), config_runner_(this, modal), dlg_(view_, app) {
  setWindowTitle(kMainDialogCaption);
  setWindowIcon(AppIcon());
  QFont font("Arial");
  font.setPointSizeF(QWidget::font().pointSizeF());
  setFont(font);
  BuildControls();
  QLayout* layout = BuildLayout();
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog
  ConnectControls();
  dlg_.set_config_runner(&config_runner_);
  dlg_.OnInitDialog();
}

ToolWindow::~ToolWindow() {
  Finish();
}

void ToolWindow::BuildControls() {
  for (const ControlSpec& spec : MainDialogControls())
    view_.Register(spec.id, MakeControl(spec, this));
  Fill(static_cast<QComboBox*>(Control(ctl::kPortList)), PortListEntries());
  Fill(static_cast<QComboBox*>(Control(ctl::kBaudList)), BaudListEntries());
  Fill(static_cast<QComboBox*>(Control(ctl::kControllerIdList)), ControllerIdListEntries());
}

QLayout* ToolWindow::BuildLayout() {
  auto label = [this](int id) { return new QLabel(FindMainControl(id)->caption, this); };

  // Communication: a medium button at the head of each row of fields; the
  // relay row takes two lines, one for each relay medium.
  auto* comm = new QGroupBox(kCommunicationGroup, this);
  auto* grid = new QGridLayout(comm);
  const std::vector<std::vector<int>> rows = {
      {ctl::kSerial, ctl::kPortList, ctl::kBaudList, ctl::kControllerIdList},
      {ctl::kNetwork, ctl::kNetIp, ctl::kNetPort, ctl::kIdCode},
      {ctl::kGprs, ctl::kGprsIp, ctl::kGprsPort, ctl::kImei},
      {ctl::kZvServer, ctl::kRelayIp, ctl::kRelayPort, ctl::kDeviceId},
      {ctl::kZvGprs, ctl::kUserName, ctl::kPassword}};
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    grid->addWidget(Control(rows[r][0]), r, 0);
    for (int f = 1; f < static_cast<int>(rows[r].size()); ++f) {
      QLabel* caption = label(rows[r][f]);
      caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      caption->setBuddy(Control(rows[r][f]));
      grid->addWidget(caption, r, 2 * f - 1);
      grid->addWidget(Control(rows[r][f]), r, 2 * f);
    }
  }
  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(6, 1);
  grid->setColumnMinimumWidth(0, 110);

  auto* upgrade = new QGroupBox(kUpgradeGroup, this);
  auto* upgrade_row = new QHBoxLayout(upgrade);
  for (int id : {ctl::kUpgradeApp, ctl::kUpgradeBios, ctl::kUpgradeBoot, ctl::kUpgradeNet,
                 ctl::kUpgradeScan, ctl::kConfig, ctl::kReset, ctl::kCheckVersion})
    upgrade_row->addWidget(Control(id));

  auto disk = [this](const char* caption, const int ids[7]) {
    auto* box = new QGroupBox(caption, this);
    auto* column = new QVBoxLayout(box);
    column->addWidget(Control(ids[0]));
    auto* buttons = new QGridLayout;
    for (int i = 1; i < 7; ++i) buttons->addWidget(Control(ids[i]), (i - 1) / 3, (i - 1) % 3);
    column->addLayout(buttons);
    return box;
  };
  const int user[7] = {ctl::kUserList,   ctl::kUserRefresh, ctl::kUserFreeSpace, ctl::kUserWrite,
                       ctl::kUserDelete, ctl::kUserFormat,  ctl::kUserRead};
  const int system[7] = {ctl::kSystemList,  ctl::kSystemRefresh, ctl::kSystemFreeSpace,
                         ctl::kSystemWrite, ctl::kSystemDelete,  ctl::kSystemFormat,
                         ctl::kSystemRead};
  auto* disks = new QHBoxLayout;
  disks->addWidget(disk(kUserDiskGroup, user));
  disks->addWidget(disk(kSystemDiskGroup, system));

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Control(ctl::kProgress), 1);
  bottom->addStretch();
  bottom->addWidget(Control(ctl::kNandTest));
  bottom->addWidget(Control(ctl::kExit));

  // Where the window manager offers no system menu entry for the About box,
  // a Help menu and F1 open it.
  auto* menu_bar = new QMenuBar(this);
  QAction* about = menu_bar->addMenu("&Help")->addAction(kAboutMenuItem);
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutContext(Qt::WindowShortcut);
  addAction(about);
  connect(about, &QAction::triggered, this, [this] { dlg_.OnSysCommand(kAboutCommand); });

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu_bar);
  layout->addWidget(comm);
  layout->addWidget(upgrade);
  layout->addLayout(disks);
  layout->addLayout(bottom);
  return layout;
}

void ToolWindow::ConnectControls() {
  for (const ControlSpec& spec : MainDialogControls()) {
    int id = spec.id;
    if (spec.kind == ControlKind::kButton || spec.kind == ControlKind::kRadio) {
      auto* button = static_cast<QAbstractButton*>(Control(id));
      if (id == ctl::kExit)
        connect(button, &QAbstractButton::clicked, this, &QWidget::close);
      else
        connect(button, &QAbstractButton::clicked, this, [this, id] { dlg_.OnCommand(id); });
    }
  }
  auto* port = static_cast<QComboBox*>(Control(ctl::kPortList));
  connect(port, &QComboBox::currentIndexChanged, this,
          [this](int index) { dlg_.panel().port_index = index; });
  auto* baud = static_cast<QComboBox*>(Control(ctl::kBaudList));
  connect(baud, &QComboBox::currentIndexChanged, this,
          [this](int index) { dlg_.panel().baud_index = index; });
  auto* controller = static_cast<QComboBox*>(Control(ctl::kControllerIdList));
  connect(controller, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) dlg_.OnControllerIdChanged(index);
  });
  for (int id : {ctl::kUserList, ctl::kSystemList}) {
    auto* list = static_cast<QTreeWidget*>(Control(id));
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this, list, id] {
      QList<QTreeWidgetItem*> selected = list->selectedItems();
      dlg_.SelectRow(id, selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first()));
    });
  }
}

void ToolWindow::closeEvent(QCloseEvent* event) {
  if (!finished_ && !dlg_.OnClose()) {
    event->ignore();
    return;
  }
  Finish();
  event->accept();
}

void ToolWindow::reject() {
  close();
}

void ToolWindow::Finish() {
  if (finished_) return;
  finished_ = true;
  view_.BeginClosing();
  dlg_.OnDestroy();
}

}  // namespace tarvo::gui

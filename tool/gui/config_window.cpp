#include "tool/gui/config_window.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "tool/dialog_layout.hpp"
#include "tool/gui/modal_runner.hpp"
#include "tool/scr_config_dlg.hpp"

namespace tarvo::gui {

ConfigWindow::ConfigWindow(CScrConfigDlg& dlg, QWidget* parent)
    : QDialog(parent),
      dlg_(dlg),
      celsius_(new QRadioButton(kCelsiusCaption, this)),
      fahrenheit_(new QRadioButton(kFahrenheitCaption, this)) {
  setWindowTitle(kConfigDialogCaption);
  auto* grid = new QGridLayout;
  int row = 0;
  for (const ConfigItemSpec& item : ConfigDialogItems()) {
    auto* check = new QCheckBox(item.check_caption, this);
    check->setProperty("controlId", item.check_id);
    checks_[item.check_id] = check;
    controls_[item.check_id] = check;
    int id = item.check_id;
    connect(check, &QCheckBox::toggled, this, [this, id](bool on) { dlg_.set_checked(id, on); });
    grid->addWidget(check, row++, 0, 1, 4);
    // The lists of an item go two to a line under its check box.
    for (size_t i = 0; i < item.lists.size(); ++i) {
      int list_id = item.lists[i];
      auto* combo = new QComboBox(this);
      combo->setProperty("controlId", list_id);
      combo->setMaxVisibleItems(20);
      combo->setMinimumContentsLength(12);
      lists_[list_id] = combo;
      controls_[list_id] = combo;
      int column = static_cast<int>(i % 2) * 2;
      if (i > 0 && i % 2 == 0) ++row;
      grid->addWidget(new QLabel(item.labels[i], this), row, column);
      grid->addWidget(combo, row, column + 1);
      connect(combo, &QComboBox::currentIndexChanged, this, [this, list_id](int index) {
        dlg_.list(list_id).Select(index);
        // A new model offers other colours and sizes.
        if (list_id == cfg::kModelList) dlg_.OnModelChanged();
      });
    }
    if (item.check_id == cfg::kTempCheck) {
      grid->addWidget(celsius_, row, 2);
      grid->addWidget(fahrenheit_, row, 3);
    }
    ++row;
  }
  celsius_->setProperty("controlId", cfg::kCelsius);
  fahrenheit_->setProperty("controlId", cfg::kFahrenheit);
  controls_[cfg::kCelsius] = celsius_;
  controls_[cfg::kFahrenheit] = fahrenheit_;
  connect(fahrenheit_, &QRadioButton::toggled, this, [this](bool on) { dlg_.set_fahrenheit(on); });

  auto* set = new QPushButton(kSetToScreenCaption, this);
  auto* read = new QPushButton(kReadFromScreenCaption, this);
  auto* close = new QPushButton(kCloseCaption, this);
  const std::pair<int, QPushButton*> buttons[] = {
      {cfg::kSetToScreen, set}, {cfg::kReadFromScreen, read}, {kConfigCloseId, close}};
  auto* row_of_buttons = new QHBoxLayout;
  row_of_buttons->addStretch();
  for (auto [id, button] : buttons) {
    button->setProperty("controlId", id);
    button->setAutoDefault(false);
    controls_[id] = button;
    row_of_buttons->addWidget(button);
  }
  connect(set, &QPushButton::clicked, this, [this] { dlg_.OnSetToScreen(); });
  connect(read, &QPushButton::clicked, this, [this] { dlg_.OnReadFromScreen(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(row_of_buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  dlg_.set_change_listener([this] { ShowState(); });
  ShowState();
}

ConfigWindow::~ConfigWindow() {
  dlg_.set_change_listener(nullptr);
}

QWidget* ConfigWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void ConfigWindow::ShowState() {
  for (auto& [id, combo] : lists_) {
    QSignalBlocker block(combo);
    const ComboList& list = dlg_.list(id);
    combo->clear();
    for (const std::string& entry : list.entries) combo->addItem(QString::fromStdString(entry));
    combo->setCurrentIndex(list.selection);
  }
  for (auto& [id, check] : checks_) {
    QSignalBlocker block(check);
    check->setChecked(dlg_.checked(id));
  }
  QSignalBlocker block_c(celsius_), block_f(fahrenheit_);
  celsius_->setChecked(!dlg_.fahrenheit());
  fahrenheit_->setChecked(dlg_.fahrenheit());
}

void QtConfigRunner::Run(CScrConfigDlg& dlg) {
  ConfigWindow window(dlg, owner_);
  modal_.Run(window);
}

}  // namespace tarvo::gui

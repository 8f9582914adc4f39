// The desktop window against a simulated controller on loopback TCP: every
// button clicked, the texts of the boxes it shows, the medium rows, a large
// upload with the window disabled and the bar moving, the configuration and
// password dialogs, closing during a transfer, and what the fields refuse.
#include "tool/gui/tool_window.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "scripted_runner.hpp"
#include "sim_fixture.hpp"
#include "tool/control_ids.hpp"
#include "tool/dialog_layout.hpp"
#include "tool/gui/config_window.hpp"
#include "tool/gui/password_window.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/scr_config_dlg.hpp"

namespace tarvo {
namespace {

constexpr uint8_t kListFiles = 0x28, kResetController = 0x2D, kSetScreenConfig = 0x71;

class GuiTest : public ::testing::Test {
 protected:
  void Start(const std::string& options = std::string(), bool gateway = true) {
    sim::SimulatorOptions o;
    o.tcp_port = 0;
    sim_ = std::make_unique<sim::Simulator>(o);
    ASSERT_EQ(sim_->Start(), 1) << sim_->error();
    std::string ini =
        "[COMM]\nCommType=2\nIP Addr=2130706433\nIP Port=" + std::to_string(sim_->tcp_port()) +
        "\n[OPTION]\n" + options;
    ASSERT_TRUE(WriteTextFile(ini_path(), ini));
    app.SetSettingsPath(ini_path());
    if (gateway) ASSERT_EQ(app.LoadGateway(TARVO_DCC_PATH), 1);
    app.timing = test::FastTiming();
    test::ShortenLinkWaits(app.link());
    window = std::make_unique<gui::ToolWindow>(app, runner);
    window->show();
  }
  void TearDown() override { window.reset(); }

  std::string ini_path() const { return dir.Path("tool.ini"); }
  template <class T = QWidget>
  T* W(int id) {
    return qobject_cast<T*>(window->Control(id));
  }
  // A click as the user makes it; only a visible, enabled control takes it.
  void Click(int id) {
    QWidget* w = window->Control(id);
    ASSERT_TRUE(w && w->isVisible() && w->isEnabled()) << id;
    QTest::mouseClick(w, Qt::LeftButton);
  }
  // Lets queued worker reports run until `done` holds (at most 20 s).
  template <class F>
  bool WaitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }
  void SelectRow(int list_id, int row) {
    auto* list = W<QTreeWidget>(list_id);
    list->setCurrentItem(list->topLevelItem(row));
  }
  void Store(uint8_t disk, const std::string& name, const std::string& type,
             const std::vector<uint8_t>& data) {
    test::StoreSimFile(*sim_, disk, name, type, data);
  }
  std::vector<uint8_t> Stored(uint8_t disk, const std::string& joined) {
    return test::SimFileBytes(*sim_, disk, joined);
  }
  uint32_t Count(uint8_t command) { return test::SimCount(*sim_, command); }
  // A file dialog step that picks `path` (after checking the filter shown).
  static test::ScriptedRunner::Step Choose(const std::string& path,
                                           const std::string& filter = std::string()) {
    return [path, filter](QDialog& d) {
      auto* files = qobject_cast<QFileDialog*>(&d);
      EXPECT_TRUE(files);
      if (!files) return int{QDialog::Rejected};
      if (!filter.empty()) EXPECT_EQ(files->nameFilters().join(";").toStdString(), filter);
      files->selectFile(QString::fromStdString(path));
      return int{QDialog::Accepted};
    };
  }

  test::TempDir dir;
  CToolApp app;
  test::ScriptedRunner runner;
  std::unique_ptr<gui::ToolWindow> window;
  std::unique_ptr<sim::Simulator> sim_;
};

TEST_F(GuiTest, EveryButtonOnTheNetworkMediumShowsWhatTheControllerAnswered) {
  Start("Read file=1\nRead file2=1\nFormat sysdisk=1\nDelete sysfile=1\n");
  std::vector<uint8_t> logo = test::Pattern(3000, 3);
  Store(kUserDisk, "LOGO", "BMP", logo);
  Store(kUserDisk, "NEWS", "TXT", {1, 2, 3});
  Store(kSystemDisk, "FONT", "HZK", test::Pattern(700, 4));

  Click(ctl::kUserRefresh);
  Click(ctl::kSystemRefresh);
  auto* user = W<QTreeWidget>(ctl::kUserList);
  ASSERT_EQ(user->topLevelItemCount(), 2);
  EXPECT_EQ(user->topLevelItem(0)->text(0), "LOGO");
  EXPECT_EQ(user->topLevelItem(0)->text(1), "BMP");
  EXPECT_EQ(user->topLevelItem(0)->text(2), "3000");
  EXPECT_EQ(user->topLevelItem(0)->textAlignment(2) & Qt::AlignRight, Qt::AlignRight);
  EXPECT_EQ(user->topLevelItem(0)->text(3), "26-12-07 21:05");
  EXPECT_EQ(W<QTreeWidget>(ctl::kSystemList)->topLevelItemCount(), 1);

  Click(ctl::kUserFreeSpace);
  EXPECT_NE(runner.LastText().find(" bytes"), std::string::npos) << runner.LastText();

  // Read File offers the row's name and saves the whole file where chosen.
  SelectRow(ctl::kUserList, 0);
  std::string offered;
  runner.steps.push_back([&](QDialog& d) {
    auto* files = qobject_cast<QFileDialog*>(&d);
    offered = files->selectedFiles().value(0).section('/', -1).toStdString();
    files->selectFile(QString::fromStdString(dir.Path("logo.copy")));
    return int{QDialog::Accepted};
  });
  Click(ctl::kUserRead);
  EXPECT_EQ(offered, "LOGO.BMP");
  EXPECT_EQ(test::ReadBytes(dir.Path("logo.copy")), logo);

  size_t before = runner.boxes.size();
  Click(ctl::kCheckVersion);
  ASSERT_EQ(runner.boxes.size(), before + 1);
  EXPECT_EQ(runner.boxes.back().title, "Version information");
  EXPECT_EQ(runner.LastText().rfind("Tarvo-E/D\n\nVersion: ", 0), 0u) << runner.LastText();
  Click(ctl::kReset);
  EXPECT_EQ(runner.LastText(), "Successful!");
  EXPECT_EQ(Count(kResetController), 1u);

  SelectRow(ctl::kUserList, 1);
  Click(ctl::kUserDelete);
  EXPECT_EQ(user->topLevelItemCount(), 1);
  EXPECT_TRUE(Stored(kUserDisk, "NEWS.TXT").empty());

  // The system disk's own buttons: upload, free space, read back, delete.
  std::vector<uint8_t> font = test::Pattern(900, 5);
  ASSERT_TRUE(test::WriteBytes(dir.Path("ASC16.FNT"), font));
  runner.steps.push_back(Choose(dir.Path("ASC16.FNT")));
  Click(ctl::kSystemWrite);
  ASSERT_TRUE(WaitFor([&] { return !window->dialog().busy(); }));
  EXPECT_EQ(runner.LastText(), "Successful!");
  EXPECT_EQ(Stored(kSystemDisk, "ASC16.FNT"), font);
  Click(ctl::kSystemFreeSpace);
  EXPECT_NE(runner.LastText().find(" bytes"), std::string::npos);
  Click(ctl::kSystemRefresh);
  SelectRow(ctl::kSystemList, 0);  // FONT.HZK
  runner.steps.push_back(Choose(dir.Path("font.copy")));
  Click(ctl::kSystemRead);
  EXPECT_EQ(test::ReadBytes(dir.Path("font.copy")), Stored(kSystemDisk, "FONT.HZK"));
  SelectRow(ctl::kSystemList, 1);
  Click(ctl::kSystemDelete);
  EXPECT_TRUE(Stored(kSystemDisk, "ASC16.FNT").empty());

  runner.yes_answers = {false, true};
  Click(ctl::kSystemFormat);  // No: nothing happens
  EXPECT_EQ(W<QTreeWidget>(ctl::kSystemList)->topLevelItemCount(), 1);
  Click(ctl::kSystemFormat);
  EXPECT_EQ(W<QTreeWidget>(ctl::kSystemList)->topLevelItemCount(), 0);
  EXPECT_EQ(runner.boxes[runner.boxes.size() - 1].text, "Sure to format system disk?");

  // Buttons the medium or the dialog keep away.
  EXPECT_FALSE(W(ctl::kUpgradeBoot)->isEnabled());
  EXPECT_FALSE(W(ctl::kNandTest)->isVisible());
  EXPECT_FALSE(W(ctl::kUpgradeScan)->isVisible());
  EXPECT_FALSE(W(ctl::kProgress)->isVisible());

  QTest::keyClick(window.get(), Qt::Key_F1);
  EXPECT_EQ(runner.boxes.back().title, "About Tarvo-E Tool");
  EXPECT_EQ(runner.LastText(), "Tarvo-E Tool V1.0");

  Click(ctl::kExit);
  EXPECT_FALSE(window->isVisible());
  std::string ini;
  ReadTextFile(ini_path(), &ini);
  EXPECT_NE(ini.find("IP Port=" + std::to_string(sim_->tcp_port())), std::string::npos) << ini;
  EXPECT_TRUE(runner.unexpected.empty());
}

TEST_F(GuiTest, CaptionsColumnsAndTheRowsEachMediumEnables) {
  Start();
  EXPECT_EQ(window->windowTitle(), "Tarvo Tool");
  EXPECT_EQ(W<QRadioButton>(ctl::kSerial)->text(), "&RS232/485");
  EXPECT_EQ(W<QPushButton>(ctl::kCheckVersion)->text(), "Check &Version");
  EXPECT_EQ(W<QPushButton>(ctl::kExit)->text(), "E&xit");
  EXPECT_EQ(window->Control(ctl::kUserWrite)->property("controlId").toInt(), ctl::kUserWrite);
  auto* list = W<QTreeWidget>(ctl::kSystemList);
  EXPECT_EQ(list->headerItem()->text(2), "Size");
  EXPECT_EQ(list->columnWidth(0), 110);
  EXPECT_EQ(list->columnWidth(3), 100);
  EXPECT_EQ(W<QComboBox>(ctl::kControllerIdList)->itemText(254), "Any ID");
  EXPECT_EQ(W<QComboBox>(ctl::kPortList)->count(), 99);
  EXPECT_FALSE(window->windowIcon().isNull());

  const int media[] = {ctl::kSerial, ctl::kNetwork, ctl::kGprs, ctl::kZvServer, ctl::kZvGprs};
  for (int n = 1; n <= 5; ++n) {
    Click(media[n - 1]);
    for (int m = 1; m <= 5; ++m)
      EXPECT_EQ(W<QRadioButton>(media[m - 1])->isChecked(), m == n) << n << " " << m;
    for (auto [id, on] : MediumEnabling(n)) EXPECT_EQ(W(id)->isEnabled(), on) << n << " " << id;
  }
  // Selecting "Any ID" addresses every controller.
  W<QComboBox>(ctl::kControllerIdList)->setCurrentIndex(254);
  EXPECT_EQ(window->dialog().controller_id(), 255);
}

TEST_F(GuiTest, WithoutTheGatewayLibraryTheGprsButtonIsDisabled) {
  Start(std::string(), false);
  EXPECT_FALSE(W(ctl::kGprs)->isEnabled());
  EXPECT_TRUE(W(ctl::kZvServer)->isEnabled());
}

TEST_F(GuiTest, UploadOverOneMebibyteDisablesTheWindowMovesTheBarAndRestoresIt) {
  Start("Read file=1\n");
  sim::FaultSettings slow;
  slow.reply_delay_ms = 1;
  sim_->SetFaults(slow);
  std::vector<uint8_t> data = test::Pattern(kBlockTransferLimit + 4000, 9);
  std::string path = dir.Path("MOVIE.PRG");
  ASSERT_TRUE(test::WriteBytes(path, data));
  std::vector<int> bar;
  bool disabled_while_running = true;
  QObject::connect(W<QProgressBar>(ctl::kProgress), &QProgressBar::valueChanged, [&](int v) {
    bar.push_back(v);
    if (v == 0) return;  // the start of the job, before the window is disabled
    for (int id : ctl::kAll)
      if (id != ctl::kExit && id != ctl::kProgress && W(id)->isEnabled())
        disabled_while_running = false;
    if (!W(ctl::kExit)->isEnabled() || !W(ctl::kProgress)->isVisible())
      disabled_while_running = false;
  });
  runner.steps.push_back(Choose(path, "*.* (*.*)"));
  Click(ctl::kUserWrite);
  EXPECT_TRUE(window->dialog().busy());
  ASSERT_TRUE(WaitFor([&] { return !window->dialog().busy(); }));
  EXPECT_EQ(runner.LastText(), "Successful!");
  EXPECT_TRUE(disabled_while_running);
  EXPECT_GT(bar.size(), 10u);
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
  EXPECT_FALSE(W(ctl::kProgress)->isVisible());
  EXPECT_TRUE(W(ctl::kUserRefresh)->isEnabled());
  EXPECT_TRUE(W(ctl::kNetIp)->isEnabled());
  EXPECT_FALSE(W(ctl::kUpgradeBoot)->isEnabled());  // restored as it was, not all enabled
  EXPECT_EQ(Stored(kUserDisk, "MOVIE.PRG"), data);
}

TEST_F(GuiTest, ConfigDialogRefillsForTheModelAndItsRecordReachesTheController) {
  Start();
  runner.steps.push_back([&](QDialog& d) {
    auto* config = dynamic_cast<gui::ConfigWindow*>(&d);
    EXPECT_TRUE(config);
    if (!config) return int{QDialog::Rejected};
    EXPECT_EQ(d.windowTitle(), "Config controller");
    auto combo = [&](int id) { return qobject_cast<QComboBox*>(config->Control(id)); };
    auto check = [&](int id) { return qobject_cast<QCheckBox*>(config->Control(id)); };
    EXPECT_EQ(combo(cfg::kFontList)->currentText(), "GB2312");
    EXPECT_EQ(combo(cfg::kModelList)->currentText(), "Undefined");
    EXPECT_EQ(combo(cfg::kWidthList)->count(), 1);
    // Choosing a model refills colour, width and height.
    combo(cfg::kModelList)->setCurrentIndex(5);  // "Tarvo-A"
    EXPECT_EQ(combo(cfg::kWidthList)->count(), (512 - 16) / 8 + 1);
    EXPECT_EQ(combo(cfg::kWidthList)->currentText(), "128");
    EXPECT_EQ(combo(cfg::kHeightList)->count(), 4);
    EXPECT_EQ(combo(cfg::kHeightList)->currentText(), "32");
    EXPECT_EQ(combo(cfg::kColorList)->currentText(), "RG color");
    // Nothing ticked: nothing is sent.
    QTest::mouseClick(config->Control(cfg::kSetToScreen), Qt::LeftButton);
    EXPECT_EQ(runner.LastText(), "Nothing will be set!");
    check(cfg::kScreenCheck)->setChecked(true);
    combo(cfg::kColorList)->setCurrentIndex(1);  // "Mono"
    combo(cfg::kWidthList)->setCurrentText("256");
    check(cfg::kSpeedCheck)->setChecked(true);
    combo(cfg::kSpeedList)->setCurrentIndex(0);  // "Slow"
    check(cfg::kTempCheck)->setChecked(true);
    combo(cfg::kTempList)->setCurrentIndex(63 - 5);
    qobject_cast<QRadioButton*>(config->Control(cfg::kFahrenheit))->setChecked(true);
    QTest::mouseClick(config->Control(cfg::kSetToScreen), Qt::LeftButton);
    EXPECT_EQ(runner.LastText(), "Successful");
    // Another model on the screen, read back into the lists.
    sim_->WithModel([](sim::ControllerModel& m) {
      uint8_t r[16] = {0, 0x10, 0, 0, 0, 0, 2, 7, 0x00, 0x04, 0x00, 0x02, 0, 0, 0, 0};
      return m.screen_config().Set(r, sizeof r);
    });
    QTest::mouseClick(config->Control(cfg::kReadFromScreen), Qt::LeftButton);
    EXPECT_EQ(runner.LastText(), "Successful");
    EXPECT_EQ(combo(cfg::kModelList)->currentText(), "Tarvo-D");
    EXPECT_EQ(combo(cfg::kColorList)->currentText(), "RGB color");
    EXPECT_EQ(combo(cfg::kWidthList)->currentText(), "1024");
    EXPECT_EQ(combo(cfg::kHeightList)->currentText(), "512");
    EXPECT_EQ(combo(cfg::kWidthList)->count(), (4096 - 16) / 8 + 1);
    QTest::mouseClick(config->Control(kConfigCloseId), Qt::LeftButton);
    return d.result();
  });
  Click(ctl::kConfig);
  EXPECT_TRUE(runner.steps.empty());
  EXPECT_EQ(Count(kSetScreenConfig), 1u);
  sim::ScreenRecord r =
      sim_->WithModel([](sim::ControllerModel& m) { return m.screen_config().Current(); });
  EXPECT_EQ(r[4], 0xC5);  // -5 degrees Fahrenheit
  EXPECT_EQ(r[12], 0);    // slow
  EXPECT_EQ(r[6], 2);     // the model read back last
}

TEST_F(GuiTest, PasswordDialogGatesAnUpgradeOncePerRun) {
  Start("Upgrade scan=1\n");
  std::vector<uint8_t> image(3000, 0x5A);
  const char tag[] = "ZVAPP ver";
  std::copy(tag, tag + 9, image.begin());
  std::string path = dir.Path("app.bin");
  ASSERT_TRUE(test::WriteBytes(path, image));
  auto enter = [](const char* code) {
    return [code](QDialog& d) {
      auto* password = dynamic_cast<gui::PasswordWindow*>(&d);
      EXPECT_TRUE(password);
      if (!password) return int{QDialog::Rejected};
      EXPECT_EQ(d.windowTitle(), "Enter password");
      EXPECT_EQ(password->entry()->echoMode(), QLineEdit::Password);
      QTest::keyClicks(password->entry(), code);
      return int{QDialog::Accepted};
    };
  };
  runner.steps.push_back(enter("39215"));
  Click(ctl::kUpgradeApp);
  EXPECT_EQ(runner.LastText(), "Password incorrect!");
  EXPECT_EQ(runner.dialogs, 1);  // no file chooser after a wrong code
  runner.steps.push_back(enter("39214"));
  runner.steps.push_back(Choose(path, "*.bin (*.bin)"));
  Click(ctl::kUpgradeApp);
  ASSERT_TRUE(WaitFor([&] { return !window->dialog().busy(); }));
  EXPECT_EQ(runner.LastText(), "Successful!");
  EXPECT_EQ(Count(kResetController), 1u);  // a block upgrade restarts the controller
  // Unlocked now: straight to the file chooser (cancelled here).
  runner.steps.push_back([](QDialog&) { return int{QDialog::Rejected}; });
  Click(ctl::kUpgradeApp);
  EXPECT_EQ(runner.dialogs, 4);
  // The other image buttons ask for their own codes and check their own tags.
  for (auto [id, code] :
       {std::pair{ctl::kUpgradeBios, "39214"}, std::pair{ctl::kUpgradeNet, "39214"},
        std::pair{ctl::kUpgradeScan, "73204"}}) {
    runner.steps.push_back(enter(code));
    runner.steps.push_back(Choose(path));
    Click(id);
    EXPECT_EQ(runner.LastText(), "File mask incorrect!") << id;
    EXPECT_EQ(runner.boxes.back().icon, QMessageBox::Warning);
  }
  EXPECT_TRUE(runner.unexpected.empty());
}

TEST_F(GuiTest, ClosingDuringATransferAsksAndYesStopsItAndSaves) {
  Start();
  sim::FaultSettings slow;
  slow.reply_delay_ms = 3;
  sim_->SetFaults(slow);
  std::string path = dir.Path("BIG.PRG");
  ASSERT_TRUE(test::WriteBytes(path, test::Pattern(kBlockTransferLimit + 100000)));
  runner.steps.push_back(Choose(path));
  Click(ctl::kUserWrite);
  ASSERT_TRUE(WaitFor([&] { return W<QProgressBar>(ctl::kProgress)->value() > 0; }));
  runner.yes_answers = {false, true};
  Click(ctl::kExit);  // No: the transfer goes on
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->dialog().busy());
  EXPECT_EQ(runner.LastText(), "A transfer is running. Stop it and exit?");
  Click(ctl::kExit);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->dialog().job().result,
            "Transfer stopped! The file on the controller is incomplete.");
  EXPECT_EQ(app.link().type_code(), 0);  // the link was closed
  EXPECT_TRUE(Stored(kUserDisk, "BIG.PRG").empty());
  std::string ini;
  ReadTextFile(ini_path(), &ini);
  EXPECT_NE(ini.find("DeviceID=100001"), std::string::npos) << ini;
}

TEST_F(GuiTest, FieldsRefuseBadInputAndNoLinkOpensWithAPartlyAppliedPanel) {
  Start();
  auto* ip = W<QLineEdit>(ctl::kNetIp);
  ip->clear();
  QTest::keyClicks(ip, "10.a0.300.7");  // letters and 300 are refused as typed
  EXPECT_EQ(ip->text(), "10.0.30.7");
  auto* port = W<QLineEdit>(ctl::kNetPort);
  port->clear();
  QTest::keyClicks(port, "7x0000");
  EXPECT_EQ(port->text(), "70000");
  uint32_t lists = Count(kListFiles);
  Click(ctl::kUserRefresh);
  EXPECT_EQ(runner.LastText(), "Please enter an integer between 0 and 65535.");
  EXPECT_EQ(runner.boxes.back().icon, QMessageBox::Warning);
  EXPECT_EQ(window->focusWidget(), port);
  EXPECT_EQ(Count(kListFiles), lists);  // no request went out
  port->setText(QString::number(sim_->tcp_port()));

  Click(ctl::kZvServer);
  auto* device = W<QLineEdit>(ctl::kDeviceId);
  device->clear();
  QTest::keyClicks(device, "10ab");
  EXPECT_EQ(device->text(), "10");
  device->clear();
  Click(ctl::kReset);
  EXPECT_EQ(runner.LastText(), "Please enter a Device ID.");
  EXPECT_EQ(window->focusWidget(), device);
  QTest::keyClicks(device, "100001");
  W<QLineEdit>(ctl::kUserName)->setText(QString(51, 'u'));
  Click(ctl::kReset);
  EXPECT_EQ(runner.LastText(), "Please enter no more than 50 characters.");
  EXPECT_EQ(window->focusWidget(), W(ctl::kUserName));
  EXPECT_EQ(Count(kResetController), 0u);
  W<QLineEdit>(ctl::kUserName)->setText("user01");

  // File choosers that point at a folder or a file too large for the buffer.
  Click(ctl::kNetwork);
  runner.steps.push_back(Choose(dir.path()));
  Click(ctl::kUserWrite);
  EXPECT_EQ(runner.LastText(), "Failed to open file!");
  std::string huge = dir.Path("huge.bin");
  ASSERT_TRUE(test::WriteBytes(huge, std::vector<uint8_t>(kTransferBufferSize + 1)));
  runner.steps.push_back(Choose(huge));
  Click(ctl::kUserWrite);
  EXPECT_EQ(runner.LastText(),
            "The file is larger than 16 MiB (16777216 bytes) and cannot be transferred!");
  EXPECT_FALSE(window->dialog().busy());
}

TEST_F(GuiTest, ControllerGoneMidTransferEndsWithTheFailureTextAndEveryControlBack) {
  Start();
  sim::FaultSettings slow;
  slow.reply_delay_ms = 2;
  sim_->SetFaults(slow);
  std::string path = dir.Path("GONE.PRG");
  ASSERT_TRUE(test::WriteBytes(path, test::Pattern(kBlockTransferLimit + 50000)));
  runner.steps.push_back(Choose(path));
  Click(ctl::kUserWrite);
  ASSERT_TRUE(WaitFor([&] { return W<QProgressBar>(ctl::kProgress)->value() > 0; }));
  sim_->Stop();
  ASSERT_TRUE(WaitFor([&] { return !window->dialog().busy(); }));
  EXPECT_EQ(runner.LastText(), "Communication failed!");
  for (int id : {ctl::kUserRefresh, ctl::kUserWrite, ctl::kConfig, ctl::kNetIp, ctl::kNetwork})
    EXPECT_TRUE(W(id)->isEnabled()) << id;
  EXPECT_FALSE(W(ctl::kProgress)->isVisible());
}

}  // namespace
}  // namespace tarvo

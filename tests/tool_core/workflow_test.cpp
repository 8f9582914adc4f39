// Every button of the main dialog against a simulated controller on loopback
// TCP, with the texts the user sees.
#include <gtest/gtest.h>

#include "link_test_util.hpp"
#include "scripted_tcp_peer.hpp"
#include "sim_fixture.hpp"
#include "tool/control_ids.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/scr_config_dlg.hpp"

namespace tarvo {
namespace {

using test::SimFixture;

constexpr uint8_t kListFiles = 0x28, kReadFileData = 0x36, kFormatDisk = 0x26,
                  kResetController = 0x2D, kWriteBootData = 0x19, kEraseBootSector = 0x17,
                  kCreateBlockFile = 0x50, kCreateStreamFile = 0x30, kDeleteFile = 0x2C;

int RowOf(const CToolDlg& dlg, int list, const std::string& name) {
  const auto& rows = dlg.rows(list);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].name == name) return static_cast<int>(i);
  return -1;
}

TEST_F(SimFixture, RefreshReadsEveryPageAndAFullPageAsksForTheNext) {
  for (const char* name : {"A", "B", "C", "D"}) StoreFile(kUserDisk, name, "PRG", {1, 2, 3});
  dlg->OnCommand(ctl::kUserRefresh);
  ASSERT_EQ(dlg->rows(ctl::kUserList).size(), 4u);
  EXPECT_EQ(Count(kListFiles), 2u);  // the second page answers with no entry
  const FileRow& row = dlg->rows(ctl::kUserList)[0];
  EXPECT_EQ(row.name, "A");
  EXPECT_EQ(row.type, "PRG");
  EXPECT_EQ(row.size, "         3");
  EXPECT_EQ(row.date, "26-12-07 21:05");
  EXPECT_EQ(view.rows[ctl::kUserList].size(), 4u);
  for (int i = 0; i < 9; ++i) StoreFile(kSystemDisk, "F" + std::to_string(i), "HZK", {9});
  dlg->OnCommand(ctl::kSystemRefresh);
  EXPECT_EQ(dlg->rows(ctl::kSystemList).size(), 9u);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(app.link().type_code(), 0);  // the link was closed again
}

TEST_F(SimFixture, FreeSpaceShowsBytesOrMegabytes) {
  simulator().WithModel([](sim::ControllerModel& m) {
    m.disk(kUserDisk).set_capacity(1048575);
    m.disk(kSystemDisk).set_capacity(1572864);
    return 0;
  });
  dlg->OnCommand(ctl::kUserFreeSpace);
  dlg->OnCommand(ctl::kSystemFreeSpace);
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"1048575 bytes", "1.5M bytes (1572864 bytes)"}));
  simulator().WithModel([](sim::ControllerModel& m) {
    m.disk(kUserDisk).set_capacity(0);
    return 0;
  });
  dlg->OnCommand(ctl::kUserFreeSpace);
  EXPECT_EQ(view.LastText(), "Failed");
}

TEST_F(SimFixture, ReadFileSavesTheWholeFileUnderItsBareName) {
  std::vector<uint8_t> font = test::Pattern(3000);
  StoreFile(kSystemDisk, "FONT", "HZK", font);
  dlg->OnCommand(ctl::kSystemRefresh);
  dlg->SelectRow(ctl::kSystemList, RowOf(*dlg, ctl::kSystemList, "FONT"));
  view.save_paths.push_back(dir.Path("saved.hzk"));
  dlg->OnCommand(ctl::kSystemRead);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.save_initial_names.back(), "FONT.HZK");
  EXPECT_EQ(test::ReadBytes(dir.Path("saved.hzk")), font);
  EXPECT_EQ(Count(kReadFileData), 6u);  // 512-byte pieces
}

TEST_F(SimFixture, ReadFileThatDoesNotArriveWholeSavesNothing) {
  StoreFile(kUserDisk, "LOG", "TXT", test::Pattern(2000));
  dlg->OnCommand(ctl::kUserRefresh);
  dlg->SelectRow(ctl::kUserList, 0);
  sim::FaultSettings f;
  f.silent_commands = {kReadFileData};
  simulator().SetFaults(f);
  view.save_paths.push_back(dir.Path("never.txt"));
  dlg->OnCommand(ctl::kUserRead);
  EXPECT_EQ(view.LastText(), "Failed!");
  EXPECT_TRUE(view.save_initial_names.empty());
  EXPECT_TRUE(test::ReadBytes(dir.Path("never.txt")).empty());
  // A file the controller cannot open ends without a message.
  simulator().SetFaults(sim::FaultSettings{});
  view.messages.clear();
  dlg->SetRows(ctl::kUserList, {FileRow{"NONE", "TXT", "", ""}});
  dlg->SelectRow(ctl::kUserList, 0);
  dlg->OnCommand(ctl::kUserRead);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SimFixture, DeleteRemovesTheRowOnlyWhenTheControllerDeletedTheFile) {
  StoreFile(kUserDisk, "ONE", "PRG", {1});
  StoreFile(kUserDisk, "TWO", "PRG", {2});
  dlg->OnCommand(ctl::kUserRefresh);
  dlg->SelectRow(ctl::kUserList, RowOf(*dlg, ctl::kUserList, "TWO"));
  dlg->OnCommand(ctl::kUserDelete);
  EXPECT_EQ(dlg->rows(ctl::kUserList).size(), 1u);
  EXPECT_FALSE(HasFile(kUserDisk, "TWO.PRG"));
  // The controller refuses a file that is not there: the row stays, silently.
  dlg->SetRows(ctl::kUserList, {FileRow{"GONE", "PRG", "", ""}});
  dlg->SelectRow(ctl::kUserList, 0);
  dlg->OnCommand(ctl::kUserDelete);
  EXPECT_EQ(dlg->rows(ctl::kUserList).size(), 1u);
  EXPECT_EQ(Count(kDeleteFile), 2u);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SimFixture, FormatAsksFirstThenRefreshesOrReportsTheFailure) {
  StoreFile(kUserDisk, "OLD", "PRG", {1});
  view.yes_answers = {true};
  dlg->OnCommand(ctl::kUserFormat);
  EXPECT_EQ(view.questions.back(), "Sure to format user disk?");
  EXPECT_FALSE(HasFile(kUserDisk, "OLD.PRG"));
  EXPECT_EQ(Count(kListFiles), 1u);
  EXPECT_TRUE(view.messages.empty());
  sim::FaultSettings f;
  f.silent_commands = {kFormatDisk};
  simulator().SetFaults(f);
  view.yes_answers = {true, true};
  dlg->OnCommand(ctl::kUserFormat);
  dlg->OnCommand(ctl::kSystemFormat);
  EXPECT_EQ(view.questions.back(), "Sure to format system disk?");
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Low Format NG!", "Low Format failed!"}));
  EXPECT_EQ(view.messages.back().title, "Tarvo Tool");
}

TEST_F(SimFixture, CheckVersionAndResetShowTheirTexts) {
  dlg->OnCommand(ctl::kCheckVersion);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].title, "Version information");
  // The simulator's words: BOOT 1.2, LOGIC 2.1, BIOS 3.5, APP 4.16, SCAN 2.1, NET 1.3.
  EXPECT_EQ(view.messages[0].text,
            "Tarvo-E/D\r\n\r\nVersion: 2.1 - 3.5 - 4.16\r\n\r\n LOGIC= 2.1\r\n SCAN = 2.1\r\n "
            "BOOT = 1.2\r\n BIOS = 3.5\r\n APP  = 4.16\r\n NET  = 1.3");
  dlg->OnCommand(ctl::kReset);
  EXPECT_EQ(view.LastText(), "Successful!");
  sim::FaultSettings f;
  f.silent_commands = {kResetController, 0x4B};
  simulator().SetFaults(f);
  dlg->OnCommand(ctl::kReset);
  EXPECT_EQ(view.LastText(), "Failed!");
}

TEST_F(SimFixture, SilentGarbledOrShortAnswersAreNoAnswerNeverAnEmptyDiskOrZeroVersions) {
  StoreFile(kUserDisk, "A", "PRG", {1, 2, 3});
  const std::vector<std::string> no_answer(3, "No answer from the controller.");
  for (int garbled = 0; garbled < 2; ++garbled) {
    sim::FaultSettings f;
    if (garbled)
      f.corrupt_checksums = true;
    else
      f.silent_commands = {kListFiles, 0x29, 0x4B};  // list, free space, versions
    simulator().SetFaults(f);
    view.messages.clear();
    dlg->OnCommand(ctl::kUserRefresh);
    EXPECT_TRUE(dlg->rows(ctl::kUserList).empty());
    dlg->OnCommand(ctl::kUserFreeSpace);
    dlg->OnCommand(ctl::kCheckVersion);
    EXPECT_EQ(view.Texts(), no_answer) << garbled;
  }
  // A whole reply to GetVersions that carries two of its seven words.
  test::ScriptedTcpPeer peer([](const test::Bytes& p, const test::Bytes&) {
    return std::vector<test::Bytes>{
        test::ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01, 0x02, 0x01, 0, 0, 0x05, 0x03}))};
  });
  dlg->panel().ip_port = peer.port();
  view.messages.clear();
  dlg->OnCommand(ctl::kCheckVersion);
  EXPECT_EQ(view.LastText(), "No answer from the controller.");
}

TEST_F(SimFixture, ReadFileAsksForTheWholeNameItListed) {
  std::vector<uint8_t> longer = test::Pattern(700, 1), shorter = test::Pattern(300, 2);
  StoreFile(kUserDisk, "LONGFILENAM", "BMP", shorter);
  StoreFile(kUserDisk, "LONGFILENAME1", "BMPX", longer);
  dlg->OnCommand(ctl::kUserRefresh);
  int row = RowOf(*dlg, ctl::kUserList, "LONGFILENAME1");
  ASSERT_GE(row, 0);
  dlg->SelectRow(ctl::kUserList, row);
  view.save_paths.push_back(dir.Path("copy"));
  dlg->OnCommand(ctl::kUserRead);
  EXPECT_EQ(view.save_initial_names.back(), "LONGFILENAME1.BMPX");
  EXPECT_EQ(test::ReadBytes(dir.Path("copy")), longer);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SimFixture, ALinkThatCannotOpenShowsCommunicationFailed) {
  dlg->panel().ip_port = 1;  // nothing listens there
  dlg->OnCommand(ctl::kUserRefresh);
  dlg->OnCommand(ctl::kCheckVersion);
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"Communication failed!", "Communication failed!"}));
  EXPECT_EQ(view.messages[1].title, "Version information");
  EXPECT_TRUE(dlg->rows(ctl::kUserList).empty());
  EXPECT_EQ(Count(kListFiles), 0u);
}

TEST_F(SimFixture, WriteFileGoesByBlocksUpToOneMebibyteAndAsAStreamAbove) {
  std::string small = dir.Path("Logo.bmp");
  std::vector<uint8_t> logo = test::Pattern(1048576, 3);
  ASSERT_TRUE(test::WriteBytes(small, logo));
  view.open_paths.push_back(small);
  dlg->OnCommand(ctl::kSystemWrite);
  dlg->WaitForTransfer();
  EXPECT_EQ(view.LastText(), "Successful!");
  EXPECT_EQ(StoredFile(kSystemDisk, "Logo.bmp"), logo);
  EXPECT_EQ(Count(kCreateBlockFile), 1u);
  EXPECT_EQ(view.progress.back(), 100);

  std::string big = dir.Path("big.prg");
  std::vector<uint8_t> data = test::Pattern(1048577, 4);
  ASSERT_TRUE(test::WriteBytes(big, data));
  view.open_paths.push_back(big);
  dlg->OnCommand(ctl::kUserWrite);
  dlg->WaitForTransfer();
  EXPECT_EQ(view.LastText(), "Successful!");
  EXPECT_EQ(StoredFile(kUserDisk, "big.prg"), data);
  EXPECT_EQ(Count(kCreateStreamFile), 1u);
  EXPECT_EQ(Count(kResetController), 0u);
}

TEST_F(SimFixture, ImageUpgradeByBlocksResetsTheController) {
  view.passwords.push_back("39214");
  std::string image = dir.Path("app.bin");
  std::vector<uint8_t> bytes = test::Pattern(5000, 9);
  const char tag[] = "ZVAPP ver";
  std::copy(tag, tag + 9, bytes.begin());
  ASSERT_TRUE(test::WriteBytes(image, bytes));
  view.open_paths.push_back(image);
  dlg->OnCommand(ctl::kUpgradeApp);
  dlg->WaitForTransfer();
  EXPECT_EQ(view.LastText(), "Successful!");
  EXPECT_EQ(Count(kResetController), 1u);
  auto arrivals = simulator().WithModel([](sim::ControllerModel& m) { return m.firmware(); });
  ASSERT_EQ(arrivals.size(), 1u);
  EXPECT_EQ(arrivals[0].kind, 4);
  EXPECT_EQ(dlg->unlocked_kinds(), 0x08u);
}

TEST_F(SimFixture, BootUpgradeErasesWritesInPiecesAndResets) {
  test::TempDir d;
  std::vector<uint8_t> file = {'Z', 'V', 'S', 'B',  'O', 'O', 'T', ' ', 'v', 'e',
                               0,   0,   1,   0x2C, 0,   0,   0,   0,   0,   0};
  uint16_t sum = 0;
  for (int i = 0; i < 300; ++i) {
    file.push_back(static_cast<uint8_t>(i * 7));
    sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(i * 7));
  }
  file[14] = static_cast<uint8_t>(sum >> 8);
  file[15] = static_cast<uint8_t>(sum);
  ASSERT_TRUE(test::WriteBytes(d.Path("boot.bin"), file));
  // The button belongs to the serial medium; the handler itself works on
  // whichever link is set up, here the simulator's network port.
  EXPECT_FALSE(dlg->IsEnabled(ctl::kUpgradeBoot));
  dlg->OnCommand(ctl::kUpgradeBoot);
  EXPECT_EQ(view.password_prompts, 0);
  view.passwords.push_back("58316");
  view.open_paths.push_back(d.Path("boot.bin"));
  dlg->OnUpgradeBoot();
  EXPECT_EQ(view.LastText(), "Successful!");
  EXPECT_EQ(Count(kEraseBootSector), 4u);
  EXPECT_EQ(Count(kWriteBootData), 2u);
  EXPECT_EQ(Count(kResetController), 1u);
  auto flash =
      simulator().WithModel([](sim::ControllerModel& m) { return m.boot_flash().contents(); });
  EXPECT_TRUE(std::equal(file.begin() + 20, file.end(), flash.begin()));
  // Written as 256 bytes plus 44; the filler after the image stays erased.
  EXPECT_EQ(flash[300], 0xFF);
}

class ConfigRunner : public ConfigDialogRunner {
 public:
  void Run(CScrConfigDlg& dlg) override {
    if (set) {
      dlg.set_checked(cfg::kTempCheck, true);
      dlg.list(cfg::kTempList).Select(63 - 5);
      dlg.set_fahrenheit(true);
      dlg.set_checked(cfg::kScreenCheck, true);
      dlg.list(cfg::kModelList).Select(3);
      dlg.OnModelChanged();
      dlg.list(cfg::kWidthList).SelectExact("320");
      dlg.OnSetToScreen();
    } else {
      dlg.set_checked(cfg::kTempCheck, true);
      dlg.set_checked(cfg::kScreenCheck, true);
      dlg.OnReadFromScreen();
      temperature = dlg.list(cfg::kTempList).SelectedText();
      fahrenheit = dlg.fahrenheit();
      model = dlg.list(cfg::kModelList).SelectedText();
      width = dlg.list(cfg::kWidthList).SelectedText();
    }
  }
  bool set = true;
  std::string temperature, model, width;
  bool fahrenheit = false;
};

TEST_F(SimFixture, ConfigSetsAndReadsBackTheScreenConfiguration) {
  ConfigRunner runner;
  dlg->set_config_runner(&runner);
  dlg->OnCommand(ctl::kConfig);
  EXPECT_EQ(view.LastText(), "Successful");
  runner.set = false;
  dlg->OnCommand(ctl::kConfig);
  EXPECT_EQ(view.LastText(), "Successful");
  EXPECT_EQ(runner.temperature, "-5");
  EXPECT_TRUE(runner.fahrenheit);
  EXPECT_EQ(runner.model, "Tarvo-C");
  EXPECT_EQ(runner.width, "320");
  dlg->panel().ip_port = 1;
  dlg->OnCommand(ctl::kConfig);
  EXPECT_EQ(view.LastText(), "Failed");
}

TEST_F(SimFixture, ClosingDuringATransferAsksAndYesStopsItAtTheNextPiece) {
  EXPECT_TRUE(dlg->OnClose());  // idle: closes without a question
  EXPECT_TRUE(view.questions.empty());
  sim::FaultSettings slow;
  slow.reply_delay_ms = 1;  // 2,049 pieces: a few seconds of work
  simulator().SetFaults(slow);
  std::string big = dir.Path("slow.prg");
  ASSERT_TRUE(test::WriteBytes(big, test::Pattern(kBlockTransferLimit + 1)));
  view.open_paths.push_back(big);
  dlg->OnCommand(ctl::kUserWrite);
  EXPECT_TRUE(dlg->busy());
  view.yes_answers = {false, true};
  EXPECT_FALSE(dlg->OnClose());  // No: the transfer goes on
  EXPECT_TRUE(dlg->OnClose());
  EXPECT_EQ(view.questions,
            std::vector<std::string>(2, "A transfer is running. Stop it and exit?"));
  ASSERT_TRUE(dlg->OnDestroy());
  // The worker stopped early, closed its link and its result went nowhere.
  EXPECT_LT(Count(0x32), 2049u);
  EXPECT_EQ(Count(0x33), 0u);  // never finished the stream
  EXPECT_EQ(dlg->job().result, "Transfer stopped! The file on the controller is incomplete.");
  EXPECT_EQ(app.link().type_code(), 0);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(HasFile(kUserDisk, "slow.prg"));
}

TEST_F(SimFixture, DestroyingTheDialogDuringATransferDropsTheLateReports) {
  sim::FaultSettings slow;
  slow.reply_delay_ms = 1;  // keeps the worker busy for a few seconds
  simulator().SetFaults(slow);
  std::string big = dir.Path("slow.prg");
  ASSERT_TRUE(test::WriteBytes(big, test::Pattern(kBlockTransferLimit + 1)));
  view.open_paths.push_back(big);
  dlg->OnCommand(ctl::kUserWrite);
  EXPECT_TRUE(dlg->busy());
  ASSERT_TRUE(dlg->OnDestroy());
  // The worker finished (its waits are bounded) but its result went nowhere.
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(dlg->busy());
}

}  // namespace
}  // namespace tarvo

// The main dialog without a controller: panel, enabling rules, reports,
// access codes, field validation and the refusals that need no link.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_view.hpp"
#include "tool/control_ids.hpp"
#include "tool/firmware_image.hpp"
#include "tool/password_dlg.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"
#include "tool_test_util.hpp"

namespace tarvo {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  void Start(const std::string& ini_text = std::string()) {
    // Serial port names lead nowhere, so every link attempt fails at once.
    std::string ports = "[PORTS]\n";
    for (int n = 1; n <= 9; ++n)
      ports += "COM" + std::to_string(n) + "=" + dir.Path("no-such-tty") + "\n";
    ASSERT_TRUE(WriteTextFile(ini_path(), ini_text + ports));
    app.SetSettingsPath(ini_path());
    dlg = std::make_unique<CToolDlg>(view, app);
    dlg->OnInitDialog();
  }
  std::string ini_path() const { return dir.Path("tool.ini"); }

  test::TempDir dir;
  CToolApp app;
  test::FakeView view;
  std::unique_ptr<CToolDlg> dlg;
};

TEST_F(DialogTest, WithoutSettingsFileThePanelShowsItsDefaults) {
  Start();
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(app.link().comm_type, 1);
  EXPECT_TRUE(view.checked[ctl::kSerial]);
  for (int id : {ctl::kNetwork, ctl::kGprs, ctl::kZvServer, ctl::kZvGprs})
    EXPECT_FALSE(view.checked[id]);
  const CommSettings& m = dlg->members();
  EXPECT_EQ(dlg->panel().port_index, 0);
  EXPECT_EQ(PortListEntries()[0], "COM1");
  EXPECT_EQ(dlg->panel().baud_index, 0);
  EXPECT_EQ(BaudListEntries()[0], "115200");
  EXPECT_EQ(m.card_id, 1);
  EXPECT_EQ(m.ip_addr, 0xC0A80164u);
  EXPECT_EQ(m.ip_port, 5200);
  EXPECT_EQ(m.id_code, 0xFFFFFFFFu);
  EXPECT_EQ(m.imei, "123456789012345");
  EXPECT_EQ(m.relay_port, 5202);
  EXPECT_EQ(m.user_name, "user01");
  EXPECT_EQ(m.device_id, "100001");
  // The serial medium was prepared for COM1 at 115200 baud.
  EXPECT_EQ(app.link().serial.port_name, "COM1");
  EXPECT_EQ(app.link().serial.settings_text, "115200,8,N,1");
  // Hidden at start: NandTest, the progress bar and every optional button.
  for (int id : {ctl::kNandTest, ctl::kProgress, ctl::kUpgradeScan, ctl::kUserRead,
                 ctl::kSystemRead, ctl::kSystemFormat, ctl::kSystemDelete})
    EXPECT_FALSE(dlg->IsShown(id)) << id;
  // No gateway library in this test: "GPRS Server" cannot be chosen.
  EXPECT_FALSE(dlg->IsEnabled(ctl::kGprs));
  ASSERT_EQ(ControllerIdListEntries().size(), 255u);
  EXPECT_EQ(ControllerIdListEntries()[254], "Any ID");
}

TEST_F(DialogTest, MediumButtonsEnableExactlyTheirRow) {
  Start();
  const std::vector<int> serial = {ctl::kPortList, ctl::kBaudList, ctl::kControllerIdList,
                                   ctl::kUpgradeBoot};
  const std::vector<int> net = {ctl::kNetIp, ctl::kNetPort, ctl::kIdCode};
  const std::vector<int> relay = {ctl::kRelayIp, ctl::kRelayPort, ctl::kDeviceId, ctl::kUserName,
                                  ctl::kPassword};
  auto all = [&](const std::vector<int>& ids, bool on) {
    for (int id : ids) EXPECT_EQ(dlg->IsEnabled(id), on) << id;
  };
  all(serial, true);
  all(net, false);
  dlg->OnCommand(ctl::kNetwork);
  EXPECT_EQ(app.link().comm_type, 2);
  EXPECT_TRUE(view.checked[ctl::kNetwork]);
  EXPECT_FALSE(view.checked[ctl::kSerial]);
  all(serial, false);
  all(net, true);
  all(relay, false);
  dlg->OnCommand(ctl::kZvGprs);
  EXPECT_EQ(app.link().comm_type, 5);
  all(relay, true);
  all(net, false);
  dlg->OnCommand(ctl::kZvServer);
  EXPECT_EQ(app.link().comm_type, 4);
  all(relay, true);
  // A click on the disabled gateway button changes nothing.
  dlg->OnCommand(ctl::kGprs);
  EXPECT_EQ(app.link().comm_type, 4);
  dlg->OnCommand(ctl::kSerial);
  all(serial, true);
  all(relay, false);
  // The enabling table itself, for the gateway row.
  for (auto [id, on] : MediumEnabling(3))
    EXPECT_EQ(on, id == ctl::kGprsIp || id == ctl::kGprsPort || id == ctl::kImei) << id;
}

TEST_F(DialogTest, CommTypeOutsideItsRangeSelectsNoButtonAndActsAsSerial) {
  Start("[COMM]\nCommType=7\nPortidx=120\nBuadidx=4\n");
  for (int id : {ctl::kSerial, ctl::kNetwork, ctl::kGprs, ctl::kZvServer, ctl::kZvGprs})
    EXPECT_FALSE(view.checked[id]);
  EXPECT_FALSE(dlg->IsEnabled(ctl::kPortList));
  EXPECT_FALSE(dlg->IsEnabled(ctl::kNetIp));
  // The link set-up prepares the serial medium; the port list has no selection.
  EXPECT_EQ(dlg->panel().port_index, -1);
  EXPECT_EQ(app.link().serial.settings_text, "9600,8,N,1");
  dlg->OnCommand(ctl::kUserFreeSpace);
  EXPECT_EQ(view.LastText(), "Communication failed!");
}

TEST_F(DialogTest, GatewayMediumWithoutLibraryStaysSelectedWithItsFieldsEnabled) {
  Start("[COMM]\nCommType=3\n");
  EXPECT_TRUE(view.checked[ctl::kGprs]);
  EXPECT_FALSE(dlg->IsEnabled(ctl::kGprs));
  EXPECT_TRUE(dlg->IsEnabled(ctl::kGprsIp));
  EXPECT_TRUE(dlg->IsEnabled(ctl::kImei));
  EXPECT_EQ(app.link().settings.gateway_address, "192.168.1.100");
  EXPECT_EQ(app.link().settings.imei, "123456789012345");
}

TEST_F(DialogTest, OptionSwitchesShowTheirButtons) {
  Start(
      "[OPTION]\nUpgrade scan=1\nDelete sysfile=1\nFormat sysdisk=2\nRead file=1\nRead file2=0\n");
  EXPECT_TRUE(dlg->IsShown(ctl::kUpgradeScan));
  EXPECT_TRUE(dlg->IsShown(ctl::kSystemDelete));
  EXPECT_TRUE(dlg->IsShown(ctl::kSystemFormat));
  EXPECT_TRUE(dlg->IsShown(ctl::kUserRead));
  EXPECT_FALSE(dlg->IsShown(ctl::kSystemRead));
  EXPECT_FALSE(dlg->IsShown(ctl::kNandTest));
}

TEST_F(DialogTest, SavedSettingsHoldWhatOperationsUsedButNotUnusedTyping) {
  Start("[OPTION]\nRead file=1\n");
  dlg->OnCommand(ctl::kNetwork);
  dlg->OnControllerIdChanged(254);
  EXPECT_EQ(dlg->controller_id(), 255);
  dlg->panel().port_index = 4;
  dlg->panel().ip_port = 6000;
  dlg->OnCommand(ctl::kUserFreeSpace);    // transfers the panel (and fails to connect)
  dlg->panel().imei = "999999999999999";  // typed, never used
  ASSERT_TRUE(dlg->OnDestroy());
  CommSettings back;
  OptionSettings o;
  LoadSettings(ini_path(), CommSettings{}, &back, &o);
  EXPECT_EQ(back.comm_type, 2);
  EXPECT_EQ(back.card_id, 255);
  EXPECT_EQ(back.port_index, 4);
  EXPECT_EQ(back.ip_port, 6000);
  EXPECT_EQ(back.imei, "123456789012345");
  EXPECT_EQ(o.read_file, 1);
}

TEST_F(DialogTest, RefusedFieldStopsTheTransferThereAndNoLinkIsOpened) {
  Start();
  dlg->OnCommand(ctl::kZvServer);
  dlg->panel().relay_port = 7000;
  dlg->panel().device_id = std::string(31, '1');
  dlg->panel().user_name = "someone";
  dlg->OnCommand(ctl::kReset);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "Please enter no more than 30 characters.");
  EXPECT_EQ(view.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(view.focused, std::vector<int>{ctl::kDeviceId});
  // Fields before the failing one took their new values, later ones did not.
  EXPECT_EQ(dlg->members().relay_port, 7000);
  EXPECT_EQ(dlg->members().device_id, "100001");
  EXPECT_EQ(dlg->members().user_name, "user01");

  // A port outside 16 bits and an empty Device ID on a relay medium are
  // refused the same way, by every kind of operation.
  view.messages.clear();
  dlg->panel().device_id = "100001";
  dlg->panel().ip_port = 70000;
  dlg->OnCommand(ctl::kUserRefresh);
  dlg->panel().ip_port = 5200;
  dlg->panel().device_id.clear();
  view.open_paths.push_back(dir.Path("never-read.bin"));
  dlg->OnCommand(ctl::kUserWrite);
  dlg->OnCommand(ctl::kConfig);
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"Please enter an integer between 0 and 65535.",
                                      "Please enter a Device ID.", "Please enter a Device ID."}));
  EXPECT_EQ(view.focused,
            (std::vector<int>{ctl::kDeviceId, ctl::kNetPort, ctl::kDeviceId, ctl::kDeviceId}));
  EXPECT_EQ(view.open_paths.size(), 1u);  // no file chooser was shown
  // On the serial medium the Device ID is not needed.
  view.messages.clear();
  dlg->OnCommand(ctl::kSerial);
  dlg->panel().port_index = 98;
  dlg->OnCommand(ctl::kReset);
  EXPECT_EQ(view.Texts(), std::vector<std::string>{"Communication failed!"});
}

TEST_F(DialogTest, ProgressReportsMoveOnlyTheBarAndAnEmptyResultShowsNoBox) {
  Start();
  dlg->OnTransferReport(kReportProgress, 57);
  EXPECT_EQ(dlg->progress(), 57);
  EXPECT_EQ(view.progress.back(), 57);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(dlg->IsEnabled(ctl::kUserRefresh));
  dlg->OnTransferReport(kReportFinished, 0);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(dlg->IsShown(ctl::kProgress));
}

TEST_F(DialogTest, TransferJobDisablesAllButExitAndItsReportRestoresTheSavedStates) {
  Start();
  std::string file = dir.Path("data.bin");
  ASSERT_TRUE(test::WriteBytes(file, test::Pattern(1000)));
  view.open_paths.push_back(file);
  // Watch the states the worker's first report finds.
  std::map<int, bool> before;
  for (int id : ctl::kAll) before[id] = dlg->IsEnabled(id);
  view.enable_calls.clear();
  dlg->OnCommand(ctl::kUserWrite);
  dlg->WaitForTransfer();
  // While busy every control but Exit was disabled.
  for (int id : ctl::kAll) {
    bool disabled = std::count(view.enable_calls.begin(), view.enable_calls.end(),
                               std::pair<int, bool>{id, false}) > 0;
    EXPECT_EQ(disabled, id != ctl::kExit) << id;
  }
  EXPECT_EQ(view.filters[0], "*.*|*.*||");
  // COM1 leads nowhere here: the worker reports the failed link.
  EXPECT_EQ(view.LastText(), "Communication failed!");
  EXPECT_FALSE(dlg->busy());
  EXPECT_FALSE(dlg->IsShown(ctl::kProgress));
  for (int id : ctl::kAll) EXPECT_EQ(dlg->IsEnabled(id), before[id]) << id;
  EXPECT_EQ(dlg->job().kind, OperationKind::kWriteFile);
  EXPECT_EQ(dlg->job().target, kTargetUserDisk);
}

TEST_F(DialogTest, NoSelectionNoChoiceAndNoConsentEndWithoutTouchingTheLink) {
  Start();
  dlg->OnCommand(ctl::kUserDelete);
  dlg->OnReadFile(true);
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"No file is selected!", "No file is selected!"}));
  view.messages.clear();
  view.yes_answers.push_back(false);
  dlg->OnCommand(ctl::kSystemFormat);  // hidden but enabled: a click still asks
  dlg->OnCommand(ctl::kUserFormat);
  EXPECT_EQ(view.questions.back(), "Sure to format user disk?");
  dlg->OnCommand(ctl::kUserWrite);  // chooser cancelled
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(app.link().type_code(), 0);
}

TEST_F(DialogTest, ImageChecksRefuseMissingWrongAndOversizedFiles) {
  Start();
  view.passwords = {"39214", "39214"};
  view.open_paths.push_back(dir.Path("missing.bin"));
  dlg->OnCommand(ctl::kUpgradeApp);
  EXPECT_EQ(view.messages.back().text, "Failed to open file!");
  EXPECT_EQ(view.messages.back().icon, MessageIcon::kExclamation);
  EXPECT_EQ(view.filters.back(), "*.bin|*.bin||");
  // One letter in another case is a different tag.
  std::string app_image = dir.Path("app.bin");
  ASSERT_TRUE(WriteTextFile(app_image, "ZVAPP Ver 1.0"));
  view.open_paths.push_back(app_image);
  dlg->OnCommand(ctl::kUpgradeApp);
  EXPECT_EQ(view.messages.back().text, "File mask incorrect!");
  // The BIOS code unlocked "Upgrade App" only: "Upgrade Bios" asks once more.
  int prompts = view.password_prompts;
  view.open_paths.push_back(app_image);
  dlg->OnCommand(ctl::kUpgradeBios);
  EXPECT_EQ(view.password_prompts, prompts + 1);
  EXPECT_EQ(view.messages.back().text, "File mask incorrect!");
  // A file larger than the transfer buffer is refused before any transfer.
  std::string huge = dir.Path("huge.bin");
  {
    std::vector<uint8_t> bytes(kTransferBufferSize + 1, 0);
    ASSERT_TRUE(test::WriteBytes(huge, bytes));
  }
  view.open_paths.push_back(huge);
  dlg->OnCommand(ctl::kUserWrite);
  EXPECT_NE(view.messages.back().text.find("larger than 16 MiB"), std::string::npos);
  EXPECT_FALSE(dlg->busy());
  // A folder opens on POSIX but is no file: never uploaded as an empty one.
  view.open_paths.push_back(dir.path());
  dlg->OnCommand(ctl::kUserWrite);
  EXPECT_EQ(view.messages.back().text, "Failed to open file!");
  EXPECT_FALSE(dlg->busy());
}

TEST_F(DialogTest, BootImagesWithBadTagChecksumOrSizeAreRefused) {
  Start();
  view.passwords = {"58316"};
  auto boot = [&](const std::vector<uint8_t>& bytes) {
    std::string path = dir.Path("boot.bin");
    EXPECT_TRUE(test::WriteBytes(path, bytes));
    view.open_paths.push_back(path);
    dlg->OnCommand(ctl::kUpgradeBoot);
    return view.LastText();
  };
  std::vector<uint8_t> image = {'Z', 'V', 'S', 'B', 'O', 'O', 'T', ' ', 'v', 'e', 0,
                                0,   0,   2,   0,   3,   0,   0,   0,   0,   1,   1};
  image[15] = 9;  // checksum 0x0009 but the bytes sum to 2
  EXPECT_EQ(boot(image), "file format err!");
  image[0] = 'z';
  EXPECT_EQ(boot(image), "file format err!");
  // A header that claims more bytes than the buffer holds.
  image[0] = 'Z';
  image[10] = 0x7F;
  EXPECT_EQ(boot(image), "file format err!");
  EXPECT_EQ(
      boot(std::vector<uint8_t>(kBootBufferSize - 511, 0)).find("too large") != std::string::npos,
      true);
  // Tag and sum right: the link to COM1 cannot open here.
  image[10] = 0;
  image[15] = 2;
  EXPECT_EQ(boot(image), "Communication failed!");
  EXPECT_EQ(view.password_prompts, 1);
}

TEST(AccessCodes, EachKindAsksOnceAndOnlyTheExactCodeUnlocksIt) {
  test::FakeView view;
  uint32_t unlocked = 0;
  EXPECT_TRUE(RequestAccess(view, 1, &unlocked));
  EXPECT_EQ(view.password_prompts, 0);
  // Cancel: no message, still locked.
  EXPECT_FALSE(RequestAccess(view, 3, &unlocked));
  EXPECT_TRUE(view.messages.empty());
  for (const char* wrong : {"", "39214 ", "3921", "58316"}) {
    view.passwords.push_back(wrong);
    EXPECT_FALSE(RequestAccess(view, 3, &unlocked)) << wrong;
    EXPECT_EQ(view.LastText(), "Password incorrect!");
  }
  view.passwords.push_back("39214");
  EXPECT_TRUE(RequestAccess(view, 3, &unlocked));
  EXPECT_EQ(unlocked, 0x04u);
  int prompts = view.password_prompts;
  EXPECT_TRUE(RequestAccess(view, 3, &unlocked));
  EXPECT_EQ(view.password_prompts, prompts);
  view.passwords = {"73204", "58316", "39214", "39214", "39214"};
  EXPECT_TRUE(RequestAccess(view, 5, &unlocked));
  EXPECT_TRUE(RequestAccess(view, 2, &unlocked));
  EXPECT_TRUE(RequestAccess(view, 4, &unlocked));
  EXPECT_TRUE(RequestAccess(view, 6, &unlocked));
  EXPECT_TRUE(RequestAccess(view, 7, &unlocked));
  EXPECT_EQ(unlocked, 0x7Eu);
  // Kinds without a code are never granted.
  view.passwords = {"39214"};
  EXPECT_FALSE(RequestAccess(view, 8, &unlocked));
  EXPECT_EQ(view.LastText(), "Password incorrect!");
}

}  // namespace
}  // namespace tarvo

// The settings file: profile-function semantics and the COMM/OPTION/PORTS sections.
#include "tool/settings_file.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tool/ini_profile.hpp"
#include "tool_test_util.hpp"

namespace tarvo {
namespace {

TEST(ProfileInt, ReadsSignAndDigitsUpToTheFirstOtherCharacterAndGarbageAsZero) {
  EXPECT_EQ(ParseProfileInt("-1062731420"), -1062731420);
  EXPECT_EQ(ParseProfileInt("  42abc"), 42);
  EXPECT_EQ(ParseProfileInt("+7"), 7);
  EXPECT_EQ(ParseProfileInt("abc"), 0);
  EXPECT_EQ(ParseProfileInt("-"), 0);
  // The unsigned form of an address wraps to the same 32 bits.
  EXPECT_EQ(ParseProfileInt("3232235876"), -1062731420);
  EXPECT_EQ(ParseProfileInt("4294967295"), -1);
}

TEST(IniDocument, NamesIgnoreCaseQuotesAreDroppedAndWritesKeepEverythingElse) {
  IniDocument doc = IniDocument::Parse(
      "; hand-written comment\r\n[comm]\r\n  CommType = 2 \r\nExtra=keep me\r\n\r\n"
      "[OPTION]\r\nRead file=1\r\n");
  std::string v;
  ASSERT_TRUE(doc.Find("COMM", "commtype", &v));
  EXPECT_EQ(v, "2");
  EXPECT_FALSE(doc.Find("COMM", "Missing", &v));
  EXPECT_FALSE(doc.Find("NOPE", "CommType", &v));
  doc.Set("COMM", "CommType", "4");
  doc.Set("COMM", "Card ID", "9");
  doc.Set("NEW", "Key", "\"quoted\"");
  EXPECT_EQ(doc.Serialize(),
            "; hand-written comment\r\n[comm]\r\nCommType=4\r\nExtra=keep me\r\nCard ID=9\r\n\r\n"
            "[OPTION]\r\nRead file=1\r\n[NEW]\r\nKey=\"quoted\"\r\n");
  ASSERT_TRUE(doc.Find("new", "key", &v));
  EXPECT_EQ(v, "quoted");
  // A file written on this system from nothing uses its own line ends.
  IniDocument fresh;
  fresh.Set("A", "b", "c");
  EXPECT_EQ(fresh.Serialize(), "[A]\nb=c\n");
}

TEST(SettingsFile, MissingFileGivesTheDefaultsOfThePanel) {
  test::TempDir dir;
  CommSettings relay_defaults, c;
  OptionSettings o;
  LoadSettings(dir.Path("none.ini"), relay_defaults, &c, &o);
  EXPECT_EQ(c.comm_type, 1);
  EXPECT_EQ(c.card_id, 1);
  EXPECT_EQ(c.port_index, 0);
  EXPECT_EQ(c.baud_index, 0);
  EXPECT_EQ(c.ip_addr, 0xC0A80164u);
  EXPECT_EQ(c.ip_port, 5200);
  EXPECT_EQ(c.id_code, 0xFFFFFFFFu);
  EXPECT_EQ(c.server_ip, 0xC0A80164u);
  EXPECT_EQ(c.imei, "123456789012345");
  EXPECT_EQ(c.relay_ip, 0x7F000001u);
  EXPECT_EQ(c.relay_port, 5202);
  EXPECT_EQ(c.user_name, "user01");
  EXPECT_EQ(c.password, "21963");
  EXPECT_EQ(c.device_id, "100001");
  EXPECT_EQ(o.upgrade_scan + o.delete_sysfile + o.format_sysdisk + o.read_file + o.read_file2, 0);
}

TEST(SettingsFile, SaveWritesTheFifteenKeysInOrderAndKeepsAHandWrittenOptionSection) {
  test::TempDir dir;
  std::string path = dir.Path("tool.ini");
  const std::string option = "[OPTION]\nUpgrade scan=1\n; service switches\nRead file2=3\n";
  ASSERT_TRUE(WriteTextFile(path, option));
  CommSettings c;
  c.comm_type = 5;
  c.device_id = "123456789012";
  ASSERT_TRUE(SaveSettings(path, c));
  std::string text;
  ASSERT_TRUE(ReadTextFile(path, &text));
  EXPECT_EQ(text, option +
                      "[COMM]\nCommType=5\nCard ID=1\nPortidx=0\nBuadidx=0\nIP Addr=-1062731420\n"
                      "IP Port=5200\nID Code=-1\nServerIP=-1062731420\nServerPort=5200\n"
                      "IMEI=123456789012345\nZvServerIP=2130706433\nZvServerPort=5202\n"
                      "UserName=user01\nPassword=21963\nDeviceID=123456789012\n");
  CommSettings back;
  OptionSettings o;
  LoadSettings(path, CommSettings{}, &back, &o);
  EXPECT_EQ(back.comm_type, 5);
  EXPECT_EQ(back.ip_addr, 0xC0A80164u);
  EXPECT_EQ(back.id_code, 0xFFFFFFFFu);
  EXPECT_EQ(back.device_id, "123456789012");
  EXPECT_EQ(o.upgrade_scan, 1);
  EXPECT_EQ(o.read_file2, 3);
  EXPECT_EQ(o.read_file, 0);
}

TEST(SettingsFile, LongStringsAreCutAt1023AndUnwritableFilesFailTheSave) {
  test::TempDir dir;
  std::string path = dir.Path("long.ini");
  ASSERT_TRUE(WriteTextFile(path, "[COMM]\nUserName=" + std::string(2000, 'u') + "\n"));
  CommSettings c;
  OptionSettings o;
  LoadSettings(path, CommSettings{}, &c, &o);
  EXPECT_EQ(c.user_name.size(), 1023u);
  EXPECT_FALSE(SaveSettings(dir.Path("no/such/folder/x.ini"), c));
}

TEST(SettingsFile, PathSitsBesideTheExecutableKeepingCaseOrFallsBackToTheConfigFolder) {
  EXPECT_EQ(SettingsPathBeside("/opt/Apps/Tool.EXE"), "/opt/Apps/Tool.ini");
  EXPECT_EQ(SettingsPathBeside("/usr/bin/tarvo-cli"), "/usr/bin/tarvo-cli.ini");
  EXPECT_EQ(ChooseSettingsPath("/opt/Apps/Tool", true, "/home/u/.config"), "/opt/Apps/Tool.ini");
  EXPECT_EQ(ChooseSettingsPath("/usr/bin/tarvo-cli", false, "/home/u/.config/"),
            "/home/u/.config/tarvo/tarvo-cli.ini");
}

TEST(SettingsFile, PortsSectionMapsComNamesToDevices) {
  test::TempDir dir;
  std::string path = dir.Path("ports.ini");
  ASSERT_TRUE(WriteTextFile(path, "[PORTS]\nCOM3=/dev/ttyUSB0\ncom12 = /dev/ttyACM1\nLPT1=/x\n"));
  PortMap ports = LoadPortMap(path);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports["COM3"], "/dev/ttyUSB0");
  EXPECT_EQ(ports["COM12"], "/dev/ttyACM1");
}

}  // namespace
}  // namespace tarvo

// tarvo-cli as the user runs it, against tarvo-sim: every medium the
// simulator serves, the texts, the JSON object and the exit statuses.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.hpp"

namespace {

using tarvo::test::CliTest;
using tarvo::test::RunResult;

TEST_F(CliTest, NetworkBlockAndStreamUploadsReadBackByteForByte) {
  std::string block = WriteFile("BLOCK.BIN", 1048576, 1);
  std::string stream = WriteFile("STREAM.BIN", 1048577, 2);
  RunResult w1 = Run(Join(Network(), {"write", "user", block}));
  EXPECT_EQ(w1.exit, 0);
  EXPECT_EQ(w1.out, "Successful!\n");
  RunResult w2 = Run(Join(Network(), {"write", "system", stream}));
  EXPECT_EQ(w2.exit, 0);
  EXPECT_EQ(w2.out, "Successful!\n");
  RunResult r1 = Run(Join(Network(), {"read", "user", "BLOCK.BIN", "-o", Path("block.back")}));
  EXPECT_EQ(r1.exit, 0);
  EXPECT_TRUE(ReadFile(Path("block.back")) == ReadFile(block));
  RunResult r2 =
      Run(Join(Network(), {"read", "system", "S:STREAM.BIN", "-o", Path("stream.back")}));
  EXPECT_EQ(r2.exit, 0);
  EXPECT_TRUE(ReadFile(Path("stream.back")) == ReadFile(stream));
  EXPECT_EQ(ReadFile(Path("stream.back")).size(), 1048577u);
  RunResult list = Run(Join(Network(), {"list", "system"}));
  EXPECT_EQ(list.exit, 0);
  EXPECT_NE(list.out.find("STREAM.BIN                  1048577"), std::string::npos) << list.out;
}

TEST_F(CliTest, PseudoTerminalCarriesEveryKindOfCommand) {
  std::string file = WriteFile("PROG.DAT", 3000, 3);
  EXPECT_EQ(Run(Join(Serial(), {"write", "user", file})).out, "Successful!\n");
  RunResult back = Run(Join(Serial(), {"read", "user", "PROG.DAT", "-o", Path("prog.back")}));
  EXPECT_EQ(back.exit, 0);
  EXPECT_TRUE(ReadFile(Path("prog.back")) == ReadFile(file));
  RunResult version = Run(Join(Serial(), {"version"}));
  EXPECT_EQ(version.exit, 0);
  EXPECT_EQ(version.out.rfind("Tarvo-E/D\n\nVersion: ", 0), 0u) << version.out;
  EXPECT_NE(version.out.find(" NET  = 1.3"), std::string::npos);
  RunResult del = Run(Join(Serial(), {"delete", "user", "PROG.DAT"}));
  EXPECT_EQ(del.exit, 0);
  EXPECT_EQ(del.out, "Successful!\n");
  RunResult again = Run(Join(Serial(), {"delete", "user", "PROG.DAT"}));
  EXPECT_EQ(again.exit, 1);
  EXPECT_EQ(again.out, "Failed!\n");
  RunResult reset = Run(Join(Serial(), {"reset"}));
  EXPECT_EQ(reset.out, "Successful!\n");
}

TEST_F(CliTest, GatewayMediumWorksThroughTheStandInLibrary) {
  std::string file = WriteFile("GW.DAT", 5000, 4);
  EXPECT_EQ(Run(Join(Gateway(), {"write", "user", file})).out, "Successful!\n");
  RunResult back = Run(Join(Gateway(), {"read", "user", "GW.DAT", "-o", Path("gw.back")}));
  EXPECT_EQ(back.exit, 0);
  EXPECT_TRUE(ReadFile(Path("gw.back")) == ReadFile(file));
  RunResult free_space = Run(Join(Gateway(), {"free", "user"}));
  EXPECT_EQ(free_space.exit, 0);
  EXPECT_NE(free_space.out.find(" bytes"), std::string::npos);
  // An IMEI of 14 digits is refused before any link is tried.
  RunResult bad = Run(Join(Gateway(), {"--imei", "12345678901234", "free", "user"}));
  EXPECT_EQ(bad.exit, 2);
  EXPECT_EQ(bad.out, "");
}

TEST_F(CliTest, JsonPrintsOneObjectWithTheResults) {
  std::string file = WriteFile("J.TXT", 10, 5);
  ASSERT_EQ(Run(Join(Network(), {"write", "user", file})).exit, 0);
  RunResult list = Run(Join(Network(), {"--json", "list", "user"}));
  EXPECT_EQ(list.exit, 0);
  EXPECT_EQ(list.out.find('\n'), list.out.size() - 1) << list.out;
  EXPECT_EQ(list.out.rfind("{\"command\":\"list\",\"files\":[{\"name\":\"J.TXT\",\"base\":\"J\","
                           "\"type\":\"TXT\",\"size\":10,\"date\":\"20",
                           0),
            0u)
      << list.out;
  EXPECT_NE(list.out.find("\"ok\":true,\"exit\":0,\"messages\":[]}"), std::string::npos);
  RunResult version = Run(Join(Network(), {"--json", "version"}));
  EXPECT_NE(version.out.find("\"text\":\"Tarvo-E/D\\n\\nVersion: "), std::string::npos)
      << version.out;
  RunResult config =
      Run(Join(Network(), {"--json", "config", "set", "temperature=-5F", "speed=slow"}));
  EXPECT_EQ(config.exit, 0) << config.out;
  RunResult read = Run(Join(Network(), {"--json", "config", "read", "temperature", "speed"}));
  EXPECT_NE(read.out.find("\"config\":{\"temperature\":\"-5F\",\"speed\":\"slow\"}"),
            std::string::npos)
      << read.out;
}

TEST_F(CliTest, ExitStatusSeparatesUsageFromControllerFailures) {
  EXPECT_EQ(Run({"frobnicate"}).exit, 2);
  EXPECT_EQ(Run({"--id", "300", "version"}).exit, 2);
  EXPECT_EQ(Run({"write", "user", Path("missing")}).exit, 2);
  EXPECT_EQ(Run(Join(Network(), {"config", "set", "font=Klingon"})).exit, 2);
  EXPECT_EQ(Run(Join(Network(), {"--imei", std::string(16, '1'), "version"})).exit, 2);
  RunResult help = Run({"--help"});
  EXPECT_EQ(help.exit, 0);
  EXPECT_NE(help.out.find("upgrade"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  // Nothing listens on port 1.
  RunResult closed = Run({"--medium", "network", "--ip", "127.0.0.1", "--ip-port", "1", "version"});
  EXPECT_EQ(closed.exit, 1);
  EXPECT_EQ(closed.out, "Communication failed!\n");
  // Upgrades: a wrong access code and a wrong image tag are this side's problems.
  std::string image = WriteFile("app.bin", 100, 6);
  RunResult code = Run(Join(Network(), {"--access-code", "1", "upgrade", "app", image}));
  EXPECT_EQ(code.exit, 2);
  EXPECT_EQ(code.out, "Password incorrect!\n");
  RunResult tag = Run(Join(Network(), {"upgrade", "app", image, "--access-code", "39214"}));
  EXPECT_EQ(tag.exit, 2);
  EXPECT_EQ(tag.out, "File mask incorrect!\n");
  // The boot loader goes over the serial line only.
  EXPECT_EQ(Run(Join(Network(), {"upgrade", "boot", image, "--access-code", "58316"})).exit, 2);
  // Formatting asks; without a terminal and without --yes nothing happens.
  EXPECT_EQ(Run(Join(Network(), {"format", "user"})).exit, 2);
  RunResult formatted = Run(Join(Network(), {"format", "user", "--yes"}));
  EXPECT_EQ(formatted.exit, 0);
  EXPECT_EQ(formatted.out, "Successful!\n");
}

TEST_F(CliTest, SilentOrGarbledControllerIsNoAnswerWithStatusOneNeverAnEmptySuccess) {
  for (std::vector<std::string> fault :
       {std::vector<std::string>{"--silent", "0x28", "--silent", "0x29", "--silent", "0x4B"},
        std::vector<std::string>{"--corrupt-checksums"}}) {
    tarvo::platform::ChildProcess bad;
    fault.insert(fault.begin(), {"--tcp", "0"});
    ASSERT_EQ(bad.Start(TARVO_SIM_PATH, fault), 1);
    std::string line;
    ASSERT_TRUE(bad.ReadLine(&line, 5000));
    std::string port = line.substr(line.find(' ') + 1);
    std::vector<std::string> link = {"--medium",  "network", "--ip",         "127.0.0.1",
                                     "--ip-port", port,      "--fast-pacing"};
    for (const char* command : {"list", "free", "version"}) {
      std::vector<std::string> args = Join(link, {command});
      if (std::string(command) != "version") args.push_back("user");
      RunResult r = Run(args);
      EXPECT_EQ(r.exit, 1) << command;
      EXPECT_EQ(r.out, "No answer from the controller.\n") << command;
    }
    RunResult json = Run(Join(link, {"--json", "version"}));
    EXPECT_NE(json.out.find("\"target\":\"the controller at 127.0.0.1:" + port + "\""),
              std::string::npos)
        << json.out;
    bad.Terminate();
    bad.Wait(5000);
  }
}

TEST_F(CliTest, SerialDiagnosticsNeverEnterTheJsonObject) {
  // /dev/null opens but takes no line settings: the serial transport writes
  // its "FAIL:" lines, to standard error.
  RunResult r = Run({"--json", "--medium", "serial", "--port", "/dev/null", "version"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.out.find("FAIL"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.rfind("{", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
}

TEST_F(CliTest, StopSignalEndsATransferAtItsNextPieceWithStatusOne) {
  // A controller that takes 20 ms per answer: the 1.1 MB stream would take
  // about 45 s.
  tarvo::platform::ChildProcess slow;
  ASSERT_EQ(slow.Start(TARVO_SIM_PATH, {"--tcp", "0", "--reply-delay", "20"}), 1);
  std::string line;
  ASSERT_TRUE(slow.ReadLine(&line, 5000));
  std::string port = line.substr(line.find(' ') + 1);
  std::string file = WriteFile("BIG.BIN", 1100000, 7);
  tarvo::platform::ChildProcess cli;
  ASSERT_EQ(cli.Start(TARVO_CLI_PATH, {"--settings", Settings(), "--medium", "network", "--ip",
                                       "127.0.0.1", "--ip-port", port, "write", "user", file}),
            1);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_EQ(cli.Terminate(), 1);  // SIGTERM, handled as Ctrl-C
  std::string out;
  while (cli.ReadLine(&line, 5000)) out += line + "\n";
  EXPECT_EQ(cli.Wait(3000), 1);
  EXPECT_EQ(out, "Transfer stopped! The file on the controller is incomplete.\n");
  // The settings were written whole.
  std::string ini = ReadFile(Settings());
  EXPECT_NE(ini.find("DeviceID=100001\n"), std::string::npos) << ini;
  slow.Terminate();
  slow.Wait(5000);
}

TEST_F(CliTest, UsedLinkValuesAreSavedForTheNextRun) {
  ASSERT_EQ(Run(Join(Network(), {"--id", "any", "free", "user"})).exit, 0);
  std::string ini = ReadFile(Settings());
  EXPECT_NE(ini.find("CommType=2\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Card ID=255\n"), std::string::npos);
  EXPECT_NE(ini.find("IP Addr=2130706433\n"), std::string::npos);
  EXPECT_NE(ini.find("IP Port=" + tcp_ + "\n"), std::string::npos);
  // The next run needs no link options at all.
  RunResult again = Run({"free", "user"});
  EXPECT_EQ(again.exit, 0);
  EXPECT_NE(again.out.find("bytes"), std::string::npos);
}

}  // namespace

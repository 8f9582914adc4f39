// tarvo-cli as a technician and a script use it: the JSON object of every
// subcommand, the reason of a failure, the target named before changes,
// remembered and untouched settings, safe reads and verified writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli_fixture.hpp"
#include "json_check.hpp"

namespace {

using tarvo::test::CliTest;
using tarvo::test::RunResult;

// The top-level keys of the one JSON object `out` must be.
std::vector<std::string> Keys(const RunResult& r) {
  std::vector<std::string> keys;
  tarvo::test::JsonCheck check;
  EXPECT_TRUE(check.Object(r.out, &keys)) << r.out;
  return keys;
}

// The network medium with its port left to the test.
std::vector<std::string> Closed() {
  return {"--medium", "network", "--ip", "127.0.0.1", "--fast-pacing"};
}

bool Has(const std::vector<std::string>& keys, const char* key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

TEST_F(CliTest, EverySubcommandPrintsOneValidObjectWithStableKeys) {
  // A name in GBK bytes, as a controller may hold one.
  std::string gbk = WriteFile("\xC4\xE3\xBA\xC3.TXT", 40, 1);
  std::string file = WriteFile("DATA.BIN", 3000, 2);
  ASSERT_EQ(Run(Join(Network(), {"write", "user", gbk})).exit, 0);
  const std::vector<std::vector<std::string>> ok_runs = {
      {"write", "user", file, "--verify"},
      {"list", "user"},
      {"free", "system"},
      {"read", "user", "DATA.BIN", "-o", Path("data.back")},
      {"version"},
      {"reset"},
      {"config", "set", "speed=slow"},
      {"config", "read", "speed"},
      {"delete", "user", "DATA.BIN"},
      {"format", "system", "--yes"},
      {"ports"}};
  for (const auto& args : ok_runs) {
    RunResult r = Run(Join(Network(), Join({"--json"}, args)));
    std::vector<std::string> keys = Keys(r);
    EXPECT_EQ(r.exit, 0) << args[0] << r.out;
    for (const char* key : {"command", "ok", "exit", "messages"})
      EXPECT_TRUE(Has(keys, key)) << key;
    EXPECT_FALSE(Has(keys, "error")) << r.out;
  }
  RunResult list = Run(Join(Network(), {"--json", "list", "user"}));
  EXPECT_NE(list.out.find("\"name\":\"\\u00c4\\u00e3\\u00ba\\u00c3.TXT\""), std::string::npos)
      << list.out;
  RunResult version = Run(Join(Network(), {"--json", "version"}));
  EXPECT_NE(version.out.find("\"versions\":{\"boot\":\"1.2\",\"logic\":\"2.1\",\"bios\":\"3.5\","
                             "\"app\":\"4.16\",\"scan\":\"2.1\",\"net\":\"1.3\"}"),
            std::string::npos)
      << version.out;

  // Failures: the same keys plus error and reason, usage errors included.
  const std::vector<std::pair<std::vector<std::string>, std::string>> failing = {
      {{"frobnicate"}, "usage"},
      {{"read", "user", "NOPE.BIN", "-o", Path("nope")}, "not-found"},
      {{"--ip-port", "1", "version"}, "link-failed"},  // nothing listens on port 1
      {{"upgrade", "app", file}, "usage"},             // no terminal, no access code
      {{"--access-code", "39214", "upgrade", "app", file}, "local"}};
  for (const auto& [args, error] : failing) {
    RunResult r = Run(Join(args[0] == "--ip-port" ? Closed() : Network(), Join({"--json"}, args)));
    std::vector<std::string> keys = Keys(r);
    EXPECT_NE(r.exit, 0) << args[0];
    for (const char* key : {"command", "ok", "exit", "error", "reason"})
      EXPECT_TRUE(Has(keys, key)) << key << " " << r.out;
    EXPECT_NE(r.out.find("\"error\":\"" + error + "\""), std::string::npos) << r.out;
  }
}

TEST_F(CliTest, FailuresSayWhyOnStandardError) {
  std::string logo = WriteFile("Logo.bmp", 500, 3);
  ASSERT_EQ(Run(Join(Network(), {"write", "user", logo})).exit, 0);
  RunResult other_case =
      RunWithErrors(Join(Network(), {"read", "user", "LOGO.BMP", "-o", Path("x")}));
  EXPECT_EQ(other_case.exit, 1);
  EXPECT_NE(other_case.out.find("no file LOGO.BMP on the user disk; did you mean Logo.bmp?"),
            std::string::npos)
      << other_case.out;
  RunResult closed = RunWithErrors(Join(Closed(), {"--ip-port", "1", "free", "user"}));
  EXPECT_NE(closed.out.find("cannot connect to the controller at 127.0.0.1:1: Connection refused"),
            std::string::npos)
      << closed.out;
  RunResult device = RunWithErrors({"--medium", "serial", "--port", Path("no-tty"), "version"});
  EXPECT_EQ(device.exit, 2);  // a device that is not there is a local problem
  EXPECT_NE(device.out.find("No such file or directory"), std::string::npos) << device.out;

  // A disk without room for the file.
  tarvo::platform::ChildProcess small;
  std::string port = StartOtherSim(&small, {"--capacity", "2000"});
  ASSERT_FALSE(port.empty());
  std::string big = WriteFile("BIG.BIN", 5000, 4);
  RunResult full = RunWithErrors({"--medium", "network", "--ip", "127.0.0.1", "--ip-port", port,
                                  "--fast-pacing", "write", "user", big});
  EXPECT_EQ(full.exit, 1);
  EXPECT_NE(full.out.find("the user disk has 2000 bytes free; the file needs 5000"),
            std::string::npos)
      << full.out;
  // Changes name their target first.
  EXPECT_NE(full.out.find("tarvo-cli: target: the controller at 127.0.0.1:" + port),
            std::string::npos);
  small.Terminate();
  small.Wait(5000);
}

TEST_F(CliTest, SettingsKeepOnlyWhatReachedAControllerAndRememberDevicePaths) {
  // A device path is entered in PORTS under a free COMn and selected.
  ASSERT_EQ(Run({"--medium", "serial", "--port", serial_, "--fast-pacing", "version"}).exit, 0);
  std::string ini = ReadFile(Settings());
  size_t at = ini.find("=" + serial_ + "\n");
  ASSERT_NE(at, std::string::npos) << ini;
  std::string com = ini.substr(ini.rfind('\n', at) + 1, at - ini.rfind('\n', at) - 1);
  EXPECT_NE(ini.find("Portidx=" + std::to_string(std::stoi(com.substr(3)) - 1) + "\n"),
            std::string::npos)
      << ini;
  // The next run reaches the device by its name alone.
  EXPECT_EQ(Run({"--fast-pacing", "version"}).exit, 0);
  int comm_keys = 0;
  std::string comm = ini.substr(ini.find("[COMM]"));
  comm =
      comm.substr(0, comm.find("\n[", 1) == std::string::npos ? comm.size() : comm.find("\n[", 1));
  for (char c : comm) comm_keys += c == '=';
  EXPECT_EQ(comm_keys, 15) << comm;

  // A run that reached nothing, and --no-save, leave the file as it was.
  std::string before = ReadFile(Settings());
  EXPECT_EQ(Run({"--medium", "network", "--ip", "127.0.0.1", "--ip-port", "1", "version"}).exit, 1);
  EXPECT_EQ(Run(Join(Network(), {"--no-save", "version"})).exit, 0);
  EXPECT_EQ(ReadFile(Settings()), before);

  // A dotted address written by hand is that address; the save writes the
  // file's own form.
  ASSERT_TRUE(tarvo::WriteTextFile(
      Settings(), "[COMM]\nCommType=2\nIP Addr=127.0.0.1\nIP Port=" + tcp_ + "\n"));
  EXPECT_EQ(Run({"--fast-pacing", "free", "user"}).exit, 0);
  EXPECT_NE(ReadFile(Settings()).find("IP Addr=2130706433\n"), std::string::npos);
  // A settings file that cannot be written is refused before anything is sent.
  RunResult unwritable = RunRaw({"--settings", Path("no-folder/x.ini"), "--json", "version"});
  EXPECT_EQ(unwritable.exit, 2);
  EXPECT_NE(unwritable.out.find("\"error\":\"local\""), std::string::npos);
}

TEST_F(CliTest, ReadsNeverReplaceFilesUnaskedAndWritesCanBeVerified) {
  std::string text = "line one\nline two\n";
  ASSERT_TRUE(tarvo::WriteTextFile(Path("NOTE.TXT"), text));
  RunResult w = Run(Join(Network(), {"write", "user", Path("NOTE.TXT"), "--verify"}));
  EXPECT_EQ(w.exit, 0);
  EXPECT_EQ(w.out, "Successful!\nVerified: identical\n");
  // The file's bytes on standard output, and nothing else.
  RunResult out = Run(Join(Network(), {"read", "user", "NOTE.TXT", "-o", "-"}));
  EXPECT_EQ(out.exit, 0);
  EXPECT_EQ(out.out, text);
  // An existing local file stays unless --force, checked before any link.
  ASSERT_TRUE(tarvo::WriteTextFile(Path("mine.txt"), "keep"));
  RunResult refused = Run({"--medium", "network", "--ip", "127.0.0.1", "--ip-port", "1", "read",
                           "user", "NOTE.TXT", "-o", Path("mine.txt")});
  EXPECT_EQ(refused.exit, 2);
  EXPECT_EQ(ReadFile(Path("mine.txt")), "keep");
  EXPECT_EQ(
      Run(Join(Network(), {"read", "user", "NOTE.TXT", "-o", Path("mine.txt"), "--force"})).exit,
      0);
  EXPECT_EQ(ReadFile(Path("mine.txt")), text);
  // Quiet: nothing but errors and asked-for data.
  EXPECT_EQ(Run(Join(Network(), {"-q", "write", "user", Path("NOTE.TXT")})).out, "");
}

}  // namespace

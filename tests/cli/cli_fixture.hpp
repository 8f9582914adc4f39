// tarvo-cli run as a program against a tarvo-sim child on a pseudo-terminal,
// TCP and the gateway stand-in: the fixture both CLI test files share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/child_process.hpp"
#include "tool/ini_profile.hpp"

namespace tarvo::test {

struct RunResult {
  int exit = -1;
  std::string out;  // standard output, lines joined with '\n'
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarvo-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ASSERT_EQ(sim_.Start(TARVO_SIM_PATH, {"--serial", "--tcp", "0", "--gateway", "0"}), 1);
    std::string line;
    for (int i = 0; i < 3 && sim_.ReadLine(&line, 5000); ++i) {
      size_t space = line.find(' ');
      std::string key = line.substr(0, space), value = line.substr(space + 1);
      if (key == "serial") serial_ = value;
      if (key == "tcp") tcp_ = value;
      if (key == "gateway") gateway_ = value;
    }
    ASSERT_FALSE(serial_.empty());
    ASSERT_FALSE(tcp_.empty());
    ASSERT_FALSE(gateway_.empty());
  }
  void TearDown() override {
    sim_.Terminate();
    sim_.Wait(5000);
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Settings() const { return Path("tarvo.ini"); }

  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--settings", Settings()});
    return RunRaw(args);
  }
  // Without the test's own settings file.
  RunResult RunRaw(const std::vector<std::string>& args) {
    tarvo::platform::ChildProcess cli;
    RunResult r;
    if (cli.Start(TARVO_CLI_PATH, args) != 1) return r;
    std::string line;
    while (cli.ReadLine(&line, 60000)) r.out += line + "\n";
    r.exit = cli.Wait(60000);
    return r;
  }
  // The same with standard error mixed into the output.
  RunResult RunWithErrors(std::vector<std::string> args) {
    std::string line = std::string("exec '") + TARVO_CLI_PATH + "' --settings '" + Settings() + "'";
    for (const std::string& a : args) line += " '" + a + "'";
    tarvo::platform::ChildProcess cli;
    RunResult r;
    if (cli.Start("/bin/sh", {"-c", line + " 2>&1"}) != 1) return r;
    std::string out;
    while (cli.ReadLine(&out, 60000)) r.out += out + "\n";
    r.exit = cli.Wait(60000);
    return r;
  }
  // A second simulator with its own options; its TCP port.
  std::string StartOtherSim(tarvo::platform::ChildProcess* sim, std::vector<std::string> args) {
    args.insert(args.begin(), {"--tcp", "0"});
    if (sim->Start(TARVO_SIM_PATH, args) != 1) return std::string();
    std::string line;
    if (!sim->ReadLine(&line, 5000)) return std::string();
    return line.substr(line.find(' ') + 1);
  }
  std::vector<std::string> Network() {
    return {"--medium", "network", "--ip", "127.0.0.1", "--ip-port", tcp_, "--fast-pacing"};
  }
  std::vector<std::string> Serial() {
    return {"--medium", "serial", "--port", serial_, "--fast-pacing"};
  }
  std::vector<std::string> Gateway() {
    return {"--medium",      "gprs",   "--server-ip",  "127.0.0.1",
            "--server-port", gateway_, "--fast-pacing"};
  }
  static std::vector<std::string> Join(std::vector<std::string> a,
                                       const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  std::string WriteFile(const std::string& name, size_t size, uint32_t seed) {
    std::string bytes(size, 0);
    uint32_t x = seed;
    for (char& c : bytes) {
      x = x * 1664525u + 1013904223u;
      c = static_cast<char>(x >> 24);
    }
    EXPECT_TRUE(tarvo::WriteTextFile(Path(name), bytes));
    return Path(name);
  }
  std::string ReadFile(const std::string& path) {
    std::string text;
    tarvo::ReadTextFile(path, &text);
    return text;
  }

  std::string serial_, tcp_, gateway_;

 private:
  std::filesystem::path dir_;
  tarvo::platform::ChildProcess sim_;
};

}  // namespace tarvo::test

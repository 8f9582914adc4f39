// The tarvo-sim program itself: start it, read where it listens, use it,
// stop it with SIGTERM.
#include <gtest/gtest.h>

#include "common/version.hpp"
#include "platform/child_process.hpp"
#include "platform/process.hpp"
#include "tests/e2e_commands/link_fixture.hpp"

namespace tarvo::e2e {
namespace {

TEST(SimProgram, PrintsItsMediaServesThemAndExitsCleanlyOnSigterm) {
  platform::ChildProcess p;
  ASSERT_EQ(p.Start(platform::ExecutableDir() + "tarvo-sim",
                    {"--serial", "--tcp", "0", "--gateway", "0", "--id-code", "10.0.0.9"}),
            1);
  std::string serial, tcp, gateway;
  ASSERT_TRUE(p.ReadLine(&serial, 5000));
  ASSERT_TRUE(p.ReadLine(&tcp, 5000));
  ASSERT_TRUE(p.ReadLine(&gateway, 5000));
  EXPECT_EQ(serial.rfind("serial /dev/", 0), 0u) << serial;
  ASSERT_EQ(tcp.rfind("tcp ", 0), 0u) << tcp;
  ASSERT_EQ(gateway.rfind("gateway ", 0), 0u) << gateway;
  const int port = std::stoi(tcp.substr(4));
  ASSERT_GT(port, 0);

  ConnectionManager link;
  link.comm_type = 2;
  link.settings.controller_address = 0x7F000001;
  link.settings.controller_port = static_cast<uint16_t>(port);
  link.settings.id_code = 0x0A000009;
  link.tcp.timing.pause_before_connect_ms = 0;
  link.tcp.timing.receive_timeout_ms = 2000;
  ASSERT_EQ(link.OpenLink(0x32, 1), 1);
  VersionWords words{};
  EXPECT_EQ(GetVersions(link, &words), 1);
  EXPECT_EQ(words[0], 0x0102u);
  link.CloseLink();

  ConfigureSerialPort(link.serial, serial.substr(7), "115200,8,N,1");
  link.serial.timing.read_timeout_ms = 2000;
  link.comm_type = 1;
  ASSERT_EQ(link.OpenLink(0x32, 1), 1);
  EXPECT_EQ(ResetController(link), 1);
  link.CloseLink();

  ASSERT_EQ(p.Terminate(), 1);
  EXPECT_EQ(p.Wait(5000), 0);
}

TEST(SimProgram, RefusesBadOptionsWithUsageExitCodeAndTellsItsVersion) {
  platform::ChildProcess p;
  ASSERT_EQ(p.Start(platform::ExecutableDir() + "tarvo-sim", {"--tcp", "99999"}), 1);
  EXPECT_EQ(p.Wait(5000), 2);

  platform::ChildProcess v;
  ASSERT_EQ(v.Start(platform::ExecutableDir() + "tarvo-sim", {"--version"}), 1);
  std::string line;
  EXPECT_TRUE(v.ReadLine(&line, 5000) && line == std::string("tarvo-sim ") + kSuiteVersion &&
              v.Wait(5000) == 0)
      << line;
}

}  // namespace
}  // namespace tarvo::e2e

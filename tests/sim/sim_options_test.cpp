// The command line of tarvo-sim.
#include "sim/sim_options.hpp"

#include <gtest/gtest.h>

#include "sim/command_codes.hpp"

namespace tarvo::sim {
namespace {

int Parse(std::vector<const char*> args, SimulatorOptions* o, std::string* msg) {
  args.insert(args.begin(), "tarvo-sim");
  return ParseSimulatorArguments(static_cast<int>(args.size()), args.data(), o, msg);
}

TEST(SimulatorOptionsParsing, DefaultsAndEveryOption) {
  SimulatorOptions o;
  std::string msg;
  ASSERT_EQ(Parse({"--serial"}, &o, &msg), -1) << msg;
  EXPECT_TRUE(o.serial);
  EXPECT_EQ(o.controller.controller_id, 1);
  EXPECT_EQ(o.id_code, 0xFFFFFFFFu);
  EXPECT_EQ(o.tcp_port, -1);
  EXPECT_EQ(o.gateway_port, -1);
  EXPECT_EQ(o.bind_address, kLoopback);

  ASSERT_EQ(Parse({"--id",
                   "7",
                   "--id-code",
                   "192.168.1.50",
                   "--tcp",
                   "0",
                   "--gateway",
                   "5300",
                   "--disk-dir",
                   "/tmp/d",
                   "--capacity",
                   "0x100000",
                   "--silent",
                   "0x2D",
                   "--silent",
                   "getfreespace",
                   "--corrupt-checksums",
                   "--wrong-reply-code",
                   "0x71",
                   "--drop-blocks",
                   "1,5,0x10",
                   "--drop-repeats",
                   "--drop-fraction",
                   "0.25",
                   "--drop-seed",
                   "9",
                   "--not-ready",
                   "3",
                   "--reply-delay",
                   "150"},
                  &o, &msg),
            -1)
      << msg;
  EXPECT_EQ(o.controller.controller_id, 7);
  EXPECT_EQ(o.id_code, 0xC0A80132u);
  EXPECT_EQ(o.tcp_port, 0);
  EXPECT_EQ(o.gateway_port, 5300);
  EXPECT_EQ(o.disk_dir, "/tmp/d");
  EXPECT_EQ(o.controller.disk_capacity, 0x100000u);
  EXPECT_EQ(o.faults.silent_commands, (std::set<uint8_t>{kResetController, kGetFreeSpace}));
  EXPECT_TRUE(o.faults.corrupt_checksums);
  EXPECT_EQ(o.faults.wrong_reply_command, kSetScreenConfig);
  EXPECT_EQ(o.faults.drop_blocks, (std::vector<uint16_t>{1, 5, 16}));
  EXPECT_TRUE(o.faults.drop_repeats);
  EXPECT_DOUBLE_EQ(o.faults.drop_fraction, 0.25);
  EXPECT_EQ(o.faults.drop_seed, 9u);
  EXPECT_EQ(o.faults.not_ready_count, 3);
  EXPECT_EQ(o.faults.reply_delay_ms, 150);
}

TEST(SimulatorOptionsParsing, HelpAndUsageErrors) {
  SimulatorOptions o;
  std::string msg;
  EXPECT_EQ(Parse({"--help"}, &o, &msg), 0);
  EXPECT_NE(msg.find("--gateway"), std::string::npos);
  EXPECT_NE(msg.find("--drop-blocks"), std::string::npos);
  EXPECT_EQ(Parse({}, &o, &msg), 2) << "nothing to serve";
  for (std::vector<const char*> bad :
       std::vector<std::vector<const char*>>{{"--serial", "--id", "0"},
                                             {"--serial", "--id", "255"},
                                             {"--serial", "--id", "-1"},
                                             {"--tcp", "65536"},
                                             {"--tcp", "port"},
                                             {"--serial", "--id-code", "1.2.3"},
                                             {"--serial", "--silent", "256"},
                                             {"--serial", "--silent", "ListFile"},
                                             {"--serial", "--drop-blocks", "1,,2"},
                                             {"--serial", "--drop-fraction", "1.5"},
                                             {"--serial", "--drop-fraction", "x"},
                                             {"--serial", "--unknown"}}) {
    EXPECT_EQ(Parse(bad, &o, &msg), 2) << bad[1] << " " << (bad.size() > 2 ? bad[2] : "");
  }
}

TEST(NumberText, DecimalAndHexOnly) {
  unsigned long v = 0;
  EXPECT_TRUE(ParseNumber("45", 255, &v));
  EXPECT_EQ(v, 45u);
  EXPECT_TRUE(ParseNumber("0x2D", 255, &v));
  EXPECT_EQ(v, 45u);
  EXPECT_TRUE(ParseNumber("010", 255, &v));
  EXPECT_EQ(v, 10u) << "no octal";
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "0x", "0x-1", "1e3", "256"})
    EXPECT_FALSE(ParseNumber(bad, 255, &v)) << bad;
}

}  // namespace
}  // namespace tarvo::sim

// Medium selection and the address bytes of the connection manager.
#include "tool/link/connection_manager.hpp"

#include <gtest/gtest.h>

#include "platform/serial.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

TEST(CommTypeSelection, UnknownValuesActAsSerial) {
  EXPECT_EQ(EffectiveCommType(0), CommType::kSerial);
  EXPECT_EQ(EffectiveCommType(7), CommType::kSerial);
  EXPECT_EQ(EffectiveCommType(-1), CommType::kSerial);
  EXPECT_EQ(EffectiveCommType(1), CommType::kSerial);
  EXPECT_EQ(EffectiveCommType(2), CommType::kNetwork);
  EXPECT_EQ(EffectiveCommType(3), CommType::kGateway);
  EXPECT_EQ(EffectiveCommType(4), CommType::kZvServer);
  EXPECT_EQ(EffectiveCommType(5), CommType::kZvGprs);
}

TEST(CommTypeSelection, CommTypeZeroOpensTheSerialPortWithTheChosenId) {
  platform::PtyPair pty;
  ASSERT_EQ(platform::OpenPtyPair(&pty), 1);
  for (int comm : {0, 7}) {
    ConnectionManager link;
    link.comm_type = comm;
    ConfigureSerialPort(link.serial, pty.slave_path, "9600,8,N,1");
    ASSERT_EQ(link.OpenLink(kControllerTypeCode, 12), 1) << comm;
    EXPECT_TRUE(link.serial.device.IsOpen());
    EXPECT_EQ(link.type_code(), kControllerTypeCode);
    EXPECT_EQ(link.controller_id(), 12);
    link.CloseLink();
    EXPECT_FALSE(link.serial.device.IsOpen());
    EXPECT_EQ(link.serial.state, 0);
    EXPECT_EQ(link.type_code(), 0);
    EXPECT_EQ(link.controller_id(), 0);
  }
}

TEST(CommTypeSelection, CloseWithoutOpenIsHarmlessOnEveryMedium) {
  for (int comm = 0; comm <= 6; ++comm) {
    ConnectionManager link;
    link.comm_type = comm;
    link.CloseLink();
    EXPECT_EQ(link.controller_id(), 0);
  }
}

TEST(CommandTimingValues, ProductionValues) {
  CommandTiming t;
  EXPECT_EQ(t.missing_blocks_file_wait_ms, 100);
  EXPECT_EQ(t.missing_blocks_firmware_wait_ms, 1000);
}

}  // namespace
}  // namespace tarvo

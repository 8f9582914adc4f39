// What only one medium can get wrong: controller IDs on the serial line, ID
// Codes on the network, the IMEI and the library on the gateway.
#include <gtest/gtest.h>

#include "sim/command_codes.hpp"
#include "tests/e2e_commands/link_fixture.hpp"

namespace tarvo::e2e {
namespace {

TEST(SerialLink, OnlyTheChosenControllerIdOrAnyIdIsAnswered) {
  sim::SimulatorOptions o;
  o.controller.controller_id = 170;  // 0xAA is escaped on the line
  LinkFixture f;
  ASSERT_TRUE(f.Start(Via::kSerial, o));
  ASSERT_EQ(f.Open(170), 1);
  EXPECT_EQ(f.link().controller_id(), 170);
  EXPECT_EQ(ResetController(f.link()), 1);
  f.Close();
  ASSERT_EQ(f.Open(3), 1);
  EXPECT_EQ(ResetController(f.link()), 0);
  f.Close();
  ASSERT_EQ(f.Open(255), 1);
  EXPECT_EQ(ResetController(f.link()), 1);
  f.Close();
  EXPECT_EQ(f.sim().WithModel([](sim::ControllerModel& m) { return m.reset_count(); }), 2);
}

TEST(NetworkLink, IdCodeDecidesWhichControllerAnswers) {
  sim::SimulatorOptions o;
  o.id_code = 0xC0A80132;  // 192.168.1.50
  LinkFixture f;
  ASSERT_TRUE(f.Start(Via::kNetwork, o));
  for (uint32_t code : {0xC0A80132u, 0xFFFFFFFFu}) {
    f.link().settings.id_code = code;
    ASSERT_EQ(f.Open(7), 1);
    EXPECT_EQ(f.link().controller_id(), 255) << "the panel's ID is never sent on the network";
    EXPECT_NE(GetFreeSpace(f.link(), kUserDisk), 0u);
    f.Close();
  }
  f.link().settings.id_code = 0xC0A80133;
  ASSERT_EQ(f.Open(), 1);
  EXPECT_EQ(GetFreeSpace(f.link(), kUserDisk), 0u);
  f.Close();
  // Nobody listening: OpenLink fails.
  f.sim().Stop();
  EXPECT_EQ(f.Open(), 0);
  f.Close();
}

TEST(GatewayLink, ImeiOfFourteenCharactersFailsAndReleasesTheHandle) {
  LinkFixture f;
  ASSERT_TRUE(f.Start(Via::kGateway));
  f.link().settings.imei = "86123456789012";
  EXPECT_EQ(f.Open(), 0);
  EXPECT_GT(f.link().gateway_handle, 0) << "kept so that CloseLink releases it";
  f.Close();
  EXPECT_EQ(f.link().gateway_handle, 0);

  f.link().settings.imei = kImei;
  ASSERT_EQ(f.Open(), 1);
  EXPECT_NE(GetFreeSpace(f.link(), kUserDisk), 0u);
  f.Close();
  EXPECT_EQ(f.sim().last_imei(), kImei);
}

TEST(GatewayLink, MissingLibraryOrGatewayMakesOpenLinkFail) {
  LinkFixture f;
  ASSERT_TRUE(f.Start(Via::kGateway));
  GprsGateway missing;
  EXPECT_EQ(missing.LoadGateway(platform::ExecutableDir() + "libnot-there.so"), -1);
  f.link().gateway = &missing;
  EXPECT_EQ(f.Open(), 0);
  EXPECT_EQ(f.link().gateway_handle, 0);
  f.Close();
  f.link().gateway = nullptr;
  EXPECT_EQ(f.Open(), 0);
  f.Close();

  // The real library, but no gateway listening.
  f.link().gateway = &f.gateway();
  f.sim().Stop();
  EXPECT_EQ(f.Open(), 0);
  f.Close();
}

}  // namespace
}  // namespace tarvo::e2e

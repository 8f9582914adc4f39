// The gateway binding and medium: missing library, missing entry points,
// and a test library that scripts the gateway's answers.
#include <gtest/gtest.h>

#include <cstring>

#include "link_test_util.hpp"
#include "platform/dynlib.hpp"
#include "tool/codec/gateway_frame.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {

using test::Bytes;

TEST(GatewayBinding, MissingLibraryGivesDefaultsAndNoLink) {
  GprsGateway g;
  EXPECT_EQ(g.LoadGateway("/nonexistent/libdcc.so"), -1);
  EXPECT_FALSE(g.IsGatewayLoaded());
  DccMessage m{};
  EXPECT_EQ(g.Init(1, 0, "1.2.3.4", 5, 0), 0);
  EXPECT_EQ(g.Close(3), 0);
  EXPECT_EQ(g.MessageSend(3, &m), -2);
  EXPECT_EQ(g.MessageReceive(3, &m), -2);

  ConnectionManager link;
  link.comm_type = 3;
  link.settings.imei = "123456789012345";
  EXPECT_EQ(link.OpenLink(kControllerTypeCode, 1), 0);  // library not loaded
  link.gateway = &g;
  EXPECT_EQ(link.OpenLink(kControllerTypeCode, 1), 0);
  EXPECT_EQ(link.gateway_handle, 0);
  link.CloseLink();
}

TEST(GatewayBinding, MissingEntryPointsAnswerWithTheirDefaults) {
  GprsGateway g;
  ASSERT_EQ(g.LoadGateway(TARVO_FAKE_DCC_PARTIAL), 1);
  EXPECT_TRUE(g.IsGatewayLoaded());
  EXPECT_EQ(g.Init(1, 0, "x", 1, 0), 9);
  DccMessage m{};
  EXPECT_EQ(g.MessageSend(9, &m), -2);
  EXPECT_EQ(g.MessageReceive(9, &m), -2);
  EXPECT_EQ(g.Close(9), 0);
  // Loading a missing library afterwards drops the earlier one.
  EXPECT_EQ(g.LoadGateway("/nonexistent/libdcc.so"), -1);
  EXPECT_EQ(g.Init(1, 0, "x", 1, 0), 0);
}

class GatewayMediumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(gateway_.LoadGateway(TARVO_FAKE_DCC), 1);
    ASSERT_TRUE(control_.Open(TARVO_FAKE_DCC));
    reset_ = reinterpret_cast<void (*)(int, int)>(control_.Symbol("fake_dcc_reset"));
    queue_ = reinterpret_cast<void (*)(const DccMessage*)>(control_.Symbol("fake_dcc_queue"));
    last_sent_ = reinterpret_cast<const DccMessage* (*)()>(control_.Symbol("fake_dcc_last_sent"));
    closed_ = reinterpret_cast<int (*)()>(control_.Symbol("fake_dcc_closed_handle"));
    close_calls_ = reinterpret_cast<int (*)()>(control_.Symbol("fake_dcc_close_calls"));
    port_ = reinterpret_cast<int (*)()>(control_.Symbol("fake_dcc_port"));
    address_ = reinterpret_cast<const char* (*)()>(control_.Symbol("fake_dcc_address"));
    ASSERT_TRUE(reset_ && queue_ && last_sent_ && closed_ && close_calls_ && port_ && address_);
    reset_(42, 1);
    link_.comm_type = 3;
    link_.gateway = &gateway_;
    link_.settings.gateway_address = "10.0.0.9";
    link_.settings.gateway_port = 6000;
    link_.settings.imei = "123456789012345";
  }

  static DccMessage Message(uint8_t type, const Bytes& data) {
    DccMessage m{};
    m.type = type;
    m.length[0] = static_cast<uint8_t>(data.size());
    m.length[1] = static_cast<uint8_t>(data.size() >> 8);
    if (!data.empty()) std::memcpy(m.data, data.data(), data.size());
    return m;
  }

  GprsGateway gateway_;
  platform::DynamicLibrary control_;
  void (*reset_)(int, int) = nullptr;
  void (*queue_)(const DccMessage*) = nullptr;
  const DccMessage* (*last_sent_)() = nullptr;
  int (*closed_)() = nullptr;
  int (*close_calls_)() = nullptr;
  int (*port_)() = nullptr;
  const char* (*address_)() = nullptr;
  ConnectionManager link_;
};

TEST_F(GatewayMediumTest, OpenPassesServerAndKeepsHandleForClose) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 3), 1);
  EXPECT_EQ(link_.controller_id(), 0xFF);
  EXPECT_EQ(link_.gateway_handle, 42);
  EXPECT_STREQ(address_(), "10.0.0.9");
  EXPECT_EQ(port_(), 6000);
  link_.CloseLink();
  EXPECT_EQ(closed_(), 42);
  EXPECT_EQ(link_.gateway_handle, 0);
}

TEST_F(GatewayMediumTest, ShortImeiFailsButCloseStillReleasesTheHandle) {
  link_.settings.imei = "12345678901234";
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 3), 0);
  link_.CloseLink();
  EXPECT_EQ(close_calls_(), 1);
  EXPECT_EQ(closed_(), 42);
}

TEST_F(GatewayMediumTest, RefusedInitNeedsNoClose) {
  reset_(0, 1);
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 3), 0);
  link_.CloseLink();
  EXPECT_EQ(close_calls_(), 0);
}

TEST_F(GatewayMediumTest, SendFramesPacketAndWaitsForTheConfirmation) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 3), 1);
  Bytes packet = {0x68, 0x32, 0xFF, 0x29, 0x01, 0x01, 0, 0};
  AppendChecksum(packet.data(), 6);
  DccMessage confirm = Message(kDccTypeSendConfirm, {});
  queue_(&confirm);
  EXPECT_EQ(SendPacket(link_, packet.data(), packet.size()), 1);
  const DccMessage* sent = last_sent_();
  EXPECT_STREQ(sent->id, "123456789012345");
  EXPECT_EQ(sent->type, kDccTypeUserData);
  EXPECT_EQ(sent->length[0], 10);  // start byte, 8 bytes, end byte
  EXPECT_EQ(sent->data[0], 0xA5);
  EXPECT_EQ(sent->data[9], 0xAE);

  // Anything but a confirmation (or nothing) clears the flag.
  DccMessage data = Message(kDccTypeUserData, {0xA5, 0xAE});
  queue_(&data);
  EXPECT_EQ(SendPacket(link_, packet.data(), packet.size()), 0);
  EXPECT_EQ(SendPacket(link_, packet.data(), packet.size()), 0);
  reset_(42, 0);
  EXPECT_EQ(SendPacket(link_, packet.data(), packet.size()), 0);
}

TEST_F(GatewayMediumTest, CommandOverTheGatewayAndReplyWithoutEndByte) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 3), 1);
  DccMessage confirm = Message(kDccTypeSendConfirm, {});
  Bytes reply = test::Reply(0x29, {0x01, 0x00, 0x10, 0x00, 0x00});
  Bytes framed = {0xA5};
  framed.insert(framed.end(), reply.begin(), reply.end());
  DccMessage answer = Message(kDccTypeUserData, framed);  // no end byte
  queue_(&confirm);
  queue_(&answer);
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0x1000u);

  // A reply of another type is no reply.
  DccMessage other = Message(7, framed);
  queue_(&confirm);
  queue_(&other);
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0u);
}

}  // namespace
}  // namespace tarvo

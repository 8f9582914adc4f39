// The relay media driven through a recording fake of the relay library's
// functions: call order, Device ID checks, envelopes on both routes, and
// an open link that the relay server stopped forwarding for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_relay_library.hpp"
#include "link_test_util.hpp"
#include "tool/codec/stream_framing.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {

using test::Bytes;
using test::RouteOne;

class RelayMediumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::g_rec = &rec_;
    link_.relay = test::FakeRelayApi();
    link_.settings.relay_address = "127.0.0.1";
    link_.settings.relay_port = 5200;
    link_.settings.user_name = "ann";
    link_.settings.password = "pw";
  }
  void TearDown() override { test::g_rec = nullptr; }

  test::Recorder rec_;
  ConnectionManager link_;
};

TEST_F(RelayMediumTest, ZvServerOperationCallsInOrder) {
  link_.comm_type = 4;
  link_.settings.device_id = "AB12cd";
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 9), 1);
  EXPECT_EQ(link_.controller_id(), 0xFF);
  rec_.replies.push_back(RouteOne("AB12cd", test::Reply(0x2D, {0x01})));
  EXPECT_EQ(ResetController(link_), 1);
  link_.CloseLink();
  EXPECT_EQ(rec_.calls, (std::vector<std::string>{"login", "lock AB12cd", "send AB12cd", "recv",
                                                  "unlock AB12cd", "logout"}));
  EXPECT_EQ(rec_.login_args, "127.0.0.1:5200:ann:pw");
  ASSERT_EQ(rec_.sent.size(), 1u);
  EXPECT_EQ(rec_.routes[0], 1);
  EXPECT_EQ(rec_.sent[0],
            (Bytes{0x0E, 0x00, 1, 1, 1, 1, 1, 1, 0x68, 0x32, 0xFF, 0x2D, 0x01, 0x00, 0xC7, 0x01}));
}

TEST_F(RelayMediumTest, RefusedLockLogsOutAndNothingElse) {
  link_.comm_type = 4;
  link_.settings.device_id = "ABCDEF";
  rec_.lock_result = 0;
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 1), 0);
  EXPECT_EQ(rec_.calls, (std::vector<std::string>{"login", "lock ABCDEF", "logout"}));
}

TEST_F(RelayMediumTest, RefusedLoginNeedsNoLogout) {
  link_.comm_type = 5;
  link_.settings.device_id = "123456";
  rec_.login_result = 4;
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 1), 0);
  EXPECT_EQ(rec_.calls, (std::vector<std::string>{"login"}));
}

TEST_F(RelayMediumTest, DeviceIdFormChecksCallNothing) {
  struct Case {
    int comm;
    std::string id;
    bool ok;
  } cases[] = {
      {5, "12345", false},
      {5, "12a456", false},
      {5, std::string(30, '7'), true},
      {5, std::string(31, '7'), false},
      {4, "a1B2c3", true},
      {4, "abcde", false},
      {4, "abcdefg", false},
  };
  for (const Case& c : cases) {
    rec_.calls.clear();
    link_.comm_type = c.comm;
    link_.settings.device_id = c.id;
    EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 1), c.ok ? 1 : 0) << c.id;
    if (c.ok) {
      link_.CloseLink();
    } else {
      EXPECT_TRUE(rec_.calls.empty()) << c.id;
    }
  }
}

TEST_F(RelayMediumTest, EmptyTableFailsOpenWithoutCrashing) {
  link_.relay = RelayApi{};
  link_.comm_type = 4;
  link_.settings.device_id = "ABCDEF";
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 1), 0);
  Bytes p = {0x68, 0, 0, 0};
  EXPECT_EQ(SendPacket(link_, p.data(), p.size()), 0);
  uint8_t r[16];
  EXPECT_EQ(ReceivePacket(link_, r, sizeof r), 0u);
  link_.CloseLink();
}

TEST_F(RelayMediumTest, ZvServerRejectsOtherCardsRequestsAndBadCounts) {
  link_.comm_type = 4;
  link_.settings.device_id = "abcdef";
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  // Same card in another case: another card.
  rec_.replies.push_back(RouteOne("ABCDEF", test::Reply(0x2D, {0x01})));
  EXPECT_EQ(ResetController(link_), 0);
  // A request packet (0x68) instead of a reply.
  Bytes req = test::Reply(0x2D, {0x01});
  req[0] = 0x68;
  AppendChecksum(req.data(), req.size() - 2);
  rec_.replies.push_back(RouteOne("abcdef", req));
  EXPECT_EQ(ResetController(link_), 0);
  // A count beyond the buffer is not trusted.
  rec_.forced_count = 5000;
  rec_.replies.push_back(RouteOne("abcdef", test::Reply(0x2D, {0x01})));
  EXPECT_EQ(ResetController(link_), 0);
  rec_.forced_count = 0;
  // The tool never reads again after a rejected reply.
  size_t recvs = 0;
  for (const std::string& c : rec_.calls) recvs += c == "recv";
  EXPECT_EQ(recvs, 3u);
  link_.CloseLink();
}

TEST_F(RelayMediumTest, ZvGprsEnvelopesInBothDirections) {
  link_.comm_type = 5;
  link_.settings.device_id = "861234";
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  Bytes reply = test::Reply(0x29, {0x01, 0xA5, 0x00, 0x00, 0x00});
  Bytes env = {0xA5, '8', '6', '1', '2', '3', '4'};
  for (uint8_t b : reply) {
    if (NeedsEscape(b)) {
      env.push_back(0xAA);
      env.push_back(b & 0x0F);
    } else {
      env.push_back(b);
    }
  }
  env.push_back(0xAE);
  rec_.replies.push_back(env);
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0xA5u);
  ASSERT_EQ(rec_.sent.size(), 1u);
  EXPECT_EQ(rec_.routes[0], 2);
  Bytes expect = {0xA5, '8', '6', '1', '2', '3', '4', 0x68, 0x32, 0xFF, 0x29, 0x01, 0x01};
  uint16_t sum = ByteSum16(expect.data() + 7, 6);
  expect.push_back(static_cast<uint8_t>(sum));
  expect.push_back(static_cast<uint8_t>(sum >> 8));
  expect.push_back(0xAE);
  EXPECT_EQ(rec_.sent[0], expect);
  link_.CloseLink();
}

TEST_F(RelayMediumTest, RefusalsAreExplainedFromWhatTheServerSaid) {
  link_.comm_type = 4;
  link_.settings.device_id = "100001";
  auto open_problem = [&] {
    link_.OpenLink(kControllerTypeCode, 1);
    return link_.problem.code + ": " + link_.problem.reason;
  };
  rec_.login_result = 4;
  EXPECT_EQ(open_problem(), "login-refused: wrong password for user ann");
  rec_.login_result = 2;
  EXPECT_EQ(open_problem(), "login-refused: the relay server knows no user ann");
  rec_.login_result = -2;
  EXPECT_EQ(open_problem(),
            "link-failed: no valid login answer from 127.0.0.1:5200 (is it the relay server's user "
            "port?)");
  rec_.login_result = 1;
  rec_.lock_result = 0;
  rec_.card_status = "";
  EXPECT_EQ(open_problem(), "not-found: the relay server has no card 100001 for this user");
  rec_.card_status = "100001=0;";
  EXPECT_EQ(open_problem(), "card-offline: card 100001 is offline");
  rec_.card_status = "100001=1;";
  EXPECT_EQ(open_problem(), "card-locked: card 100001 is locked by another user");
  // On an open link the forwarding status tells that the card went away.
  rec_.lock_result = 1;
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  EXPECT_TRUE(link_.problem.code.empty());
  rec_.send_status = 2;
  EXPECT_EQ(ResetController(link_), 0);
  EXPECT_EQ(link_.problem.reason, "card 100001 went offline");
  link_.CloseLink();
}

TEST_F(RelayMediumTest, ACardThatIsGoneOrNotLockedEndsTheOpenLinkUntilItIsOpenedAgain) {
  link_.comm_type = 4;
  link_.settings.device_id = "100001";
  // 2 card not connected, 3 locked by another user, 4 of another
  // organization, 5 no longer locked for this user.
  for (int status : {2, 3, 4, 5}) {
    rec_.calls.clear();
    rec_.send_status = 1;
    ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
    rec_.send_status = status;
    EXPECT_EQ(ResetController(link_), 0) << status;
    // No reply can come: nothing waits on the library's receive time-out,
    // and later packets of this link are not offered to the server.
    uint8_t reply[64];
    EXPECT_EQ(ReceivePacket(link_, reply, sizeof reply), 0u);
    Bytes p = test::Reply(0x29, {0x01});
    EXPECT_EQ(SendPacket(link_, p.data(), p.size()), 0);
    EXPECT_FALSE(link_.problem.reason.empty()) << status;
    link_.CloseLink();
    EXPECT_EQ(rec_.calls, (std::vector<std::string>{"login", "lock 100001", "send 100001",
                                                    "unlock 100001", "logout"}))
        << status;
  }
  // The next operation opens a fresh link that carries packets again.
  rec_.send_status = 1;
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  rec_.replies.push_back(RouteOne("100001", test::Reply(0x2D, {0x01})));
  EXPECT_EQ(ResetController(link_), 1);
  link_.CloseLink();
}

}  // namespace
}  // namespace tarvo

// Tool commands on "Zv Server" and "Zv GPRS": the connection manager calls
// the real relay client library, which talks to a scripted relay server on
// loopback. The server plays the relay's part byte for byte (login, lock,
// forwarding status, card packet delivery, unlock) and hands every forwarded
// controller packet to a simulated controller, so the answers are a card's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/controller_model.hpp"
#include "tests/relay_client/relay_test_bytes.hpp"
#include "tests/relay_client/scripted_relay_server.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/stream_framing.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/relay_binding.hpp"
#include "tool/protocol/commands.hpp"

namespace {

using zvtest::Bytes;
using zvtest::Cat;
using zvtest::Counted;
using zvtest::Frame;

// What the relay saw of one forwarded packet.
struct Forwarded {
  std::string device_id;
  uint8_t route = 0;
  Bytes envelope;
};

bool ParseCommPacket(const Bytes& body, Forwarded* out) {
  if (body.size() < 3) return false;
  size_t len = body[0];
  if (len == 0 || body.size() < len + 2) return false;
  out->device_id.assign(reinterpret_cast<const char*>(&body[1]), len - 1);
  out->route = body[len + 1];
  out->envelope.assign(body.begin() + static_cast<long>(len) + 2, body.end());
  return true;
}

// The controller packet inside a request envelope, read independently of the
// tool's envelope code.
bool Unwrap(const Forwarded& f, Bytes* packet) {
  const Bytes& e = f.envelope;
  if (f.route == 1) {
    if (e.size() < 8) return false;
    size_t declared = e[0] | (e[1] << 8);
    for (int i = 2; i < 8; ++i)
      if (e[i] != 0x01) return false;
    if (declared != e.size() - 2) return false;
    packet->assign(e.begin() + 8, e.end());
    return true;
  }
  if (e.size() < 2 || e.front() != tarvo::kFrameStart || e.back() != tarvo::kFrameEnd) return false;
  size_t k = 1;
  std::string digits;
  while (k < e.size() && e[k] >= '0' && e[k] <= '9') digits.push_back(static_cast<char>(e[k++]));
  if (digits != f.device_id) return false;
  packet->resize(e.size());
  tarvo::StreamDecoder d(packet->data(), packet->size());
  for (; k < e.size(); ++k)
    if (d.Feed(e[k]) == tarvo::StreamDecoder::Step::kComplete) break;
  packet->resize(d.count());
  return true;
}

// The card's answer wrapped as the relay delivers it to the lock owner.
Bytes Wrap(const Forwarded& f, const Bytes& reply) {
  Bytes env;
  if (f.route == 1) {
    size_t l = reply.size() + 6;
    env = {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8)};
    env.insert(env.end(), f.device_id.begin(), f.device_id.end());
    env.insert(env.end(), reply.begin(), reply.end());
  } else {
    env.push_back(tarvo::kFrameStart);
    env.insert(env.end(), f.device_id.begin(), f.device_id.end());
    tarvo::AppendEscaped(reply.data(), reply.size(), env);
    env.push_back(tarvo::kFrameEnd);
  }
  return env;
}

class ToolOverRelay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.listening());
    link_.relay = tarvo::ZvServerRelayApi();
    link_.settings.relay_address = "127.0.0.1";
    link_.settings.relay_port = server_.port();
    link_.settings.user_name = "user01";
    link_.settings.password = "21963";
    tarvo::sim::SimFile f;
    f.name = "LOGO";
    f.type = "BMP";
    f.data.assign(1234, 0x5A);
    model_.disk(1).Store(f);
  }

  // One relay session as the tool runs it: login, lock, any number of
  // forwarded packets answered by the simulated card, unlock, logout.
  void ExpectSession(const std::string& device_id, uint8_t route, std::vector<Forwarded>* seen) {
    server_.Expect([this, device_id, route, seen](zvtest::ServerPeer& peer) {
      Bytes body;
      ASSERT_TRUE(peer.ExpectFrame(zvtest::kLogin, &body));
      EXPECT_EQ(body, Cat({Counted("user01"), Counted("21963")}));
      ASSERT_TRUE(peer.Write(Frame(zvtest::kLoginAck, zvtest::LoginAckBody(1, "user01"))));
      ASSERT_TRUE(peer.ExpectFrame(zvtest::kLockCard, &body));
      EXPECT_EQ(body, Cat({Counted(device_id), Bytes{1}}));
      ASSERT_TRUE(peer.Write(Frame(zvtest::kLockCardAck, Bytes{1})));
      for (;;) {
        zvtest::ReceivedFrame frame;
        ASSERT_TRUE(peer.ReadFrame(&frame));
        if (frame.type == zvtest::kLockCard) {
          EXPECT_EQ(frame.body, Cat({Counted(device_id), Bytes{0}}));
          ASSERT_TRUE(peer.Write(Frame(zvtest::kLockCardAck, Bytes{1})));
          EXPECT_TRUE(peer.WaitClosed());
          return;
        }
        ASSERT_EQ(frame.type, zvtest::kCommPacket);
        Forwarded f;
        ASSERT_TRUE(ParseCommPacket(frame.body, &f));
        EXPECT_EQ(f.device_id, device_id);
        EXPECT_EQ(f.route, route);
        seen->push_back(f);
        ASSERT_TRUE(peer.Write(Frame(zvtest::kCommPacketAck, Bytes{1})));  // sent to the card
        Bytes packet;
        ASSERT_TRUE(Unwrap(f, &packet));
        tarvo::sim::Answer a = model_.Handle(packet.data(), packet.size());
        if (a.outcome == tarvo::sim::Outcome::kReplied) {
          ASSERT_TRUE(
              peer.Write(Frame(zvtest::kCommPacketAck, zvtest::CardPacketBody(Wrap(f, a.reply)))));
        }
      }
    });
  }

  zvtest::ScriptedRelayServer server_;
  tarvo::ConnectionManager link_;
  tarvo::sim::ControllerModel model_;
};

TEST_F(ToolOverRelay, ZvServerListsFilesAndReadsFreeSpaceThroughTheLibrary) {
  std::vector<Forwarded> seen;
  ExpectSession("A1b2C3", 1, &seen);
  link_.comm_type = static_cast<int>(tarvo::CommType::kZvServer);
  link_.settings.device_id = "A1b2C3";
  ASSERT_EQ(link_.OpenLink(tarvo::kControllerTypeCode, 7), 1);

  uint8_t page[2 + 4 * 64] = {};
  EXPECT_EQ(tarvo::ListFiles(link_, 0, page, sizeof page, 1), 1);
  tarvo::DirectoryEntry entry;
  ASSERT_TRUE(tarvo::DecodeDirectoryEntry(page + 2, 64, &entry));
  EXPECT_EQ(entry.name, "LOGO");
  EXPECT_EQ(entry.type, "BMP");
  EXPECT_EQ(entry.size, 1234u);
  EXPECT_EQ(tarvo::GetFreeSpace(link_, 1), model_.disk(1).FreeSpace());
  link_.CloseLink();
  ASSERT_TRUE(server_.WaitDone());
  EXPECT_EQ(server_.unexpected(), 0);

  // The panel's Controller ID is never sent over the relay: 255 is.
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].envelope[8], tarvo::kRequestStart);
  EXPECT_EQ(seen[0].envelope[8 + 2], tarvo::kAnyControllerId);
}

TEST_F(ToolOverRelay, ZvGprsCarriesEscapedPacketsBothWays) {
  std::vector<Forwarded> seen;
  ExpectSession("861234567890", 2, &seen);
  link_.comm_type = static_cast<int>(tarvo::CommType::kZvGprs);
  link_.settings.device_id = "861234567890";
  ASSERT_EQ(link_.OpenLink(tarvo::kControllerTypeCode, 1), 1);
  tarvo::VersionWords words;
  EXPECT_NE(tarvo::GetVersions(link_, &words), 0);
  EXPECT_EQ(words[0], model_.config().versions[0]);
  EXPECT_EQ(words[5], model_.config().versions[5]);
  // The 16-byte screen record set and read back through the card.
  uint8_t record[16] = {0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_GT(tarvo::SetScreenConfig(link_, record, sizeof record), 0);
  uint8_t back[100] = {};
  EXPECT_GT(tarvo::ReadScreenConfig(link_, back, sizeof back, 0x20), 13u);
  EXPECT_EQ(back[1] & 0x20, 0x20);
  EXPECT_EQ(back[12], 1);
  link_.CloseLink();
  ASSERT_TRUE(server_.WaitDone());
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].envelope.front(), tarvo::kFrameStart);
}

TEST_F(ToolOverRelay, RefusedLockAsksTheCardsStatusThenLogsOut) {
  server_.Expect([](zvtest::ServerPeer& peer) {
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kLogin));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kLoginAck, zvtest::LoginAckBody(1, "user01"))));
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kLockCard));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kLockCardAck, Bytes{0})));
    // Why: the card's status, then nothing else.
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kQuery));
    ASSERT_TRUE(peer.Write(
        Frame(zvtest::kQueryAck, zvtest::CardQueryAckBody({zvtest::CardEnvelope("100001", 0)}))));
    EXPECT_TRUE(peer.WaitClosed());
  });
  link_.comm_type = static_cast<int>(tarvo::CommType::kZvServer);
  link_.settings.device_id = "100001";
  EXPECT_EQ(link_.OpenLink(tarvo::kControllerTypeCode, 1), 0);
  EXPECT_EQ(link_.problem.reason, "card 100001 is offline");
  link_.CloseLink();
  ASSERT_TRUE(server_.WaitDone());
  EXPECT_EQ(server_.accepted(), 1);
}

TEST_F(ToolOverRelay, ReplyFromAnotherCardFailsTheCommand) {
  server_.Expect([](zvtest::ServerPeer& peer) {
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kLogin));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kLoginAck, zvtest::LoginAckBody(1, "user01"))));
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kLockCard));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kLockCardAck, Bytes{1})));
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kCommPacket));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kCommPacketAck, Bytes{1})));
    // A well-formed GetFreeSpace reply, but from card "100002".
    Bytes reply = {0xE8, 0x32, 0xFF, 0x29, 0x01, 0x01, 0x00, 0x10, 0x00, 0x00, 0, 0};
    tarvo::AppendChecksum(reply.data(), 10);
    Forwarded other{"100002", 1, {}};
    ASSERT_TRUE(
        peer.Write(Frame(zvtest::kCommPacketAck, zvtest::CardPacketBody(Wrap(other, reply)))));
    ASSERT_TRUE(peer.ExpectFrame(zvtest::kLockCard));
    ASSERT_TRUE(peer.Write(Frame(zvtest::kLockCardAck, Bytes{1})));
    EXPECT_TRUE(peer.WaitClosed());
  });
  link_.comm_type = static_cast<int>(tarvo::CommType::kZvServer);
  link_.settings.device_id = "100001";
  ASSERT_EQ(link_.OpenLink(tarvo::kControllerTypeCode, 1), 1);
  EXPECT_EQ(tarvo::GetFreeSpace(link_, 1), 0u);
  link_.CloseLink();
  ASSERT_TRUE(server_.WaitDone());
}

}  // namespace

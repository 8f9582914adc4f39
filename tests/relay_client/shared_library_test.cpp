// The nine entry points of libZvServerAPI.so, called through the public
// header by a program linked against the shared library (production timing).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "relay/client/ZvServerAPI.h"
#include "tests/relay_client/scripted_relay_server.hpp"

namespace {

using namespace zvtest;

TEST(ZvServerApi, WithoutAConnectionEveryCallReturnsItsFailureValue) {
  unsigned char data[16] = {0x68};
  char text[16] = {};
  EXPECT_EQ(ZvServer_Logout(), 0);
  EXPECT_EQ(ZvServer_LockCard("000001"), 0);
  EXPECT_EQ(ZvServer_UnLockCard("000001"), 0);
  EXPECT_EQ(ZvServer_SendCommPacket("000001", 1, data, 16), 0);
  EXPECT_EQ(ZvServer_RecvCommPacket(data, 16), 0);
  EXPECT_EQ(ZvServer_SendHeartbeatPacket(), 0);
  EXPECT_EQ(ZvServer_SetReceiveTimeout(1000), 0);
  EXPECT_EQ(ZvServer_QueryCardStatus("", text, 16), -1);
  // Bad arguments never crash.
  EXPECT_EQ(ZvServer_Login(nullptr, 1, nullptr, nullptr), -5);
  EXPECT_EQ(ZvServer_Login(nullptr, 1, "u", "p"), 5);
  EXPECT_EQ(ZvServer_LockCard(nullptr), 0);
  EXPECT_EQ(ZvServer_SendCommPacket(nullptr, 1, nullptr, -1), 0);
  EXPECT_EQ(ZvServer_RecvCommPacket(nullptr, -1), 0);
  EXPECT_EQ(ZvServer_QueryCardStatus(nullptr, nullptr, -1), -1);
}

TEST(ZvServerApi, ToolSequenceAgainstAScriptedServer) {
  ScriptedRelayServer server;
  const Bytes request = Pattern(20, 0x68), reply = Pattern(40, 0xE8);
  Bytes sent;
  server.Expect([&](ServerPeer& peer) {
    EXPECT_TRUE(peer.ExpectFrame(kLogin));
    peer.Write(Frame(kLoginAck, LoginAckBody(1, "alice")));
    EXPECT_TRUE(peer.ExpectFrame(kLockCard));
    peer.Write(Frame(kLockCardAck, {1}));
    EXPECT_TRUE(peer.ExpectFrame(kCommPacket, &sent));
    peer.Write(Frame(kCommPacketAck, {1}));
    peer.Write(Frame(kCommPacketAck, CardPacketBody(reply)));
    Bytes heartbeat;
    EXPECT_TRUE(peer.ExpectFrame(kHeartbeat, &heartbeat));
    EXPECT_EQ(heartbeat, Bytes({1}));
    EXPECT_TRUE(peer.ExpectFrame(kQuery));
    peer.Write(Frame(kQueryAck, CardQueryAckBody({CardEnvelope("000001", 1)})));
    EXPECT_TRUE(peer.ExpectFrame(kLockCard));
    peer.Write(Frame(kLockCardAck, {1}));
    EXPECT_TRUE(peer.WaitClosed());
  });
  ASSERT_EQ(ZvServer_Login("127.0.0.1", server.port(), "alice", "pw"), 1);
  EXPECT_EQ(ZvServer_Login("127.0.0.1", server.port(), "alice", "pw"), 3);
  EXPECT_EQ(ZvServer_LockCard("000001"), 1);
  EXPECT_EQ(ZvServer_SendCommPacket("000001", 1, request.data(), 20), 1);
  EXPECT_EQ(sent, Cat({Counted("000001"), {1}, request}));
  unsigned char buffer[2048];
  ASSERT_EQ(ZvServer_RecvCommPacket(buffer, sizeof buffer), 40);
  EXPECT_EQ(Bytes(buffer, buffer + 40), reply);
  EXPECT_EQ(ZvServer_SendHeartbeatPacket(), 1);
  EXPECT_EQ(ZvServer_SetReceiveTimeout(500), 1);
  char text[32];
  EXPECT_EQ(ZvServer_QueryCardStatus(nullptr, text, sizeof text), 1);
  EXPECT_STREQ(text, "000001=1;");
  EXPECT_EQ(ZvServer_UnLockCard("000001"), 1);
  EXPECT_EQ(ZvServer_Logout(), 0);
  EXPECT_TRUE(server.WaitDone());
}

}  // namespace

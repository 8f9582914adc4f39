// CRelaySocket against a loopback peer: connect, whole sends, exact reads,
// time-outs and the loss of the connection.
#include "relay/client/relay_socket.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.hpp"
#include "tests/relay_client/scripted_relay_server.hpp"

namespace {

using zv::CRelaySocket;
using zvtest::Bytes;
using zvtest::ScriptedRelayServer;
using zvtest::ServerPeer;

constexpr uint32_t kLoopback = 0x7F000001;

zv::RelaySocketTiming FastTiming(int receive_timeout_ms = 2000) {
  zv::RelaySocketTiming t;
  t.connect_pause_ms = 0;
  t.after_connect_pause_ms = 0;
  t.read_pause_ms = 0;
  t.receive_timeout_ms = receive_timeout_ms;
  return t;
}

TEST(RelaySocketTiming, ProductionValuesAreTheChosenOnes) {
  zv::RelaySocketTiming t;
  EXPECT_EQ(t.connect_pause_ms, 50);
  EXPECT_EQ(t.send_timeout_ms, 5000);
  EXPECT_EQ(t.receive_timeout_ms, 30000);
  EXPECT_EQ(t.connect_timeout_ms, 5000);
  EXPECT_EQ(t.after_connect_pause_ms, 10);
  EXPECT_EQ(t.read_pause_ms, 6);
  EXPECT_EQ(CRelaySocket().timing().read_pause_ms, 6);
}

TEST(RelaySocket, EveryOperationRefusesWithoutAConnection) {
  CRelaySocket socket(FastTiming());
  uint8_t byte = 0;
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.Send(&byte, 1), -1);
  EXPECT_EQ(socket.ReceiveExact(&byte, 1), -1);
  EXPECT_EQ(socket.SetReceiveTimeout(1000), 0);
}

TEST(RelaySocket, ConnectUsesTheLow16BitsOfThePortAndKeepsTheAddress) {
  ScriptedRelayServer server;
  server.Expect([](ServerPeer& peer) { EXPECT_TRUE(peer.WaitClosed()); });
  CRelaySocket socket(FastTiming());
  ASSERT_EQ(socket.Connect(kLoopback, 0x10000 + server.port()), 1);
  EXPECT_TRUE(socket.IsConnected());
  EXPECT_EQ(socket.address(), kLoopback);
  uint8_t byte = 0;
  EXPECT_EQ(socket.ReceiveExact(&byte, 0), 0);
  EXPECT_EQ(socket.ReceiveExact(&byte, -1), -1);
  EXPECT_EQ(socket.ReceiveExact(nullptr, 4), -1);
  socket.Close();
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.address(), 0u);
  EXPECT_EQ(socket.port(), 0);
  EXPECT_TRUE(server.WaitDone());
}

TEST(RelaySocket, RefusedConnectFailsAndLeavesTheSocketUnconnected) {
  uint16_t port;
  {
    tarvo::platform::TcpListener probe;
    ASSERT_EQ(probe.Listen(kLoopback, 0), 1);
    port = probe.Port();
  }
  CRelaySocket socket(FastTiming());
  EXPECT_EQ(socket.Connect(kLoopback, port), 0);
  EXPECT_FALSE(socket.IsConnected());
}

TEST(RelaySocket, SendDeliversEveryByteOfALargeBufferToASlowReader) {
  // More than the loopback socket buffers of both ends can hold.
  const Bytes data = zvtest::Pattern(32 * 1024 * 1024);
  Bytes received(data.size());
  ScriptedRelayServer server;
  server.Expect([&](ServerPeer& peer) {
    // Drains far slower than the send time-out allows for the whole buffer,
    // so single send calls end early with part of it written.
    for (size_t at = 0; at < received.size(); at += 256 * 1024) {
      tarvo::platform::SleepMs(5);
      ASSERT_TRUE(peer.ReadExact(received.data() + at, 256 * 1024, 5000));
    }
  });
  zv::RelaySocketTiming timing = FastTiming();
  timing.send_timeout_ms = 200;
  CRelaySocket socket(timing);
  ASSERT_EQ(socket.Connect(kLoopback, server.port()), 1);
  EXPECT_EQ(socket.Send(data.data(), static_cast<int>(data.size())), 1);
  EXPECT_TRUE(server.WaitDone(10000));
  EXPECT_EQ(received, data);
}

TEST(RelaySocket, ReceiveExactGathersBytesThatTrickleIn) {
  ScriptedRelayServer server;
  server.Expect([](ServerPeer& peer) {
    for (uint8_t b = 1; b <= 10; ++b) {
      peer.Write({b});
      tarvo::platform::SleepMs(3);
    }
    peer.WaitClosed();
  });
  CRelaySocket socket(FastTiming());
  ASSERT_EQ(socket.Connect(kLoopback, server.port()), 1);
  uint8_t buffer[10] = {};
  ASSERT_EQ(socket.ReceiveExact(buffer, 10), 10);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[9], 10);
  socket.Close();
  EXPECT_TRUE(server.WaitDone());
}

TEST(RelaySocket, ReceiveTimeOutReturnsWhatCameAndKeepsTheConnection) {
  ScriptedRelayServer server;
  server.Expect([](ServerPeer& peer) {
    peer.Write({7, 8, 9});
    peer.WaitClosed();
  });
  CRelaySocket socket(FastTiming(30000));
  ASSERT_EQ(socket.Connect(kLoopback, server.port()), 1);
  EXPECT_EQ(socket.SetReceiveTimeout(0), 0);  // would mean "wait forever"
  EXPECT_EQ(socket.SetReceiveTimeout(-5), 0);
  ASSERT_EQ(socket.SetReceiveTimeout(100), 1);
  uint8_t buffer[10] = {};
  int64_t start = tarvo::platform::MonotonicMs();
  EXPECT_EQ(socket.ReceiveExact(buffer, 10), 3);
  EXPECT_LT(tarvo::platform::MonotonicMs() - start, 10000);  // not the 30 s default
  EXPECT_TRUE(socket.IsConnected());
  EXPECT_EQ(socket.ReceiveExact(buffer, 1), 0);
  EXPECT_TRUE(socket.IsConnected());
  socket.Close();
  EXPECT_TRUE(server.WaitDone());
}

TEST(RelaySocket, ServerCloseEndsTheReceiveAtOnceAndDropsTheConnection) {
  ScriptedRelayServer server;
  server.Expect([](ServerPeer& peer) { peer.Write({1, 2, 3, 4}); });
  CRelaySocket socket(FastTiming(30000));
  ASSERT_EQ(socket.Connect(kLoopback, server.port()), 1);
  uint8_t buffer[10] = {};
  int64_t start = tarvo::platform::MonotonicMs();
  EXPECT_EQ(socket.ReceiveExact(buffer, 10), 4);
  EXPECT_LT(tarvo::platform::MonotonicMs() - start, 10000);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.ReceiveExact(buffer, 1), -1);
  EXPECT_EQ(socket.Send(buffer, 1), -1);
}

TEST(RelaySocket, FailedSendDropsTheConnection) {
  ScriptedRelayServer server;
  server.Expect([](ServerPeer&) {});  // closes at once
  CRelaySocket socket(FastTiming());
  ASSERT_EQ(socket.Connect(kLoopback, server.port()), 1);
  ASSERT_TRUE(server.WaitDone());
  const Bytes data = zvtest::Pattern(64 * 1024);
  int result = 1;
  // The first write may still be buffered; the peer's reset fails a later one.
  for (int i = 0; i < 100 && result == 1; ++i) {
    result = socket.Send(data.data(), static_cast<int>(data.size()));
    tarvo::platform::SleepMs(2);
  }
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.Send(data.data(), 1), -1);
}

}  // namespace

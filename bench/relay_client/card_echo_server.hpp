// An in-process relay server for the round-trip benchmarks: accepts one
// login, then answers every controller packet with the forwarding status 1
// followed by a card packet of the same size.
#pragma once

#include <thread>

#include "tests/relay_client/scripted_relay_server.hpp"

namespace zvbench {

class CardEchoServer {
 public:
  CardEchoServer() {
    server_.Expect([](zvtest::ServerPeer& peer) {
      using namespace zvtest;
      if (!peer.ExpectFrame(kLogin)) return;
      peer.Write(Frame(kLoginAck, LoginAckBody(1, "bench")));
      Bytes body;
      // Runs until the client logs out (or stays away for a minute).
      while (peer.ExpectFrame(kCommPacket, &body, 60000)) {
        // Body: counted device ID, route, packet.
        Bytes packet(body.begin() + body[0] + 2, body.end());
        peer.Write(
            Cat({Frame(kCommPacketAck, {1}), Frame(kCommPacketAck, CardPacketBody(packet))}));
      }
    });
  }
  uint16_t port() const { return server_.port(); }

 private:
  zvtest::ScriptedRelayServer server_;
};

}  // namespace zvbench

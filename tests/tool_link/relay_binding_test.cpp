// The relay medium bound to the real relay client library.
#include "tool/link/relay_binding.hpp"

#include <gtest/gtest.h>

#include "platform/socket.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"

namespace tarvo {
namespace {

TEST(RelayBinding, TableIsCompleteAndAnUnreachableServerFailsTheOpen) {
  RelayApi api = ZvServerRelayApi();
  EXPECT_TRUE(api.login && api.logout && api.lock_card && api.unlock_card && api.send_comm_packet &&
              api.recv_comm_packet);

  platform::TcpListener l;
  ASSERT_EQ(l.Listen(0x7F000001, 0), 1);
  const int port = l.Port();
  l.Close();
  ConnectionManager link;
  link.relay = api;
  link.comm_type = 4;
  link.settings.relay_address = "127.0.0.1";
  link.settings.relay_port = port;
  link.settings.user_name = "u";
  link.settings.password = "p";
  link.settings.device_id = "ABCDEF";
  EXPECT_EQ(link.OpenLink(kControllerTypeCode, 1), 0);
  link.CloseLink();
  // Not connected: the library answers with nothing.
  uint8_t buffer[2048];
  EXPECT_LE(api.recv_comm_packet(buffer, sizeof buffer), 0);
}

}  // namespace
}  // namespace tarvo

// A test-only gateway library: the four entry points plus controls that the
// test resolves from the same library to script answers and read back what
// the tool did.
#include <cstring>
#include <deque>

#include "tool/codec/dcc_message.hpp"

using tarvo::DccMessage;

namespace {
int g_init_result = 0;
int g_init_calls = 0;
int g_closed_handle = 0;
int g_close_calls = 0;
int g_send_result = 1;
int g_port = 0;
char g_address[64] = {};
DccMessage g_last_sent{};
std::deque<DccMessage> g_inbox;
}  // namespace

extern "C" {

int dcc_init(int, int, const char* address, int port, int) {
  ++g_init_calls;
  g_port = port;
  std::strncpy(g_address, address ? address : "", sizeof g_address - 1);
  return g_init_result;
}
int dcc_close(int handle) {
  ++g_close_calls;
  g_closed_handle = handle;
  return 1;
}
int dcc_msg_send(int, DccMessage* message) {
  g_last_sent = *message;
  return g_send_result;
}
int dcc_msg_receive(int, DccMessage* message) {
  if (g_inbox.empty()) return 0;
  *message = g_inbox.front();
  g_inbox.pop_front();
  return 1;
}

void fake_dcc_reset(int init_result, int send_result) {
  g_init_result = init_result;
  g_send_result = send_result;
  g_init_calls = g_close_calls = g_closed_handle = g_port = 0;
  g_address[0] = 0;
  g_last_sent = DccMessage{};
  g_inbox.clear();
}
void fake_dcc_queue(const DccMessage* message) {
  g_inbox.push_back(*message);
}
const DccMessage* fake_dcc_last_sent() {
  return &g_last_sent;
}
int fake_dcc_closed_handle() {
  return g_closed_handle;
}
int fake_dcc_close_calls() {
  return g_close_calls;
}
int fake_dcc_init_calls() {
  return g_init_calls;
}
int fake_dcc_port() {
  return g_port;
}
const char* fake_dcc_address() {
  return g_address;
}
}

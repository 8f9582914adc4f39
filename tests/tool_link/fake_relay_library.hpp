// A recording fake of the relay client library's functions: what the tool
// called, in order, and scripted answers (login and lock results, the
// forwarding status, queued card replies). One Recorder is active at a time.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "link_test_util.hpp"
#include "tool/link/relay_api.hpp"

namespace tarvo::test {

// Route-1 reply envelope: [L][six id characters][packet].
inline Bytes RouteOne(const std::string& id, const Bytes& packet) {
  Bytes out = {static_cast<uint8_t>(packet.size() + 6),
               static_cast<uint8_t>((packet.size() + 6) >> 8)};
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

// What the fake library saw and what it answers next.
struct Recorder {
  std::vector<std::string> calls;
  int login_result = 1;
  int lock_result = 1;
  std::string login_args;
  std::vector<Bytes> sent;
  std::vector<int> routes;
  std::deque<Bytes> replies;
  int forced_count = 0;  // when non-zero, the count RecvCommPacket reports
  int send_status = 1;
  // When non-zero, the send of this number (the first is 1) and every later
  // one get status 2: the card went away there.
  size_t card_gone_at_send = 0;
  // A route-1 request that asks for an answer (flag byte not 0) is answered
  // by its card with result 1.
  bool answer_requests = false;
  std::string card_status;  // what QueryCardStatus lists

  size_t Count(const std::string& call_prefix) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
      return c.compare(0, call_prefix.size(), call_prefix) == 0;
    }));
  }
};
inline Recorder* g_rec = nullptr;

inline int FakeLogin(const char* a, int port, const char* u, const char* p) {
  g_rec->calls.push_back("login");
  g_rec->login_args = std::string(a) + ":" + std::to_string(port) + ":" + u + ":" + p;
  return g_rec->login_result;
}
inline int FakeLogout() {
  g_rec->calls.push_back("logout");
  return 0;
}
inline int FakeLock(const char* id) {
  g_rec->calls.push_back(std::string("lock ") + id);
  return g_rec->lock_result;
}
inline int FakeUnlock(const char* id) {
  g_rec->calls.push_back(std::string("unlock ") + id);
  return 1;
}
inline int FakeSend(const char* id, int route, const uint8_t* data, int length) {
  g_rec->calls.push_back(std::string("send ") + id);
  g_rec->sent.emplace_back(data, data + length);
  g_rec->routes.push_back(route);
  if (g_rec->card_gone_at_send != 0 && g_rec->sent.size() >= g_rec->card_gone_at_send) return 2;
  if (g_rec->answer_requests && route == kRelayRouteServer && length > 12 && data[12] != 0)
    g_rec->replies.push_back(RouteOne(id, Reply(data[11], {0x01})));
  return g_rec->send_status;
}
inline int FakeQuery(const char*, char* buffer, int size) {
  std::snprintf(buffer, static_cast<size_t>(size), "%s", g_rec->card_status.c_str());
  return static_cast<int>(std::count(g_rec->card_status.begin(), g_rec->card_status.end(), ';'));
}
inline int FakeRecv(uint8_t* buffer, int size) {
  g_rec->calls.push_back("recv");
  if (g_rec->replies.empty()) return 0;
  Bytes r = g_rec->replies.front();
  g_rec->replies.pop_front();
  size_t n = std::min(r.size(), static_cast<size_t>(size));
  std::memcpy(buffer, r.data(), n);
  return g_rec->forced_count ? g_rec->forced_count : static_cast<int>(n);
}

inline RelayApi FakeRelayApi() {
  return RelayApi{&FakeLogin, &FakeLogout, &FakeLock, &FakeUnlock,
                  &FakeSend,  &FakeRecv,   &FakeQuery};
}

}  // namespace tarvo::test

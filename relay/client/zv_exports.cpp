// The nine C entry points of libZvServerAPI.so over the process-wide session.
//
// Every entry point catches everything at the boundary: a C caller cannot
// handle a C++ exception, so any that escapes the session (only memory
// exhaustion can) becomes the function's failure value.
#include "relay/client/ZvServerAPI.h"
#include "relay/client/relay_session.hpp"
#include "relay/client/session_timing.hpp"

namespace {

// Created by the first call of any entry point, destroyed when the library
// is unloaded (or the program ends), which closes an open connection.
zv::CRelaySession& Session() {
  static zv::CRelaySession session;
  return session;
}

template <typename F>
int Guarded(int failure, F&& body) noexcept {
  try {
    return body(Session());
  } catch (...) {
    return failure;
  }
}

}  // namespace

namespace zv {

int SetSessionTiming(const RelaySocketTiming& timing) noexcept {
  try {
    Session().socket().SetTiming(timing);
  } catch (...) {
    // Creating the session can only fail for want of memory; the old timing stays.
  }
  return 1;
}

}  // namespace zv

extern "C" {

int ZVAPI ZvServer_Login(const char* server_address, int port, const char* user_name,
                         const char* password) {
  return Guarded(zv::kLoginMessageFailed, [&](zv::CRelaySession& s) {
    try {
      return s.Login(server_address, port, user_name, password);
    } catch (...) {
      // A login that did not complete must not leave its connection behind,
      // or every later login would be refused as "already connected".
      s.Logout();
      throw;
    }
  });
}

int ZVAPI ZvServer_Logout(void) {
  return Guarded(0, [](zv::CRelaySession& s) { return s.Logout(); });
}

int ZVAPI ZvServer_LockCard(const char* device_id) {
  return Guarded(0, [&](zv::CRelaySession& s) { return s.LockCard(device_id, true); });
}

int ZVAPI ZvServer_UnLockCard(const char* device_id) {
  return Guarded(0, [&](zv::CRelaySession& s) { return s.LockCard(device_id, false); });
}

int ZVAPI ZvServer_SendCommPacket(const char* device_id, int route, const unsigned char* data,
                                  int length) {
  return Guarded(
      0, [&](zv::CRelaySession& s) { return s.SendCommPacket(device_id, route, data, length); });
}

int ZVAPI ZvServer_RecvCommPacket(unsigned char* buffer, int size) {
  return Guarded(0, [&](zv::CRelaySession& s) { return s.RecvCommPacket(buffer, size); });
}

int ZVAPI ZvServer_SendHeartbeatPacket(void) {
  return Guarded(0, [](zv::CRelaySession& s) { return s.SendHeartbeat(); });
}

int ZVAPI ZvServer_SetReceiveTimeout(int milliseconds) {
  return Guarded(0, [&](zv::CRelaySession& s) { return s.SetReceiveTimeout(milliseconds); });
}

int ZVAPI ZvServer_QueryCardStatus(const char* filter, char* buffer, int size) {
  return Guarded(-1, [&](zv::CRelaySession& s) { return s.QueryCardStatus(filter, buffer, size); });
}

}  // extern "C"

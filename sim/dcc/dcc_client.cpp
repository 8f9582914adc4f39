// libdcc.so (dcc.dll on Windows): the GPRS gateway library as the tool loads it, reaching
// tarvo-sim --gateway over TCP. Each DccMessage record travels whole (1528
// bytes); see sim/README.md for the exchange.
//
// Only the four dcc_* entry points are exported. Handles are small positive
// numbers; every call on an unknown handle or with a missing argument fails
// with a negative result instead of touching memory. No exception leaves the
// library.
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "sim/gateway_record.hpp"
#include "sim/number_text.hpp"
#include "tool/codec/dcc_message.hpp"

namespace {

using tarvo::DccMessage;
using tarvo::sim::kGatewayRecordSize;

constexpr int kConnectTimeoutMs = 5000;
constexpr int kDefaultReceiveTimeoutMs = 10000;
// Results of the entry points besides the handle / 1 on success.
constexpr int kTimeout = 0;
constexpr int kFailed = -1;
constexpr int kBadHandle = -3;
constexpr int kBadRecord = -4;

struct Session {
  std::mutex mutex;
  tarvo::platform::TcpSocket socket;
  std::vector<uint8_t> pending;  // bytes of a record not yet complete
};

std::mutex g_table_mutex;
std::vector<std::shared_ptr<Session>> g_sessions;  // handle = index + 1

std::shared_ptr<Session> Find(int handle) {
  std::lock_guard<std::mutex> lock(g_table_mutex);
  if (handle <= 0 || static_cast<size_t>(handle) > g_sessions.size()) return nullptr;
  return g_sessions[static_cast<size_t>(handle) - 1];
}

// How long dcc_msg_receive waits: TARVO_DCC_TIMEOUT_MS when it holds a
// number of milliseconds (1-600000), else 10 s.
int ReceiveTimeoutMs() {
  unsigned long v = 0;
  std::string text = tarvo::platform::EnvironmentVariable("TARVO_DCC_TIMEOUT_MS");
  if (!text.empty() && tarvo::sim::ParseNumber(text, 600000, &v) && v > 0)
    return static_cast<int>(v);
  return kDefaultReceiveTimeoutMs;
}

int Init(const char* address, int port) {
  uint32_t ip = 0;
  if (address == nullptr || port <= 0 || port > 65535 || !tarvo::platform::ParseIpv4(address, &ip))
    return kTimeout;
  auto s = std::make_shared<Session>();
  if (!s->socket.Connect(ip, static_cast<uint16_t>(port), kConnectTimeoutMs)) return kTimeout;
  s->socket.SetNoDelay(true);
  // A gateway that stops reading must not hold dcc_msg_send for ever.
  s->socket.SetSendTimeout(kDefaultReceiveTimeoutMs);
  std::lock_guard<std::mutex> lock(g_table_mutex);
  for (size_t i = 0; i < g_sessions.size(); ++i) {
    if (!g_sessions[i]) {
      g_sessions[i] = s;
      return static_cast<int>(i + 1);
    }
  }
  g_sessions.push_back(s);
  return static_cast<int>(g_sessions.size());
}

int Close(int handle) {
  std::shared_ptr<Session> s;
  {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    if (handle <= 0 || static_cast<size_t>(handle) > g_sessions.size()) return kBadHandle;
    s = std::move(g_sessions[static_cast<size_t>(handle) - 1]);
  }
  if (!s) return kBadHandle;
  std::lock_guard<std::mutex> lock(s->mutex);
  s->socket.Close();
  return 1;
}

int Send(int handle, const DccMessage* message) {
  if (message == nullptr) return kFailed;
  std::shared_ptr<Session> s = Find(handle);
  if (!s) return kBadHandle;
  if (tarvo::sim::GatewayRecordDataLength(*message) < 0) return kBadRecord;
  std::lock_guard<std::mutex> lock(s->mutex);
  return s->socket.SendAll(message, sizeof *message) ? 1 : kFailed;
}

int Receive(int handle, DccMessage* message) {
  if (message == nullptr) return kFailed;
  std::shared_ptr<Session> s = Find(handle);
  if (!s) return kBadHandle;
  std::lock_guard<std::mutex> lock(s->mutex);
  const int64_t deadline = tarvo::platform::MonotonicMs() + ReceiveTimeoutMs();
  uint8_t buf[kGatewayRecordSize];
  while (s->pending.size() < kGatewayRecordSize) {
    const int64_t left = deadline - tarvo::platform::MonotonicMs();
    if (left <= 0) return kTimeout;  // a partial record stays for the next call
    int w = s->socket.WaitReadable(static_cast<int>(left));
    if (w == 0) return kTimeout;
    if (w < 0) return kFailed;
    long n = s->socket.ReceiveSome(buf, kGatewayRecordSize - s->pending.size());
    if (n <= 0) return kFailed;
    s->pending.insert(s->pending.end(), buf, buf + n);
  }
  DccMessage record;
  std::memcpy(&record, s->pending.data(), sizeof record);
  s->pending.clear();
  if (tarvo::sim::GatewayRecordDataLength(record) < 0) return kBadRecord;
  *message = record;
  return 1;
}

}  // namespace

// Windows takes the four names from dcc.def; elsewhere they are the only
// symbols left visible.
#if defined(_WIN32)
#define DCC_EXPORT extern "C"
#else
#define DCC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

DCC_EXPORT int TARVO_DCC_CALL dcc_init(int, int, const char* address, int port, int) {
  try {
    return Init(address, port);
  } catch (...) {
    return kTimeout;
  }
}

DCC_EXPORT int TARVO_DCC_CALL dcc_close(int handle) {
  try {
    return Close(handle);
  } catch (...) {
    return kFailed;
  }
}

DCC_EXPORT int TARVO_DCC_CALL dcc_msg_send(int handle, DccMessage* message) {
  try {
    return Send(handle, message);
  } catch (...) {
    return kFailed;
  }
}

DCC_EXPORT int TARVO_DCC_CALL dcc_msg_receive(int handle, DccMessage* message) {
  try {
    return Receive(handle, message);
  } catch (...) {
    return kFailed;
  }
}

// Round trips of one controller request to a card through the relay, with
// the relay client as a program meets it: the library beside this program
// (ZvServerAPI.dll bound by ordinal on Windows, libZvServerAPI.so by name
// elsewhere), then the client session linked in, with the production pauses
// and without them. Run against a zvrelayd with a tarvo-sim card, the same
// build for Linux and for Windows under wine gives the two systems' figures
// side by side (scripts/windows-tests.sh --bench runs both).
//
//   relay_roundtrip HOST PORT USER PASSWORD DEVICEID [ROUNDS]
//
// Prints per variant the median and mean of ROUNDS (default 200) round trips
// (SendCommPacket + RecvCommPacket of GetControllerType) and the time of one
// whole tool operation (login, lock, one round trip, unlock, logout).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynlib.hpp"
#include "platform/process.hpp"
#include "relay/client/ZvServerAPI.h"
#include "relay/client/relay_session.hpp"
#include "tool/codec/command_requests.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/relay_envelope.hpp"

namespace {

// Milliseconds with the steady clock's resolution: a round trip without
// pauses is far below the millisecond tick.
double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The six functions a tool operation uses, from the library or a session.
struct Relay {
  virtual ~Relay() = default;
  virtual int Login(const char* a, int p, const char* u, const char* w) = 0;
  virtual int Logout() = 0;
  virtual int Lock(const char* d, bool lock) = 0;
  virtual int Send(const char* d, const uint8_t* data, int n) = 0;
  virtual int Receive(uint8_t* buffer, int size) = 0;
};

class LibraryRelay : public Relay {
 public:
  // Ordinals 1-6 where the library has them, else the names.
  bool Load(const std::string& path) {
    if (!lib_.Open(path)) return false;
    static const char* const kNames[6] = {"ZvServer_Login",          "ZvServer_Logout",
                                          "ZvServer_LockCard",       "ZvServer_UnLockCard",
                                          "ZvServer_SendCommPacket", "ZvServer_RecvCommPacket"};
    void* f[6];
    for (int i = 0; i < 6; ++i) {
      f[i] = lib_.SymbolByOrdinal(i + 1);
      if (f[i] == nullptr) f[i] = lib_.Symbol(kNames[i]);
      if (f[i] == nullptr) return false;
    }
    login_ = reinterpret_cast<decltype(login_)>(f[0]);
    logout_ = reinterpret_cast<decltype(logout_)>(f[1]);
    lock_ = reinterpret_cast<decltype(lock_)>(f[2]);
    unlock_ = reinterpret_cast<decltype(unlock_)>(f[3]);
    send_ = reinterpret_cast<decltype(send_)>(f[4]);
    receive_ = reinterpret_cast<decltype(receive_)>(f[5]);
    return true;
  }
  int Login(const char* a, int p, const char* u, const char* w) override {
    return login_(a, p, u, w);
  }
  int Logout() override { return logout_(); }
  int Lock(const char* d, bool lock) override { return lock ? lock_(d) : unlock_(d); }
  int Send(const char* d, const uint8_t* data, int n) override { return send_(d, 1, data, n); }
  int Receive(uint8_t* buffer, int size) override { return receive_(buffer, size); }

 private:
  tarvo::platform::DynamicLibrary lib_;
  int(ZVAPI* login_)(const char*, int, const char*, const char*) = nullptr;
  int(ZVAPI* logout_)() = nullptr;
  int(ZVAPI* lock_)(const char*) = nullptr;
  int(ZVAPI* unlock_)(const char*) = nullptr;
  int(ZVAPI* send_)(const char*, int, const unsigned char*, int) = nullptr;
  int(ZVAPI* receive_)(unsigned char*, int) = nullptr;
};

class SessionRelay : public Relay {
 public:
  explicit SessionRelay(const zv::RelaySocketTiming& timing) : session_(timing) {}
  int Login(const char* a, int p, const char* u, const char* w) override {
    return session_.Login(a, p, u, w);
  }
  int Logout() override { return session_.Logout(); }
  int Lock(const char* d, bool lock) override { return session_.LockCard(d, lock); }
  int Send(const char* d, const uint8_t* data, int n) override {
    return session_.SendCommPacket(d, 1, data, n);
  }
  int Receive(uint8_t* buffer, int size) override { return session_.RecvCommPacket(buffer, size); }

 private:
  zv::CRelaySession session_;
};

struct Target {
  const char* host;
  int port;
  const char* user;
  const char* password;
  const char* device;
};

// One round trip: 1 when the card's GetControllerType reply came back.
int RoundTrip(Relay& r, const Target& t, const std::vector<uint8_t>& envelope) {
  if (r.Send(t.device, envelope.data(), static_cast<int>(envelope.size())) != 1) return 0;
  uint8_t received[2048];
  int n = r.Receive(received, sizeof received);
  if (n < 15) return 0;
  uint8_t reply[2048];
  size_t m =
      tarvo::DecodeRouteOneReply(received, static_cast<size_t>(n), t.device, reply, sizeof reply);
  return m > tarvo::kOffCommand && reply[tarvo::kOffCommand] == 0x2E ? 1 : 0;
}

// Prints the figures of one variant; 0 when something failed.
int Measure(const char* label, Relay& r, const Target& t, int rounds) {
  tarvo::RequestAddress address{tarvo::kControllerTypeCode, tarvo::kAnyControllerId};
  std::vector<uint8_t> packet = tarvo::BuildGetControllerType(address);
  std::vector<uint8_t> envelope;
  tarvo::EncodeRouteOneRequest(packet.data(), packet.size(), &envelope);

  const double begin = NowMs();
  if (r.Login(t.host, t.port, t.user, t.password) != 1 || r.Lock(t.device, true) == 0) {
    std::printf("%-28s login or lock failed\n", label);
    r.Logout();
    return 0;
  }
  int first = RoundTrip(r, t, envelope);
  r.Lock(t.device, false);
  r.Logout();
  const double operation = NowMs() - begin;

  if (!first || r.Login(t.host, t.port, t.user, t.password) != 1 || r.Lock(t.device, true) == 0) {
    std::printf("%-28s the card did not answer\n", label);
    r.Logout();
    return 0;
  }
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    const double t0 = NowMs();
    if (!RoundTrip(r, t, envelope)) {
      std::printf("%-28s round trip %d failed\n", label, i + 1);
      break;
    }
    ms.push_back(NowMs() - t0);
  }
  r.Lock(t.device, false);
  r.Logout();
  if (ms.empty()) return 0;
  double mean = 0;
  for (double v : ms) mean += v;
  mean /= static_cast<double>(ms.size());
  std::sort(ms.begin(), ms.end());
  std::printf(
      "%-28s round trip median %7.3f ms, mean %7.3f ms (%zu rounds); one operation %6.1f ms\n",
      label, ms[ms.size() / 2], mean, ms.size(), operation);
  return ms.size() == static_cast<size_t>(rounds) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD DEVICEID [ROUNDS]\n", argv[0]);
    return 2;
  }
  Target t{argv[1], std::atoi(argv[2]), argv[3], argv[4], argv[5]};
  const int rounds = argc == 7 ? std::max(1, std::atoi(argv[6])) : 200;
#if defined(_WIN32)
  const char* system = "Windows";
#else
  const char* system = "Linux";
#endif
  std::printf("%s, %d rounds per variant\n", system, rounds);
  int ok = 1;
  LibraryRelay library;
  const std::string file =
      tarvo::platform::ExecutableDir() + tarvo::platform::SharedLibraryFileName("ZvServerAPI");
  if (library.Load(file)) {
    ok &= Measure("library, production pauses", library, t, rounds);
  } else {
    std::printf("cannot load %s\n", file.c_str());
    ok = 0;
  }
  SessionRelay production{zv::RelaySocketTiming()};
  ok &= Measure("session, production pauses", production, t, rounds);
  zv::RelaySocketTiming zero;
  zero.connect_pause_ms = 0;
  zero.after_connect_pause_ms = 0;
  zero.read_pause_ms = 0;
  SessionRelay fast{zero};
  ok &= Measure("session, zero pauses", fast, t, rounds);
  return ok ? 0 : 1;
}

// The same round trip on a CRelaySession with the production pauses and with
// every pause set to zero: the difference is what the prescribed pacing costs.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/relay_client/card_echo_server.hpp"
#include "relay/client/relay_session.hpp"

namespace {

void RoundTrip(benchmark::State& state, const zv::RelaySocketTiming& timing) {
  zvbench::CardEchoServer server;
  zv::CRelaySession session(timing);
  if (session.Login("127.0.0.1", server.port(), "bench", "pw") != 1) {
    state.SkipWithError("login failed");
    return;
  }
  std::vector<uint8_t> packet(static_cast<size_t>(state.range(0)), 0x68);
  std::vector<uint8_t> reply(2048);
  for (auto _ : state) {
    int status =
        session.SendCommPacket("000001", 1, packet.data(), static_cast<int>(packet.size()));
    int got = session.RecvCommPacket(reply.data(), static_cast<int>(reply.size()));
    if (status != 1 || got != static_cast<int>(packet.size())) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  session.Logout();
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}

void BM_SessionRoundTripProductionPauses(benchmark::State& state) {
  RoundTrip(state, zv::RelaySocketTiming());
}

void BM_SessionRoundTripNoPauses(benchmark::State& state) {
  zv::RelaySocketTiming timing;
  timing.connect_pause_ms = 0;
  timing.after_connect_pause_ms = 0;
  timing.read_pause_ms = 0;
  RoundTrip(state, timing);
}

BENCHMARK(BM_SessionRoundTripProductionPauses)
    ->Arg(20)
    ->Arg(1024)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionRoundTripNoPauses)
    ->Arg(20)
    ->Arg(1024)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

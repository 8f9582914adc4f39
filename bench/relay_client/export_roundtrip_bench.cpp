// One ZvServer_SendCommPacket + ZvServer_RecvCommPacket round trip through
// libZvServerAPI.so, with the library's production pauses.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/relay_client/card_echo_server.hpp"
#include "relay/client/ZvServerAPI.h"

namespace {

void BM_ExportRoundTrip(benchmark::State& state) {
  zvbench::CardEchoServer server;
  if (ZvServer_Login("127.0.0.1", server.port(), "bench", "pw") != 1) {
    state.SkipWithError("login failed");
    return;
  }
  std::vector<unsigned char> packet(static_cast<size_t>(state.range(0)), 0x68);
  std::vector<unsigned char> reply(2048);
  for (auto _ : state) {
    int status =
        ZvServer_SendCommPacket("000001", 1, packet.data(), static_cast<int>(packet.size()));
    int got = ZvServer_RecvCommPacket(reply.data(), static_cast<int>(reply.size()));
    if (status != 1 || got != static_cast<int>(packet.size())) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  ZvServer_Logout();
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_ExportRoundTrip)->Arg(20)->Arg(1024)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

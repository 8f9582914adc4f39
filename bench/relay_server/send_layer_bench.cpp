// Cost of queuing a packet through the send layer: cutting it into pieces,
// taking contexts from the pool and handing them on.
#include <benchmark/benchmark.h>

#include <vector>

#include "relay/server/context_pool.hpp"
#include "relay/server/log_writer.hpp"
#include "relay/server/send_operation.hpp"

namespace {

// Completes every piece at once, as a socket with room in its buffer would.
class InstantTarget : public zv::CTcpSendTarget {
 public:
  uint64_t Id() const override { return 1; }
  bool CanSend() const override { return true; }
  int Post(zv::CTcpSendContext* c) override {
    benchmark::DoNotOptimize(c->buffer.data());
    c->Release();
    return 0;
  }
  void Close() override {}
};

void BM_IssueSendOperation(benchmark::State& state) {
  zv::CContextPool pool(zv::kTcpSendContextKind, 64);
  zv::CLogWriter log;
  InstantTarget target;
  std::vector<uint8_t> data(static_cast<size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    int r = zv::IssueSendOperation(pool, log, target, data.data(), data.size());
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_IssueSendOperation)->Arg(64)->Arg(1024)->Arg(10000)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();

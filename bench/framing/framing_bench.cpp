// Throughput of the controller packet's hot loops: escaping a packet into a
// stream frame, decoding a frame byte by byte, and the 16-bit byte sum.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tool/codec/packet.hpp"
#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

namespace {

// Random packet bytes; about 3 in 256 need an escape, as in real traffic.
std::vector<uint8_t> Packet(size_t n) {
  std::mt19937 rng(42);
  std::vector<uint8_t> p(n);
  for (auto& b : p) b = static_cast<uint8_t>(rng());
  return p;
}

void BM_EncodeStreamFrame(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> p = Packet(n);
  std::vector<uint8_t> out(2 * n + 2);
  for (auto _ : state) {
    size_t k = tarvo::EncodeStreamFrame(p.data(), n, out.data(), out.size());
    benchmark::DoNotOptimize(k);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_EncodeStreamFrame)->Arg(269)->Arg(2048)->Arg(1 << 16);

void BM_DecodeStreamFrame(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> p = Packet(n);
  std::vector<uint8_t> frame(2 * n + 2);
  frame.resize(tarvo::EncodeStreamFrame(p.data(), n, frame.data(), frame.size()));
  std::vector<uint8_t> out(n + 1);
  for (auto _ : state) {
    tarvo::StreamDecoder d(out.data(), out.size());
    for (uint8_t b : frame) d.Feed(b);
    benchmark::DoNotOptimize(d.count());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_DecodeStreamFrame)->Arg(269)->Arg(2048)->Arg(1 << 16);

// The whole-buffer decoder used for gateway data and "Zv GPRS" envelopes.
void BM_DecodeStreamBytes(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> p = Packet(n);
  std::vector<uint8_t> frame(2 * n + 2);
  frame.resize(tarvo::EncodeStreamFrame(p.data(), n, frame.data(), frame.size()));
  std::vector<uint8_t> out(n + 1);
  for (auto _ : state) {
    tarvo::StreamDecodeResult r =
        tarvo::DecodeStreamBytes(frame.data(), frame.size(), out.data(), out.size());
    benchmark::DoNotOptimize(r.count);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_DecodeStreamBytes)->Arg(269)->Arg(2048)->Arg(1 << 16);

void BM_ByteSum16(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> p = Packet(n);
  for (auto _ : state) {
    uint16_t s = tarvo::ByteSum16(p.data(), n);
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_ByteSum16)->Arg(269)->Arg(2048)->Arg(1 << 16);

void BM_CheckPacket(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> p = Packet(n);
  p[0] = tarvo::kReplyStart;
  tarvo::AppendChecksum(p.data(), n - 2);
  for (auto _ : state) {
    bool ok = tarvo::CheckPacket(p.data(), n);
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_CheckPacket)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();

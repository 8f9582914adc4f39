// Time of a 1 MiB block upload and a 16 MiB stream upload to the simulated
// controller, over TCP loopback and over a pseudo-terminal.
//
// Each case runs with the pacing waits set to zero, which measures what the
// transport and the two protocol engines cost, and reports beside it the
// time the production pacing adds (block and query delays, the command's
// own missing-block wait, the serial line's pauses between write pieces),
// computed from the production timing records, and that share of the whole.
// "BlockTcpProductionPacing" runs one block upload with the production
// values as a check of the computed figure (about 42 s).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/simulator.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/serial_port.hpp"
#include "tool/transfer_job.hpp"

namespace {

using tarvo::CommType;
using tarvo::TransferTiming;

constexpr size_t kBlockFile = 1048576;
constexpr size_t kStreamFile = 16u * 1048576u;
constexpr size_t kBlockSize = 512, kStreamPiece = 512;
constexpr size_t kBlockOverhead = 13, kStreamOverhead = 9;

// Pauses the serial line makes while writing one packet of `length` bytes.
int SerialPauseMs(size_t length) {
  tarvo::SerialTiming t;
  int pauses = 0;
  for (size_t left = length; left > 0; ++pauses) left -= tarvo::NextSerialPiece(t, left);
  return (pauses - 1) * t.piece_pause_ms;
}

// Production pacing of one upload with no lost blocks.
double PacingMs(bool serial, bool stream, size_t size) {
  TransferTiming t = tarvo::ProductionTiming();
  tarvo::CommandTiming c;
  int comm = serial ? 1 : 2;
  double ms = 0;
  if (stream) {
    for (size_t off = 0; off < size; off += kStreamPiece)
      if (serial) ms += SerialPauseMs(std::min(kStreamPiece, size - off) + kStreamOverhead);
    return ms;
  }
  size_t blocks = (size + kBlockSize - 1) / kBlockSize;
  ms += static_cast<double>(blocks) * tarvo::BlockDelayFor(t, comm);
  ms += tarvo::QueryDelayFor(t, comm) + c.missing_blocks_file_wait_ms + t.finish_delay_ms;
  if (serial)
    for (size_t b = 0; b < blocks; ++b)
      ms += SerialPauseMs(std::min(kBlockSize, size - b * kBlockSize) + kBlockOverhead);
  return ms;
}

struct Bench {
  explicit Bench(bool serial) {
    tarvo::sim::SimulatorOptions o;
    o.tcp_port = 0;
    o.serial = serial;
    o.controller.disk_capacity = 64u * 1048576u;
    sim = std::make_unique<tarvo::sim::Simulator>(o);
    ok = sim->Start() == 1;
    buffer.resize(tarvo::kTransferBufferSize);
    ports["COM1"] = sim->serial_path();
  }
  std::unique_ptr<tarvo::sim::Simulator> sim;
  tarvo::ConnectionManager link;
  std::vector<uint8_t> buffer;
  tarvo::PortMap ports;
  bool ok = false;
};

std::string MakeFile(size_t size) {
  std::string path =
      (std::filesystem::temp_directory_path() / ("tarvo-bench-" + std::to_string(size) + ".bin"))
          .string();
  std::vector<char> bytes(size);
  uint32_t x = 1;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

void Upload(benchmark::State& state, bool serial, bool stream, bool production) {
  const size_t size = stream ? kStreamFile : kBlockFile;
  Bench b(serial);
  if (!b.ok) {
    state.SkipWithError("simulator did not start");
    return;
  }
  TransferTiming timing = tarvo::ProductionTiming();
  if (!production) {
    timing = TransferTiming{0, 0, 0, 0, 0, 0, 0, 240};
    b.link.serial.timing.piece_pause_ms = 0;
    b.link.command_timing.missing_blocks_file_wait_ms = 0;
    b.link.tcp.timing.pause_before_connect_ms = 0;
  }
  std::string path = MakeFile(size);
  tarvo::CommSettings panel;
  panel.ip_addr = tarvo::sim::kLoopback;
  panel.ip_port = b.sim->tcp_port();
  panel.port_index = 0;
  double measured_ms = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    tarvo::TransferJob job;
    job.comm_type = serial ? 1 : 2;
    job.panel = panel;
    job.baud_rate = 115200;
    job.local_path = path;
    tarvo::TransferContext ctx{b.link, b.buffer, timing, b.ports};
    int done =
        stream ? tarvo::StreamTransferThread(ctx, job) : tarvo::BlockTransferThread(ctx, job);
    if (done != 1) state.SkipWithError(job.result.c_str());
    measured_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  double pacing = PacingMs(serial, stream, size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  double per_upload =
      state.iterations() ? measured_ms / static_cast<double>(state.iterations()) : 0;
  state.counters["pacing_ms"] = pacing;
  // Share of a production upload spent in the prescribed pacing: the unpaced
  // runs add the computed pacing to what they measured.
  state.counters["pacing_share"] =
      production ? pacing / per_upload : pacing / (pacing + per_upload);
  std::filesystem::remove(path);
}

void BlockTcp(benchmark::State& s) {
  Upload(s, false, false, false);
}
void StreamTcp(benchmark::State& s) {
  Upload(s, false, true, false);
}
void BlockPty(benchmark::State& s) {
  Upload(s, true, false, false);
}
void StreamPty(benchmark::State& s) {
  Upload(s, true, true, false);
}
void BlockTcpProductionPacing(benchmark::State& s) {
  Upload(s, false, false, true);
}

BENCHMARK(BlockTcp)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(StreamTcp)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BlockPty)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(StreamPty)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BlockTcpProductionPacing)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

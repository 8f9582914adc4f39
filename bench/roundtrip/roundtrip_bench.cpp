// One full command round trip (GetFreeSpace) from the tool's command set to
// an in-process simulated controller: over TCP loopback, over a
// pseudo-terminal, and the controller model alone for comparison.
#include <benchmark/benchmark.h>

#include <memory>

#include "sim/command_codes.hpp"
#include "sim/simulator.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"

namespace {

using tarvo::ConnectionManager;

void BM_GetFreeSpaceTcp(benchmark::State& state) {
  tarvo::sim::SimulatorOptions o;
  o.tcp_port = 0;
  tarvo::sim::Simulator sim(o);
  if (!sim.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  ConnectionManager link;
  link.comm_type = 2;
  link.settings.controller_address = tarvo::sim::kLoopback;
  link.settings.controller_port = sim.tcp_port();
  link.tcp.timing.pause_before_connect_ms = 0;
  link.tcp.timing.pause_after_connect_ms = 0;
  if (link.OpenLink(0x32, 1) != 1) {
    state.SkipWithError("OpenLink failed");
    return;
  }
  for (auto _ : state) {
    if (tarvo::GetFreeSpace(link, tarvo::kUserDisk) == 0) state.SkipWithError("no reply");
  }
  link.CloseLink();
}
BENCHMARK(BM_GetFreeSpaceTcp)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_GetFreeSpaceSerialPty(benchmark::State& state) {
  tarvo::sim::SimulatorOptions o;
  o.serial = true;
  tarvo::sim::Simulator sim(o);
  if (!sim.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  ConnectionManager link;
  link.comm_type = 1;
  tarvo::ConfigureSerialPort(link.serial, sim.serial_path(), "115200,8,N,1");
  if (link.OpenLink(0x32, 1) != 1) {
    state.SkipWithError("OpenLink failed");
    return;
  }
  for (auto _ : state) {
    if (tarvo::GetFreeSpace(link, tarvo::kUserDisk) == 0) state.SkipWithError("no reply");
  }
  link.CloseLink();
}
BENCHMARK(BM_GetFreeSpaceSerialPty)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The controller's own share: one request handled, no I/O.
void BM_ModelGetFreeSpace(benchmark::State& state) {
  tarvo::sim::ControllerModel m;
  uint8_t req[8] = {0x68, 0x32, 0x01, tarvo::sim::kGetFreeSpace, 0x01, 0x01};
  tarvo::AppendChecksum(req, 6);
  for (auto _ : state) benchmark::DoNotOptimize(m.Handle(req, sizeof req));
}
BENCHMARK(BM_ModelGetFreeSpace);

}  // namespace

BENCHMARK_MAIN();

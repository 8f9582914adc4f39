// tarvo-sim: serves a simulated controller until SIGINT or SIGTERM.
#include <cstdio>
#include <string>

#include "platform/stop_signal.hpp"
#include "sim/sim_options.hpp"
#include "sim/simulator.hpp"

int main(int argc, char** argv) {
  // Before any thread starts, so that only the wait below sees the signals.
  tarvo::platform::BlockStopSignals();
  tarvo::sim::SimulatorOptions options;
  std::string message;
  int rc = tarvo::sim::ParseSimulatorArguments(argc, argv, &options, &message);
  if (rc >= 0) {
    std::fputs(message.c_str(), rc == 0 ? stdout : stderr);
    return rc;
  }
  tarvo::sim::Simulator sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "tarvo-sim: %s\n", sim.error().c_str());
    return 1;
  }
  // Scripts and tests read these lines to find the simulator.
  if (options.serial) std::printf("serial %s\n", sim.serial_path().c_str());
  if (options.tcp_port >= 0) std::printf("tcp %u\n", unsigned(sim.tcp_port()));
  if (options.gateway_port >= 0) std::printf("gateway %u\n", unsigned(sim.gateway_port()));
  if (options.relay_card_port >= 0) std::printf("relay-card %s\n", options.device_id.c_str());
  if (options.relay_udp_port >= 0) std::printf("relay-udp %s\n", options.device_id.c_str());
  std::fflush(stdout);
  tarvo::platform::WaitForStopSignal();
  sim.Stop();
  return 0;
}

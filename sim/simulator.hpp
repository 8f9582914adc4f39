// A whole simulated controller: the model and the media it is reachable on.
// Tests start one in-process on a fresh pseudo-terminal and free ports;
// tarvo-sim is a thin program around it.
//
//   SimulatorOptions o;
//   o.serial = true;
//   o.tcp_port = 0;                       // a free port
//   Simulator sim(o);
//   if (!sim.Start()) ...;
//   sim.serial_path(); sim.tcp_port();    // where to reach it
//   sim.WithModel([](ControllerModel& m) { m.disk(1).Store(...); return 0; });
//   sim.Stop();                           // also done by the destructor
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/gateway_server.hpp"
#include "sim/relay_card_tcp.hpp"
#include "sim/relay_card_udp.hpp"
#include "sim/serial_server.hpp"
#include "sim/shared_model.hpp"
#include "sim/tcp_server.hpp"

namespace tarvo::sim {

inline constexpr uint32_t kLoopback = 0x7F000001;

struct SimulatorOptions {
  ControllerConfig controller;
  uint32_t id_code = kBroadcastIdCode;  // ID Code of the network medium
  uint32_t bind_address = kLoopback;    // where the TCP and gateway ports listen
  bool serial = false;
  int tcp_port = -1;      // -1: no network port; 0: a free one
  int gateway_port = -1;  // -1: no gateway port; 0: a free one
  std::string disk_dir;   // "": disks in memory only
  FaultSettings faults;
  // As a card of zvrelayd: the card port to connect to over TCP and/or to
  // send datagrams to (-1: not that kind of card), and the DeviceID (six
  // characters for TCP, 1-30 digits for UDP; both when both are used).
  uint32_t relay_card_address = kLoopback;
  int relay_card_port = -1;
  // Other nodes of the same fleet, tried in order after the first.
  std::vector<RelayNode> relay_card_fallbacks;
  uint32_t relay_udp_address = kLoopback;
  int relay_udp_port = -1;
  std::string device_id;
  std::string card_secret;  // the TCP card's secret; "": none
  RelayCardTiming relay_timing;
  int relay_udp_reregister_ms = UdpRelayCard::kReRegisterMs;
};

class Simulator {
 public:
  explicit Simulator(const SimulatorOptions& options);
  ~Simulator() { Stop(); }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Loads the disk folder and opens every medium asked for. 1, or 0 (with
  // error() saying why; whatever had started is stopped again).
  int Start();
  void Stop();
  const std::string& error() const { return error_; }

  // Where each medium is reachable ("" / 0 when it is not served).
  std::string serial_path() const { return serial_ ? serial_->path() : std::string(); }
  uint16_t tcp_port() const { return tcp_ ? tcp_->port() : 0; }
  uint16_t gateway_port() const { return gateway_ ? gateway_->port() : 0; }
  bool relay_card_connected() const { return relay_card_ && relay_card_->connected(); }
  int relay_card_registrations() const { return relay_card_ ? relay_card_->registrations() : 0; }
  int relay_udp_registrations() const { return relay_udp_ ? relay_udp_->registrations() : 0; }
  std::string last_imei() { return gateway_ ? gateway_->last_imei() : std::string(); }

  // Runs f(ControllerModel&) under the model's lock: inspect or preset
  // disks, flash, screen configuration, counters.
  template <class F>
  auto WithModel(F&& f) {
    return model_.With(std::forward<F>(f));
  }
  void SetFaults(const FaultSettings& faults) {
    model_.With([&](ControllerModel& m) { m.SetFaults(faults); });
  }
  FaultSettings faults() {
    return model_.With([](ControllerModel& m) { return m.faults(); });
  }

 private:
  SimulatorOptions options_;
  SharedModel model_;
  std::unique_ptr<SerialServer> serial_;
  std::unique_ptr<TcpServer> tcp_;
  std::unique_ptr<GatewayServer> gateway_;
  std::unique_ptr<TcpRelayCard> relay_card_;
  std::unique_ptr<UdpRelayCard> relay_udp_;
  std::string error_;
};

}  // namespace tarvo::sim

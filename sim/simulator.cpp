#include "sim/simulator.hpp"

#include "platform/socket.hpp"

namespace tarvo::sim {

Simulator::Simulator(const SimulatorOptions& options)
    : options_(options), model_(options.controller) {
  model_.With([&](ControllerModel& m) { m.SetFaults(options.faults); });
}

int Simulator::Start() {
  Stop();
  error_.clear();
  if (!options_.disk_dir.empty() &&
      !model_.With([&](ControllerModel& m) { return m.AttachDiskFolder(options_.disk_dir); })) {
    error_ = "cannot use the disk folder " + options_.disk_dir;
    return 0;
  }
  if (options_.serial) {
    serial_ = std::make_unique<SerialServer>(model_);
    if (!serial_->Start()) {
      error_ = "cannot create a pseudo-terminal";
      Stop();
      return 0;
    }
  }
  if (options_.tcp_port >= 0) {
    tcp_ = std::make_unique<TcpServer>(model_, options_.id_code);
    if (options_.tcp_port > 65535 ||
        !tcp_->Start(options_.bind_address, static_cast<uint16_t>(options_.tcp_port))) {
      error_ = "cannot listen on TCP port " + std::to_string(options_.tcp_port);
      Stop();
      return 0;
    }
  }
  if (options_.gateway_port >= 0) {
    gateway_ = std::make_unique<GatewayServer>(model_);
    if (options_.gateway_port > 65535 ||
        !gateway_->Start(options_.bind_address, static_cast<uint16_t>(options_.gateway_port))) {
      error_ = "cannot listen on gateway port " + std::to_string(options_.gateway_port);
      Stop();
      return 0;
    }
  }
  if (options_.relay_card_port >= 0) {
    relay_card_ = std::make_unique<TcpRelayCard>(model_, options_.device_id, options_.relay_timing,
                                                 options_.card_secret);
    std::vector<RelayNode> nodes = {
        {options_.relay_card_address, static_cast<uint16_t>(options_.relay_card_port)}};
    nodes.insert(nodes.end(), options_.relay_card_fallbacks.begin(),
                 options_.relay_card_fallbacks.end());
    if (options_.relay_card_port > 65535 || !relay_card_->Start(nodes)) {
      std::string where;
      for (const RelayNode& n : nodes)
        where += (where.empty() ? "" : ", ") + platform::FormatIpv4(n.address) + ":" +
                 std::to_string(n.port);
      error_ = "cannot register as relay card " + options_.device_id + " at " + where;
      Stop();
      return 0;
    }
  }
  if (options_.relay_udp_port >= 0) {
    relay_udp_ = std::make_unique<UdpRelayCard>(model_, options_.device_id,
                                                options_.relay_udp_reregister_ms);
    if (options_.relay_udp_port > 65535 ||
        !relay_udp_->Start(options_.relay_udp_address,
                           static_cast<uint16_t>(options_.relay_udp_port))) {
      error_ = "cannot register as UDP relay card " + options_.device_id + " at " +
               platform::FormatIpv4(options_.relay_udp_address) + ":" +
               std::to_string(options_.relay_udp_port);
      Stop();
      return 0;
    }
  }
  return 1;
}

void Simulator::Stop() {
  if (relay_card_) relay_card_->Stop();
  if (relay_udp_) relay_udp_->Stop();
  relay_card_.reset();
  relay_udp_.reset();
  if (serial_) serial_->Stop();
  if (tcp_) tcp_->Stop();
  if (gateway_) gateway_->Stop();
  serial_.reset();
  tcp_.reset();
  gateway_.reset();
}

}  // namespace tarvo::sim

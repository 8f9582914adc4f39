// An in-process simulator and a ConnectionManager pointed at it over one of
// three media (pseudo-terminal, TCP loopback, libdcc.so gateway), with short
// waits so that silence costs a fraction of a second.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/process.hpp"
#include "sim/simulator.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo::e2e {

enum class Via { kSerial, kNetwork, kGateway };

inline const char* ViaName(Via v) {
  switch (v) {
    case Via::kSerial:
      return "Serial";
    case Via::kNetwork:
      return "Network";
    case Via::kGateway:
      return "Gateway";
  }
  return "?";
}

inline constexpr char kImei[] = "861234567890123";

class LinkFixture {
 public:
  // Starts a simulator serving `via` and fills the link settings for it.
  // Returns false (with a gtest failure) when something could not start.
  bool Start(Via via, sim::SimulatorOptions options = {}) {
    via_ = via;
    options.serial = via == Via::kSerial;
    options.tcp_port = via == Via::kNetwork ? 0 : -1;
    options.gateway_port = via == Via::kGateway ? 0 : -1;
    sim_ = std::make_unique<sim::Simulator>(options);
    if (!sim_->Start()) {
      ADD_FAILURE() << sim_->error();
      return false;
    }
    link_.command_timing.missing_blocks_file_wait_ms = 1;
    link_.command_timing.missing_blocks_firmware_wait_ms = 1;
    switch (via) {
      case Via::kSerial:
        link_.comm_type = 1;
        link_.serial.timing.read_timeout_ms = 150;
        link_.serial.timing.event_wait_ms = 50;
        link_.serial.timing.write_timeout_ms = 1000;
        link_.serial.timing.piece_pause_ms = 0;
        break;
      case Via::kNetwork:
        link_.comm_type = 2;
        link_.settings.controller_address = sim::kLoopback;
        link_.settings.controller_port = sim_->tcp_port();
        link_.settings.id_code = 0xFFFFFFFF;
        link_.tcp.timing.pause_before_connect_ms = 0;
        link_.tcp.timing.pause_after_connect_ms = 0;
        link_.tcp.timing.connect_timeout_ms = 1000;
        link_.tcp.timing.receive_timeout_ms = 300;
        break;
      case Via::kGateway:
        link_.comm_type = 3;
        setenv("TARVO_DCC_TIMEOUT_MS", "300", 1);
        if (gateway_.LoadGateway(platform::ExecutableDir() + "libdcc.so") != 1) {
          ADD_FAILURE() << "libdcc.so: " << gateway_.LoadError();
          return false;
        }
        link_.gateway = &gateway_;
        link_.settings.gateway_address = "127.0.0.1";
        link_.settings.gateway_port = sim_->gateway_port();
        link_.settings.imei = kImei;
        break;
    }
    return true;
  }

  // As each operation of the tool does: configure, then OpenLink.
  int Open(uint8_t controller_id = 1) {
    if (via_ == Via::kSerial)
      ConfigureSerialPort(link_.serial, sim_->serial_path(), "115200,8,N,1");
    return link_.OpenLink(0x32, controller_id);
  }
  void Close() { link_.CloseLink(); }

  sim::Simulator& sim() { return *sim_; }
  ConnectionManager& link() { return link_; }
  GprsGateway& gateway() { return gateway_; }
  void SetFaults(const sim::FaultSettings& f) { sim_->SetFaults(f); }

 private:
  Via via_ = Via::kSerial;
  GprsGateway gateway_;
  ConnectionManager link_;
  std::unique_ptr<sim::Simulator> sim_;
};

}  // namespace tarvo::e2e

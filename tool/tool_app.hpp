// The application object: it owns everything the original design kept
// process-wide (the link with its transports, the gateway binding, the transfer and boot buffers)
// exactly once, fixes the working directory and the settings file, and lends them to the main
// dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tool/link/connection_manager.hpp"
#include "tool/link/gprs_gateway.hpp"
#include "tool/settings_file.hpp"
#include "tool/transfer_timing.hpp"

namespace tarvo {

class CToolApp {
 public:
  CToolApp();
  CToolApp(const CToolApp&) = delete;
  CToolApp& operator=(const CToolApp&) = delete;

  // Start-up: the executable's folder becomes the working directory, the
  // settings path is fixed (`settings_override` when not empty) and the
  // gateway library is loaded from the executable's folder. A missing
  // library is not an error here: the dialog disables the medium. The front
  // end binds the relay library's functions into link().relay.
  void InitInstance(const std::string& settings_override = std::string());

  // For tests and front ends that choose their own files.
  void SetSettingsPath(const std::string& path);
  // Serial port `port_name` ("COM3") opens `device` during this run, in
  // addition to the PORTS section of the settings file.
  void SetPortDevice(const std::string& port_name, const std::string& device) {
    ports_[port_name] = device;
  }
  // Loads the gateway library from `path`; 1 or -1.
  int LoadGateway(const std::string& path);

  const std::string& app_dir() const { return app_dir_; }
  const std::string& settings_path() const { return settings_path_; }
  const PortMap& ports() const { return ports_; }
  bool gateway_loaded() const { return gateway_.IsGatewayLoaded(); }

  ConnectionManager& link() { return link_; }
  std::vector<uint8_t>& transfer_buffer() { return transfer_buffer_; }
  std::vector<uint8_t>& boot_buffer() { return boot_buffer_; }
  // Every wait of the workflows; tests shorten them.
  TransferTiming timing;

 private:
  std::string app_dir_;
  std::string settings_path_;
  PortMap ports_;
  GprsGateway gateway_;
  ConnectionManager link_;
  std::vector<uint8_t> transfer_buffer_;
  std::vector<uint8_t> boot_buffer_;
};

}  // namespace tarvo

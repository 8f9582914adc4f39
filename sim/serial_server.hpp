// The controller's serial line: a pseudo-terminal whose slave device a
// serial port opens. Requests are decoded from the stream framing byte by
// byte; replies go back framed.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/pty.hpp"
#include "sim/shared_model.hpp"

namespace tarvo::sim {

class SerialServer {
 public:
  explicit SerialServer(SharedModel& model) : model_(model) {}
  ~SerialServer() { Stop(); }
  SerialServer(const SerialServer&) = delete;
  SerialServer& operator=(const SerialServer&) = delete;

  // Creates the pseudo-terminal and starts serving it. 1 or 0.
  int Start();
  void Stop();
  // The device a serial port opens to reach this controller.
  const std::string& path() const { return pty_.SlavePath(); }

 private:
  void Run();

  SharedModel& model_;
  platform::PseudoTerminal pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarvo::sim

// Binding of the GPRS gateway library: loaded at run time, its four entry
// points resolved by name; a missing entry point answers with a default that
// makes the operation fail instead of crashing.
#pragma once

#include <string>

#include "platform/dynlib.hpp"
#include "tool/codec/dcc_message.hpp"

namespace tarvo {

class GprsGateway {
 public:
  // Frees any earlier library, clears the entry points, loads `path` and
  // resolves each entry point (a missing one stays empty). 1 or -1.
  int LoadGateway(const std::string& path);
  bool IsGatewayLoaded() const { return library_.IsOpen(); }
  // Why the last load failed.
  const std::string& LoadError() const { return library_.Error(); }

  // The four wrappers. Defaults when the entry point is missing: 0, 0, -2, -2.
  int Init(int a, int b, const char* address, int port, int c) const;
  int Close(int handle) const;
  int MessageSend(int handle, DccMessage* message) const;
  int MessageReceive(int handle, DccMessage* message) const;

  bool HasInit() const { return init_ != nullptr; }

 private:
  platform::DynamicLibrary library_;
  DccInitFn init_ = nullptr;
  DccCloseFn close_ = nullptr;
  DccSendFn send_ = nullptr;
  DccReceiveFn receive_ = nullptr;
};

}  // namespace tarvo

#include "tool/link/gprs_gateway.hpp"

namespace tarvo {

int GprsGateway::LoadGateway(const std::string& path) {
  library_.Close();
  init_ = nullptr;
  close_ = nullptr;
  send_ = nullptr;
  receive_ = nullptr;
  if (!library_.Open(path)) return -1;
  init_ = reinterpret_cast<DccInitFn>(library_.Symbol("dcc_init"));
  close_ = reinterpret_cast<DccCloseFn>(library_.Symbol("dcc_close"));
  send_ = reinterpret_cast<DccSendFn>(library_.Symbol("dcc_msg_send"));
  receive_ = reinterpret_cast<DccReceiveFn>(library_.Symbol("dcc_msg_receive"));
  return 1;
}

int GprsGateway::Init(int a, int b, const char* address, int port, int c) const {
  return init_ ? init_(a, b, address, port, c) : 0;
}

int GprsGateway::Close(int handle) const {
  return close_ ? close_(handle) : 0;
}

int GprsGateway::MessageSend(int handle, DccMessage* message) const {
  return send_ ? send_(handle, message) : -2;
}

int GprsGateway::MessageReceive(int handle, DccMessage* message) const {
  return receive_ ? receive_(handle, message) : -2;
}

}  // namespace tarvo

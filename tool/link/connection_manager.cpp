#include "tool/link/connection_manager.hpp"

#include "tool/link/media.hpp"

namespace tarvo {

CommType EffectiveCommType(int comm_type) {
  switch (comm_type) {
    case 2:
      return CommType::kNetwork;
    case 3:
      return CommType::kGateway;
    case 4:
      return CommType::kZvServer;
    case 5:
      return CommType::kZvGprs;
    default:
      return CommType::kSerial;
  }
}

bool IsValidDeviceId(CommType medium, const std::string& device_id) {
  if (medium == CommType::kZvServer) return device_id.size() == 6;
  if (medium != CommType::kZvGprs) return false;
  if (device_id.size() < 6 || device_id.size() > 30) return false;
  for (char c : device_id) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

ConnectionManager::ConnectionManager()
    : serial_medium_(MakeSerialMedium(*this)),
      network_medium_(MakeNetworkMedium(*this)),
      gateway_medium_(MakeGatewayMedium(*this)),
      zv_server_medium_(MakeRelayMedium(*this, kRelayRouteServer)),
      zv_gprs_medium_(MakeRelayMedium(*this, kRelayRouteGprs)) {}

ConnectionManager::~ConnectionManager() = default;

Medium& ConnectionManager::CurrentMedium() {
  switch (EffectiveCommType(comm_type)) {
    case CommType::kNetwork:
      return *network_medium_;
    case CommType::kGateway:
      return *gateway_medium_;
    case CommType::kZvServer:
      return *zv_server_medium_;
    case CommType::kZvGprs:
      return *zv_gprs_medium_;
    case CommType::kSerial:
      break;
  }
  return *serial_medium_;
}

int ConnectionManager::OpenLink(uint8_t type_code, uint8_t controller_id) {
  type_code_ = type_code;
  problem = LinkProblem{};
  lost = false;
  uint8_t effective_id = controller_id;
  if (CurrentMedium().Open(controller_id, &effective_id) != 1) {
    type_code_ = 0;
    controller_id_ = 0;
    return 0;
  }
  controller_id_ = effective_id;
  return 1;
}

void ConnectionManager::CloseLink() {
  type_code_ = 0;
  controller_id_ = 0;
  lost = false;
  CurrentMedium().Close();
}

}  // namespace tarvo

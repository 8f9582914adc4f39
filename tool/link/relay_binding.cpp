#include "tool/link/relay_binding.hpp"

#include "ZvServerAPI.h"

namespace tarvo {

RelayApi ZvServerRelayApi() {
  RelayApi api;
  api.login = &ZvServer_Login;
  api.logout = &ZvServer_Logout;
  api.lock_card = &ZvServer_LockCard;
  api.unlock_card = &ZvServer_UnLockCard;
  api.send_comm_packet = &ZvServer_SendCommPacket;
  api.recv_comm_packet = &ZvServer_RecvCommPacket;
  api.query_card_status = &ZvServer_QueryCardStatus;
  return api;
}

}  // namespace tarvo

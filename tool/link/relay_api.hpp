// The functions of the relay client library that the tool calls, as a
// table, so the relay medium can be driven by the real library or by a
// recording fake. A null entry counts as a failing call.
#pragma once

#include <cstdint>

namespace tarvo {

#if defined(_WIN32)
#define TARVO_RELAY_CALL __stdcall
#else
#define TARVO_RELAY_CALL
#endif

struct RelayApi {
  // 1 = logged in; anything else = failure.
  int(TARVO_RELAY_CALL* login)(const char* address, int port, const char* user,
                               const char* password) = nullptr;
  int(TARVO_RELAY_CALL* logout)() = nullptr;
  // Non-zero = the card is locked for this user.
  int(TARVO_RELAY_CALL* lock_card)(const char* device_id) = nullptr;
  int(TARVO_RELAY_CALL* unlock_card)(const char* device_id) = nullptr;
  // The server's forwarding status: 1 sent; 2-5 (card not connected, locked
  // by another user, of another organization, not locked) end the open link.
  int(TARVO_RELAY_CALL* send_comm_packet)(const char* device_id, int route, const uint8_t* data,
                                          int length) = nullptr;
  // Bytes placed in the buffer; below 15 counts as no reply.
  int(TARVO_RELAY_CALL* recv_comm_packet)(uint8_t* buffer, int size) = nullptr;
  // "ID=online;" entries of the cards matching `filter`; used only to say
  // why a lock was refused (offline, locked by another user, no such card).
  int(TARVO_RELAY_CALL* query_card_status)(const char* filter, char* buffer, int size) = nullptr;
};

// Route byte of each relay medium.
inline constexpr int kRelayRouteServer = 1;  // "Zv Server"
inline constexpr int kRelayRouteGprs = 2;    // "Zv GPRS"
inline constexpr int kRelayReceiveBufferSize = 2048;

}  // namespace tarvo

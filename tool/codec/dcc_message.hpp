// The message record exchanged with the GPRS gateway library, and the
// signatures of its four entry points. Shared by the tool's gateway binding
// and by the stand-in library that talks to the simulator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

#if defined(_WIN32)
#define TARVO_DCC_CALL __stdcall
#else
#define TARVO_DCC_CALL
#endif

inline constexpr uint8_t kDccTypeUserData = 0;
inline constexpr uint8_t kDccTypeSendConfirm = 4;
inline constexpr size_t kDccIdSize = 32;
inline constexpr size_t kDccDataSize = 1492;

// 1528 bytes, cleared to zero before it is filled.
struct DccMessage {
  char id[kDccIdSize];         // 0: modem IMEI, zero-terminated
  uint8_t type;                // 32: 0 user data, 4 send confirmation
  uint8_t zero;                // 33
  uint8_t length[2];           // 34: data length, little-endian
  uint8_t data[kDccDataSize];  // 36: one stream-framed packet
};
static_assert(sizeof(DccMessage) == 1528, "DccMessage must be 1528 bytes");
static_assert(offsetof(DccMessage, type) == 32 && offsetof(DccMessage, length) == 34 &&
                  offsetof(DccMessage, data) == 36,
              "DccMessage field offsets");

using DccInitFn = int(TARVO_DCC_CALL*)(int, int, const char* address, int port, int);
using DccCloseFn = int(TARVO_DCC_CALL*)(int handle);
using DccSendFn = int(TARVO_DCC_CALL*)(int handle, DccMessage* message);
using DccReceiveFn = int(TARVO_DCC_CALL*)(int handle, DccMessage* message);

}  // namespace tarvo

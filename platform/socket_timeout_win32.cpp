// Windows implementation of platform/socket_timeout.hpp.
#include <winsock2.h>

#include "platform/socket_timeout.hpp"

namespace tarvo::platform {

// SO_RCVTIMEO / SO_SNDTIMEO expiry reports WSAETIMEDOUT.
bool IsSocketTimeout(int code) {
  return code == WSAETIMEDOUT;
}

}  // namespace tarvo::platform

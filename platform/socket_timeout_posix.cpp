// POSIX implementation of platform/socket_timeout.hpp.
#include <cerrno>

#include "platform/socket_timeout.hpp"

namespace tarvo::platform {

// SO_RCVTIMEO / SO_SNDTIMEO expiry reports EAGAIN (EWOULDBLOCK on some
// systems, the same value on Linux).
bool IsSocketTimeout(int code) {
  return code == EAGAIN || code == EWOULDBLOCK;
}

}  // namespace tarvo::platform

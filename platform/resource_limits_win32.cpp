// Windows implementation of platform/resource_limits.hpp. Sockets and
// handles have no per-process soft limit to raise on Windows (only the C
// runtime's stdio streams do, which the servers do not use), so every
// connection asked for is available.
#include "platform/resource_limits.hpp"

namespace tarvo::platform {

long RaiseOpenFileLimit(long wanted) {
  return wanted;
}

}  // namespace tarvo::platform

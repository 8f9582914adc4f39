// Limits the operating system puts on this process.
#pragma once

namespace tarvo::platform {

// Raises the soft limit on open descriptors towards `wanted` (never above
// the hard limit) and returns the soft limit now in force, or -1 when it
// cannot be read. Child processes started afterwards inherit it.
long RaiseOpenFileLimit(long wanted);

}  // namespace tarvo::platform

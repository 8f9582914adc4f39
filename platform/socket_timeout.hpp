// Classifies the error of a failed socket call.
#pragma once

namespace tarvo::platform {

// True when `code` (from LastSocketError()) means that a send or receive
// time-out set on the socket expired, as opposed to a broken connection.
bool IsSocketTimeout(int code);

}  // namespace tarvo::platform

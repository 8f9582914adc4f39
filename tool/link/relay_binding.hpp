// The relay function table bound to the exports of libZvServerAPI.so (only
// built where that library is part of the build: target tarvo_relay_binding).
#pragma once

#include "tool/link/relay_api.hpp"

namespace tarvo {

RelayApi ZvServerRelayApi();

}  // namespace tarvo

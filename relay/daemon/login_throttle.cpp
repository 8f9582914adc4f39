#include "relay/daemon/login_throttle.hpp"

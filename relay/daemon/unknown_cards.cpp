#include "relay/daemon/unknown_cards.hpp"

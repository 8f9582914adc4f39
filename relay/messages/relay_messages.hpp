// Every relay message class in one include.
#pragma once

#include "relay/messages/check_name_msg.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/heartbeat_msg.hpp"
#include "relay/messages/lock_card_msg.hpp"
#include "relay/messages/login_msg.hpp"
#include "relay/messages/query_msg.hpp"
#include "relay/messages/record_op_msg.hpp"
#include "relay/messages/relay_msg.hpp"

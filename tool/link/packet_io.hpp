// Sending a request packet and receiving its reply over the open link. The
// medium of the link's current CommType wraps and unwraps the packet:
// stream framing on the serial line and the GPRS gateway, the network header
// on TCP, a relay envelope on the relay media.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

class ConnectionManager;

// Wraps and sends `length` packet bytes (checksum included). 1 when the
// transport took them (on the gateway: when its send confirmation came),
// else 0. A packet whose wrapped form does not fit the medium is not sent.
int SendPacket(ConnectionManager& link, const uint8_t* packet, size_t length);

// One reply packet, from its start byte on, into `destination` (room for
// `capacity` bytes). Returns its length; 0 when nothing came within the
// medium's bound, when the reply does not fit `capacity`, or on the relay
// media when it is from another card or not a reply packet. On the serial
// and gateway media a zero byte follows the packet when there is room.
size_t ReceivePacket(ConnectionManager& link, uint8_t* destination, size_t capacity);

}  // namespace tarvo

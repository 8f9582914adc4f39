// Relay bytes written out by hand for the scripted server: frames, counted
// strings and the bodies of the answers the client reads. Kept independent
// of the message classes, so a fault in them shows up as a failed exchange.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

using Bytes = std::vector<uint8_t>;

// Relay type codes.
inline constexpr uint16_t kLogin = 0x0001;
inline constexpr uint16_t kHeartbeat = 0x0002;
inline constexpr uint16_t kQuery = 0x0003;
inline constexpr uint16_t kCommPacket = 0x0005;
inline constexpr uint16_t kLockCard = 0x0006;
inline constexpr uint16_t kLoginAck = 0x0F01;
inline constexpr uint16_t kQueryAck = 0x0F03;
inline constexpr uint16_t kRecordOpAck = 0x0F04;
inline constexpr uint16_t kCommPacketAck = 0x0F05;
inline constexpr uint16_t kLockCardAck = 0x0F06;

// "ZVMSGPUB", type (LE16), body length (LE32), body.
Bytes Frame(uint16_t type, const Bytes& body);
// Length byte (characters + 1), characters, zero byte.
Bytes Counted(const std::string& text);
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Le32(uint32_t v);

// Login answer: result byte, and for result 1 the user record's length and
// body.
Bytes LoginAckBody(uint8_t result, const std::string& user_name = "",
                   const std::string& organization = "Org");
// User record body: name, password, type 1, organization, online 1,
// registered 2012-05-06 07:08:09, last login 2013-01-02 03:04:05.
Bytes UserBody(const std::string& user_name, const std::string& organization = "Org");
// User record envelope: kind 2, body length, body.
Bytes UserEnvelope(const std::string& user_name);
// Card record envelope: kind 3, body length, DeviceID, organization, OnLine,
// a registration date in 2012.
Bytes CardEnvelope(const std::string& device_id, uint8_t online);
// Query answer with status 0, kind 3 and the given envelopes.
Bytes CardQueryAckBody(const std::vector<Bytes>& envelopes);
// Card packet delivery: status 5 followed by the packet bytes.
Bytes CardPacketBody(const Bytes& packet);
// A controller-like packet of `size` bytes with a recognisable pattern.
Bytes Pattern(size_t size, uint8_t seed = 0x68);

}  // namespace zvtest

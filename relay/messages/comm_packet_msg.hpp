// Controller packet to a card (0x0005) and its answer (0x0F05), which also
// carries packets that a card sends back (status 5 with data).
#pragma once

#include <vector>

#include "relay/messages/relay_msg.hpp"

namespace zv {

// Forwarding routes: the TCP card table and the UDP card table.
inline constexpr uint8_t kRouteTcp = 1;
inline constexpr uint8_t kRouteUdp = 2;

class CCommPacketMsg : public CRelayMsg {
 public:
  CCommPacketMsg() : CRelayMsg(kCommPacketMsgType) {}
  // Body: counted device ID, route, then the data to the end of the body.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  std::string Describe() const override;  // "deviceID,dataLength,"

  const std::string& GetDeviceID() const { return device_id_; }
  void SetDeviceID(const std::string& v) { device_id_ = v; }
  uint8_t GetRoute() const { return route_; }
  void SetRoute(uint8_t v) { route_ = v; }
  const std::vector<uint8_t>& GetData() const { return data_; }
  // Copies `length` bytes, replacing earlier data; a negative length or null
  // pointer leaves the message without data.
  void SetData(const uint8_t* data, int length);

 private:
  std::string device_id_;
  uint8_t route_ = 0;
  std::vector<uint8_t> data_;
};

// Forwarding results (status of the answer).
inline constexpr uint8_t kForwardSendFailed = 0;
inline constexpr uint8_t kForwardSent = 1;
inline constexpr uint8_t kForwardCardOffline = 2;
inline constexpr uint8_t kForwardLockedByOther = 3;
inline constexpr uint8_t kForwardOtherOrganization = 4;
inline constexpr uint8_t kForwardNotLocked = 5;
// Status of a delivered card packet (same value, then with data).
inline constexpr uint8_t kCardPacketStatus = 5;

class CCommPacketAckMsg : public CRelayMsg {
 public:
  CCommPacketAckMsg() : CRelayMsg(kCommPacketAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  // Data travels only with status 5.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;

  uint8_t GetStatus() const { return status_; }
  void SetStatus(uint8_t v) { status_ = v; }
  const std::vector<uint8_t>& GetData() const { return data_; }
  // Copies the data and sets the status to 5.
  void SetData(const uint8_t* data, int length);

 private:
  uint8_t status_ = 0;
  std::vector<uint8_t> data_;
};

}  // namespace zv

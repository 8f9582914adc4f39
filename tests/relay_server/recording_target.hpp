// Send targets for tests: a TCP target that records every piece it is handed
// and completes it at once, or refuses with a chosen socket error.
#pragma once

#include <cstdint>
#include <vector>

#include "relay/server/send_target.hpp"

namespace zv::test {

class RecordingTcpTarget : public CTcpSendTarget {
 public:
  uint64_t Id() const override { return 7; }
  bool CanSend() const override { return can_send; }
  int Post(CTcpSendContext* context) override {
    if (fail_after >= 0 && static_cast<int>(pieces.size()) >= fail_after) return fail_code;
    pieces.emplace_back(context->buffer.begin(), context->buffer.begin() + context->length);
    if (complete_at_once)
      context->Release();
    else
      held.push_back(context);
    return 0;
  }
  void Close() override { closed = true; }

  std::vector<uint8_t> Joined() const {
    std::vector<uint8_t> all;
    for (const auto& p : pieces) all.insert(all.end(), p.begin(), p.end());
    return all;
  }

  std::vector<std::vector<uint8_t>> pieces;
  std::vector<CTcpSendContext*> held;
  bool can_send = true;
  bool complete_at_once = true;
  bool closed = false;
  int fail_after = -1;  // refuse from this piece on
  int fail_code = 10054;
};

}  // namespace zv::test

#include <memory>
#include <string>

#include "relay/server/connection.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv::test {

class RecordingUdpTarget : public CUdpSendTarget {
 public:
  uint64_t Id() const override { return 9; }
  int Post(CUdpContext* context) override {
    datagrams.emplace_back(context->buffer.begin(), context->buffer.begin() + context->length);
    addresses.push_back(context->address);
    context->Release();
    return 0;
  }
  std::vector<std::vector<uint8_t>> datagrams;
  std::vector<CUdpAddress> addresses;
};

// A peer as the tables see it: fixed id and organization, a recording stream.
class TestConnection : public CConnection {
 public:
  TestConnection(std::string id, std::string organization, uint8_t online = 1)
      : id_(std::move(id)), organization_(std::move(organization)) {
    card.SetDeviceID(id_);
    card.SetOrganizationName(organization_);
    card.SetOnLine(online);
  }
  std::string GetId() const override { return id_; }
  std::string GetOrganization() const override { return organization_; }
  void OnClose() override { ++closes; }
  CTcpSendTarget* GetSendTarget() override { return &target; }

  RecordingTcpTarget target;
  int closes = 0;

 private:
  std::string id_;
  std::string organization_;
};

// Installs fresh tables in the process-wide registry and removes them again.
struct InstalledTables {
  RecordingUdpTarget udp_socket;
  std::shared_ptr<CTcpConnectionTable> users = std::make_shared<CTcpConnectionTable>(64);
  std::shared_ptr<CTcpConnectionTable> cards = std::make_shared<CTcpConnectionTable>(64);
  std::shared_ptr<CUdpCardTable> udp = std::make_shared<CUdpCardTable>(udp_socket, 64);
  InstalledTables() {
    auto& r = CConnectionRegistry::Instance();
    r.InstallUserTable(users);
    r.InstallTcpCardTable(cards);
    r.InstallUdpCardTable(udp);
  }
  ~InstalledTables() { CConnectionRegistry::Instance().RemoveTables(); }
};

}  // namespace zv::test

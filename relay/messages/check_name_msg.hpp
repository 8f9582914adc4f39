// Name check before adding an organization, user or card (0x0007) and its
// answer (0x0F07).
#pragma once

#include "relay/messages/relay_msg.hpp"

namespace zv {

class CCheckNameMsg : public CRelayMsg {
 public:
  CCheckNameMsg() : CRelayMsg(kCheckNameMsgType) {}
  // The organization travels only for kinds other than 1.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  std::string Describe() const override;  // "kind,name,organization,"

  // 1 organization, 2 user, 3 card.
  uint8_t GetKind() const { return kind_; }
  void SetKind(uint8_t v) { kind_ = v; }
  const std::string& GetName() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  const std::string& GetOrganization() const { return organization_; }
  void SetOrganization(const std::string& v) { organization_ = v; }

 private:
  uint8_t kind_ = 0;
  std::string name_;
  std::string organization_;
};

// Name check results.
inline constexpr uint8_t kNameFree = 0;
inline constexpr uint8_t kNameTaken = 2;
inline constexpr uint8_t kNameOrganizationFull = 3;

class CCheckNameAckMsg : public CRelayMsg {
 public:
  CCheckNameAckMsg() : CRelayMsg(kCheckNameAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;

  uint8_t GetKind() const { return kind_; }
  void SetKind(uint8_t v) { kind_ = v; }
  const std::string& GetName() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  const std::string& GetOrganization() const { return organization_; }
  void SetOrganization(const std::string& v) { organization_ = v; }
  uint8_t GetResult() const { return result_; }
  void SetResult(uint8_t v) { result_ = v; }

 private:
  uint8_t kind_ = 0;
  std::string name_;
  std::string organization_;
  uint8_t result_ = 1;
};

}  // namespace zv

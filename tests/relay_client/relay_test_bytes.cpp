#include "tests/relay_client/relay_test_bytes.hpp"

namespace zvtest {

Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Frame(uint16_t type, const Bytes& body) {
  Bytes out = {'Z', 'V', 'M', 'S', 'G', 'P', 'U', 'B'};
  out.push_back(static_cast<uint8_t>(type));
  out.push_back(static_cast<uint8_t>(type >> 8));
  Bytes len = Le32(static_cast<uint32_t>(body.size()));
  out.insert(out.end(), len.begin(), len.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Counted(const std::string& text) {
  Bytes out;
  out.push_back(static_cast<uint8_t>(text.size() + 1));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  return out;
}

Bytes LoginAckBody(uint8_t result, const std::string& user_name, const std::string& organization) {
  if (result != 1) return {result};
  // 2012-05-06 07:08:09 registration, 2013-01-02 03:04:05 last login.
  Bytes user = Cat({Counted(user_name),
                    Counted("secret"),
                    {1},
                    Counted(organization),
                    {1},
                    {12, 5, 6, 7, 8, 9},
                    {13, 1, 2, 3, 4, 5}});
  return Cat({{1}, Le32(static_cast<uint32_t>(user.size())), user});
}

Bytes UserBody(const std::string& user_name, const std::string& organization) {
  return Cat({Counted(user_name),
              Counted("secret"),
              {1},
              Counted(organization),
              {1},
              {12, 5, 6, 7, 8, 9},
              {13, 1, 2, 3, 4, 5}});
}

Bytes UserEnvelope(const std::string& user_name) {
  Bytes body = UserBody(user_name);
  return Cat({{2}, Le32(static_cast<uint32_t>(body.size())), body});
}

Bytes CardEnvelope(const std::string& device_id, uint8_t online) {
  Bytes body = Cat({Counted(device_id), Counted("Org"), {online}, {12, 1, 1, 0, 0, 0}});
  return Cat({{3}, Le32(static_cast<uint32_t>(body.size())), body});
}

Bytes CardQueryAckBody(const std::vector<Bytes>& envelopes) {
  Bytes out = Cat({{0, 3}, Le32(static_cast<uint32_t>(envelopes.size()))});
  for (const Bytes& e : envelopes) out.insert(out.end(), e.begin(), e.end());
  return out;
}

Bytes CardPacketBody(const Bytes& packet) {
  return Cat({{5}, packet});
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
  return out;
}

}  // namespace zvtest

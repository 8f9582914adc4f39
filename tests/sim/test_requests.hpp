// Request packets built by hand for the controller model's tests, so that the
// model is checked against the wire layout and not against the tool's own
// encoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/wire.hpp"
#include "sim/controller_model.hpp"

namespace tarvo::sim::test {

// 0x68, type 0x32, id, command, flag, payload, checksum.
inline std::vector<uint8_t> MakeRequest(uint8_t command, const std::vector<uint8_t>& payload,
                                        uint8_t id = 1, uint8_t flag = 1) {
  std::vector<uint8_t> p{0x68, 0x32, id, command, flag};
  p.insert(p.end(), payload.begin(), payload.end());
  uint16_t sum = 0;
  for (uint8_t b : p) sum = static_cast<uint16_t>(sum + b);
  p.push_back(static_cast<uint8_t>(sum));
  p.push_back(static_cast<uint8_t>(sum >> 8));
  return p;
}

// Recomputes the checksum after a test changed a header byte.
inline void Reseal(std::vector<uint8_t>& p) {
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < p.size(); ++i) sum = static_cast<uint16_t>(sum + p[i]);
  wire::PutLe16(&p[p.size() - 2], sum);
}

inline bool ChecksumOk(const std::vector<uint8_t>& p) {
  if (p.size() < 7) return false;
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < p.size(); ++i) sum = static_cast<uint16_t>(sum + p[i]);
  return sum == wire::GetLe16(&p[p.size() - 2]);
}

inline void AppendText(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

inline void AppendLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Payload of CreateStreamFile / CreateBlockFile: "wb", time stamp of
// 2012-10-05 14:03:09, size, name.
inline std::vector<uint8_t> CreatePayload(const std::string& name, uint32_t size) {
  std::vector<uint8_t> p{'w', 'b', 14, 3, 9, 12, 10, 5, 0};
  AppendLe32(p, size);
  AppendText(p, name);
  return p;
}

inline std::vector<uint8_t> BlockPayload(uint16_t number, uint16_t nominal,
                                         const std::vector<uint8_t>& data) {
  std::vector<uint8_t> p;
  AppendLe16(p, static_cast<uint16_t>(data.size()));
  AppendLe16(p, number);
  AppendLe16(p, nominal);
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

// Sends one request to the model; the reply packet, or empty when none.
inline std::vector<uint8_t> Exchange(ControllerModel& m, const std::vector<uint8_t>& request) {
  Answer a = m.Handle(request.data(), request.size());
  return a.outcome == Outcome::kReplied ? a.reply : std::vector<uint8_t>();
}

inline std::vector<uint8_t> Ask(ControllerModel& m, uint8_t command,
                                const std::vector<uint8_t>& payload, uint8_t flag = 1) {
  return Exchange(m, MakeRequest(command, payload, 1, flag));
}

inline std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return v;
}

inline SimFile MakeFile(const std::string& name, const std::string& type, size_t size,
                        uint8_t seed = 1) {
  SimFile f;
  f.name = name;
  f.type = type;
  f.has_dot = true;
  f.date = {12, 10, 5, 14, 3, 9};
  f.data = Bytes(size, seed);
  return f;
}

}  // namespace tarvo::sim::test

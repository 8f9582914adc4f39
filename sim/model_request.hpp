// The parts of a request packet that the command handlers read (private to
// the controller model's source files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/wire.hpp"
#include "sim/controller_model.hpp"

namespace tarvo::sim {

struct ControllerModel::Request {
  uint8_t command = 0;
  uint8_t flag = 0;                  // byte 4: reply flag, or the kind of GetMissingBlocks
  const uint8_t* payload = nullptr;  // bytes 5 .. size-3
  size_t payload_size = 0;

  wire::Reader Payload() const { return wire::Reader(payload, payload_size); }
};

// The result byte of a reply that carries nothing else.
inline void PutResult(std::vector<uint8_t>& out, uint8_t result) {
  out.push_back(result);
}

}  // namespace tarvo::sim

// Where a relay frame is read from: the client socket, a server connection,
// or a test fixture.
#pragma once

#include <cstdint>

namespace zv {

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Reads exactly `size` bytes unless the source fails: returns the count read (0..size), -1 on
  // error.
  virtual int ReceiveExact(uint8_t* buffer, int size) = 0;
};

}  // namespace zv

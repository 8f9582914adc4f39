#include "relay/messages/counted_string.hpp"

#include <algorithm>
#include <cstring>

namespace zv {

size_t CountedChars(const std::string& text) {
  return std::min(text.size(), kMaxCountedChars);
}

size_t CountedSize(const std::string& text) {
  return CountedChars(text) + 2;
}

size_t PutCounted(uint8_t* out, const std::string& text) {
  const size_t n = CountedChars(text);
  out[0] = static_cast<uint8_t>(n + 1);
  if (n) std::memcpy(out + 1, text.data(), n);
  out[n + 1] = 0;
  return n + 2;
}

bool TakeCounted(const uint8_t* body, size_t size, size_t pos, std::string& text, size_t* next) {
  if (pos >= size) return false;
  const size_t counted = body[pos];
  const size_t start = pos + 1;
  // The last of the L counted bytes is the terminator's place, so the text has
  // at most L - 1 characters, and never more than what is left of the body.
  const size_t limit = std::min(counted == 0 ? 0 : counted - 1, size - start);
  size_t n = 0;
  while (n < limit && body[start + n] != 0) ++n;
  text.assign(reinterpret_cast<const char*>(body + start), n);
  if (next) *next = start + counted;
  return true;
}

}  // namespace zv

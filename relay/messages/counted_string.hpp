// The counted string of relay bodies: one length byte L = characters + 1,
// the characters, one zero byte. Every text of every relay message and
// account record goes through these helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv {

// L is one byte, so a counted string carries at most 254 characters. Longer
// texts are cut to this length when encoded (size and bytes agree), instead of
// letting L wrap around and misalign everything after it.
inline constexpr size_t kMaxCountedChars = 254;

// Number of characters that the text contributes on the wire (at most 254).
size_t CountedChars(const std::string& text);

// Bytes that the counted form of `text` occupies: CountedChars + 2.
size_t CountedSize(const std::string& text);

// Writes the counted form at `out` and returns the number of bytes written
// (always CountedSize(text)).
size_t PutCounted(uint8_t* out, const std::string& text);

// Reads the counted string whose length byte is body[pos]. The text runs from
// body[pos + 1] up to the first zero byte, and has at most L - 1 characters
// (the L-th counted byte is the terminator's place) and never runs beyond the
// body. On success sets *next (when given) to pos + L + 1 and
// returns true; returns false, leaving `text` untouched, when pos is outside
// the body.
bool TakeCounted(const uint8_t* body, size_t size, size_t pos, std::string& text,
                 size_t* next = nullptr);

}  // namespace zv

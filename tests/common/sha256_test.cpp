#include "common/sha256.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvo::hash {
namespace {

std::string Hex(const uint8_t* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 0x0F];
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// The published vectors: FIPS 180-2's two messages for the hash (one of them
// spans two blocks), and the seven cases of RFC 4231 for HMAC-SHA256, which
// cover short keys, keys longer than a block and data longer than a block.
TEST(Sha256, MatchesThePublishedVectors) {
  const std::vector<uint8_t> abc = Bytes("abc");
  Sha256Digest d = Sha256Of(abc.data(), abc.size());
  EXPECT_EQ(Hex(d.data(), d.size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::vector<uint8_t> two_blocks =
      Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  // Fed in uneven pieces: the block buffer must carry bytes across calls.
  Sha256 h;
  h.Update(two_blocks.data(), 5);
  h.Update(two_blocks.data() + 5, two_blocks.size() - 5);
  d = h.Final();
  EXPECT_EQ(Hex(d.data(), d.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

  struct Case {
    std::vector<uint8_t> key, data;
    std::string hmac;  // truncated to 128 bits in case 5, as published
  };
  std::vector<uint8_t> key4;
  for (uint8_t b = 1; b <= 25; ++b) key4.push_back(b);
  const Case cases[] = {
      {std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"),
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {key4, std::vector<uint8_t>(50, 0xcd),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {std::vector<uint8_t>(20, 0x0c), Bytes("Test With Truncation"),
       "a3b6167473100ee06e0c796c2955552b"},
      {std::vector<uint8_t>(131, 0xaa),
       Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {std::vector<uint8_t>(131, 0xaa),
       Bytes("This is a test using a larger than block-size key and a larger than block-size "
             "data. The key needs to be hashed before being used by the HMAC algorithm."),
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  int number = 1;
  for (const Case& c : cases) {
    const Sha256Digest mac = HmacSha256(c.key.data(), c.key.size(), c.data.data(), c.data.size());
    EXPECT_EQ(Hex(mac.data(), c.hmac.size() / 2), c.hmac) << "RFC 4231 case " << number;
    ++number;
  }
}

}  // namespace
}  // namespace tarvo::hash

#include "relay/messages/counted_string.hpp"

#include <gtest/gtest.h>

#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;

TEST(CountedString, EncodesLengthCharactersAndZero) {
  uint8_t out[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(PutCounted(out, "abc"), 5u);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{4, 'a', 'b', 'c', 0, 0xAA}));
  EXPECT_EQ(PutCounted(out, ""), 2u);
  EXPECT_EQ(Bytes(out, out + 2), (Bytes{1, 0}));
  EXPECT_EQ(CountedSize("abc"), 5u);
}

TEST(CountedString, LongTextIsCutTo254CharactersConsistently) {
  const std::string longest(254, 'x');
  const std::string too_long(300, 'y');
  EXPECT_EQ(CountedSize(longest), 256u);
  EXPECT_EQ(CountedSize(too_long), 256u);
  Bytes out(300, 0xAA);
  EXPECT_EQ(PutCounted(out.data(), too_long), 256u);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[254], 'y');
  EXPECT_EQ(out[255], 0);
  EXPECT_EQ(out[256], 0xAA);
  std::string back;
  ASSERT_TRUE(TakeCounted(out.data(), 256, 0, back));
  EXPECT_EQ(back, std::string(254, 'y'));
}

TEST(CountedString, DecoderStopsAtZeroAtCountAndAtBodyEnd) {
  std::string text;
  size_t next = 0;
  // Stops at the first zero; moves on by L + 1.
  const Bytes early_zero{6, 'a', 'b', 0, 'c', 'd', 0, 9};
  ASSERT_TRUE(TakeCounted(early_zero.data(), early_zero.size(), 0, text, &next));
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(next, 7u);
  // No zero where the L counted bytes end: the text still has L - 1 characters.
  const Bytes no_zero{3, 'a', 'b', 'c', 'd', 0};
  ASSERT_TRUE(TakeCounted(no_zero.data(), no_zero.size(), 0, text, &next));
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(next, 4u);
  // L = 255 without a terminator still yields at most 254 characters.
  Bytes full(300, 'z');
  full[0] = 255;
  ASSERT_TRUE(TakeCounted(full.data(), full.size(), 0, text, &next));
  EXPECT_EQ(text.size(), 254u);
  // L = 0 is an empty text.
  const Bytes zero_length{0, 'a'};
  ASSERT_TRUE(TakeCounted(zero_length.data(), zero_length.size(), 0, text, &next));
  EXPECT_EQ(text, "");
  EXPECT_EQ(next, 1u);
  // L claims more than the body holds: stops at the body's end.
  const Bytes short_body{200, 'a', 'b'};
  ASSERT_TRUE(TakeCounted(short_body.data(), short_body.size(), 0, text, &next));
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(next, 201u);
  // Length byte outside the body: nothing taken, text untouched.
  text = "keep";
  EXPECT_FALSE(TakeCounted(short_body.data(), short_body.size(), 3, text, &next));
  EXPECT_EQ(text, "keep");
}

}  // namespace
}  // namespace zv

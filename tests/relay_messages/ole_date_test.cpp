#include "relay/messages/ole_date.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;

DateParts Parts(double date) {
  DateParts p;
  EXPECT_TRUE(OleDateToParts(date, p)) << date;
  return p;
}

void ExpectParts(const DateParts& p, int y, int mo, int d, int h, int mi, int s) {
  EXPECT_EQ(p.year, y);
  EXPECT_EQ(p.month, mo);
  EXPECT_EQ(p.day, d);
  EXPECT_EQ(p.hour, h);
  EXPECT_EQ(p.minute, mi);
  EXPECT_EQ(p.second, s);
}

TEST(OleDate, KnownValuesConvertBothWays) {
  ExpectParts(Parts(0.0), 1899, 12, 30, 0, 0, 0);
  ExpectParts(Parts(2.0), 1900, 1, 1, 0, 0, 0);
  ExpectParts(Parts(36526.5), 2000, 1, 1, 12, 0, 0);
  ExpectParts(Parts(40969.75), 2012, 3, 1, 18, 0, 0);  // after a leap day
  double v = 0;
  ASSERT_TRUE(PartsToOleDate({2000, 1, 1, 12, 0, 0}, v));
  EXPECT_DOUBLE_EQ(v, 36526.5);
  ASSERT_TRUE(PartsToOleDate({2012, 2, 29, 0, 0, 0}, v));
  EXPECT_DOUBLE_EQ(v, 40968.0);
}

TEST(OleDate, NegativeValuesCountDaysBackwardsWithTimeForward) {
  ExpectParts(Parts(-1.25), 1899, 12, 29, 6, 0, 0);
  ExpectParts(Parts(-0.5), 1899, 12, 30, 12, 0, 0);
  double v = 0;
  ASSERT_TRUE(PartsToOleDate({1899, 12, 29, 6, 0, 0}, v));
  EXPECT_DOUBLE_EQ(v, -1.25);
  ASSERT_TRUE(PartsToOleDate({1800, 1, 1, 18, 0, 0}, v));
  ExpectParts(Parts(v), 1800, 1, 1, 18, 0, 0);
}

TEST(OleDate, RoundsToNearestSecondAcrossMidnight) {
  ExpectParts(Parts(1.0 - 0.2 / 86400), 1899, 12, 31, 0, 0, 0);
  ExpectParts(Parts(-1.0 - (1.0 - 0.2 / 86400)), 1899, 12, 30, 0, 0, 0);
  ExpectParts(Parts(36526.0 + 3599.6 / 86400), 2000, 1, 1, 1, 0, 0);
}

TEST(OleDate, ValuesThatCannotConvertAreReported) {
  DateParts p;
  EXPECT_FALSE(OleDateToParts(std::numeric_limits<double>::quiet_NaN(), p));
  EXPECT_FALSE(OleDateToParts(std::numeric_limits<double>::infinity(), p));
  EXPECT_FALSE(OleDateToParts(-std::numeric_limits<double>::infinity(), p));
  EXPECT_FALSE(OleDateToParts(kMaxOleDate + 1, p));
  EXPECT_FALSE(OleDateToParts(kMinOleDate - 1, p));
  ExpectParts(Parts(kMinOleDate), 100, 1, 1, 0, 0, 0);
  ExpectParts(Parts(kMaxOleDate), 9999, 12, 31, 23, 59, 59);
  double v = 7;
  EXPECT_FALSE(PartsToOleDate({2011, 2, 29, 0, 0, 0}, v));
  EXPECT_FALSE(PartsToOleDate({2012, 13, 1, 0, 0, 0}, v));
  EXPECT_FALSE(PartsToOleDate({2012, 1, 1, 24, 0, 0}, v));
  EXPECT_FALSE(PartsToOleDate({2012, 1, 1, 0, 60, 0}, v));
  EXPECT_FALSE(PartsToOleDate({99, 1, 1, 0, 0, 0}, v));
  EXPECT_EQ(v, 7);
}

TEST(OleDate, SixByteFormAndItsCannotConvertForm) {
  double v = 0;
  ASSERT_TRUE(PartsToOleDate({2012, 5, 17, 8, 30, 59}, v));
  uint8_t out[6];
  PutDate6(out, v);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{12, 5, 17, 8, 30, 59}));
  EXPECT_DOUBLE_EQ(GetDate6(out), v);
  // (year + 48) mod 256 wraps around outside 2000-2255.
  ASSERT_TRUE(PartsToOleDate({2256, 1, 1, 0, 0, 0}, v));
  PutDate6(out, v);
  EXPECT_EQ(out[0], 0);
  ASSERT_TRUE(PartsToOleDate({1999, 1, 1, 0, 0, 0}, v));
  PutDate6(out, v);
  EXPECT_EQ(out[0], 255);
  PutDate6(out, std::nan(""));
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{47, 255, 255, 255, 255, 255}));
  // That form, and any bytes that are no real date, read back as no date.
  EXPECT_EQ(GetDate6(out), 0.0);
  const uint8_t feb30[6] = {12, 2, 30, 0, 0, 0};
  EXPECT_EQ(GetDate6(feb30), 0.0);
}

TEST(OleDate, NowIsAWholeSecondInTheCurrentEra) {
  const double now = OleDateNow();
  DateParts p = Parts(now);
  EXPECT_GE(p.year, 2020);
  EXPECT_NEAR(now * 86400, std::round(now * 86400), 1e-3);
}

}  // namespace
}  // namespace zv

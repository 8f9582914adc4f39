#include "relay/messages/ole_date.hpp"

#include <cmath>
#include <cstdint>

#include "platform/clock.hpp"

namespace zv {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 of a proleptic Gregorian date (valid for all years
// used here), and the inverse.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

bool OleDateToParts(double date, DateParts& out) {
  if (!std::isfinite(date) || date < kMinOleDate || date > kMaxOleDate) return false;
  // Whole days count from the epoch in either direction; the fraction is the
  // time of that day whatever the sign.
  double whole = std::trunc(date);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    // Rounded up to midnight: the next calendar day. For a negative value the
    // next day is one less day backwards.
    seconds -= kSecondsPerDay;
    days += 1;
  }
  CivilFromDays(kEpochDays + days, out.year, out.month, out.day);
  out.hour = static_cast<int>(seconds / 3600);
  out.minute = static_cast<int>(seconds / 60 % 60);
  out.second = static_cast<int>(seconds % 60);
  return true;
}

bool PartsToOleDate(const DateParts& p, double& out) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12) return false;
  if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) return false;
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59) {
    return false;
  }
  const int64_t days = DaysFromCivil(p.year, p.month, p.day) - kEpochDays;
  const double time =
      static_cast<double>(p.hour * 3600 + p.minute * 60 + p.second) / kSecondsPerDay;
  out = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
  return true;
}

double OleDateNow() {
  const tarvo::platform::CalendarTime now = tarvo::platform::LocalNow();
  DateParts parts{now.year, now.month, now.day, now.hour, now.minute, now.second};
  double date = 0;
  PartsToOleDate(parts, date);
  return date;
}

void PutDate6(uint8_t* out, double date) {
  DateParts p;
  if (!OleDateToParts(date, p)) {
    out[0] = 47;
    for (int i = 1; i < kDateWireSize; ++i) out[i] = 255;
    return;
  }
  out[0] = static_cast<uint8_t>((p.year + 48) % 256);
  out[1] = static_cast<uint8_t>(p.month);
  out[2] = static_cast<uint8_t>(p.day);
  out[3] = static_cast<uint8_t>(p.hour);
  out[4] = static_cast<uint8_t>(p.minute);
  out[5] = static_cast<uint8_t>(p.second);
}

double GetDate6(const uint8_t* in) {
  DateParts p{in[0] + 2000, in[1], in[2], in[3], in[4], in[5]};
  double date = 0;
  return PartsToOleDate(p, date) ? date : 0;
}

}  // namespace zv

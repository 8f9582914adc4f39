// Automation dates (days since 1899-12-30 as a double, the fraction being the
// time of day) and their six-byte wire form.
#pragma once

#include <cstdint>

namespace zv {

struct DateParts {
  int year = 0;
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;    // 0-23
  int minute = 0;  // 0-59
  int second = 0;  // 0-59
};

// Earliest and latest dates that convert: 0100-01-01 and 9999-12-31 23:59:59.
inline constexpr double kMinOleDate = -657434.0;
inline constexpr double kMaxOleDate = 2958465.99999;

// Calendar form of a date, rounded to the nearest second. A negative value
// counts its whole days backwards from 1899-12-30 while its fraction is still
// the time of that day (-1.25 is 1899-12-29 06:00). Returns false for NaN,
// infinities and values outside [kMinOleDate, kMaxOleDate].
bool OleDateToParts(double date, DateParts& out);

// Date value of calendar parts; false (out untouched) when a part is out of
// range (year 100-9999, a real day of the month, 0-23 h, 0-59 min and s).
bool PartsToOleDate(const DateParts& parts, double& out);

// The current local time as a date value.
double OleDateNow();

// Size of the wire form of a date.
inline constexpr int kDateWireSize = 6;

// Writes (year + 48) mod 256, month, day, hour, minute, second. A date that
// cannot be converted is written as 47 255 255 255 255 255.
void PutDate6(uint8_t* out, double date);

// Reads six date bytes as (byte 0 + 2000, month, day, hour, minute, second).
// Bytes that do not form a real date (such as the "cannot convert" form)
// give 0, which means no date.
double GetDate6(const uint8_t* in);

}  // namespace zv

// Sleeping, monotonic time and calendar time.
#pragma once

#include <cstdint>
#include <ctime>

namespace tarvo::platform {

void SleepMs(int ms);
// Milliseconds from an arbitrary fixed point; only differences mean anything.
int64_t MonotonicMs();

struct CalendarTime {
  int year = 0;    // e.g. 2026
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;    // 0-23
  int minute = 0;  // 0-59
  int second = 0;  // 0-59
  int millisecond = 0;
};

// Local calendar time of a POSIX time value; false when it cannot be converted.
bool ToLocalTime(std::time_t t, CalendarTime* out);
// The current local time, to the millisecond.
CalendarTime LocalNow();

}  // namespace tarvo::platform

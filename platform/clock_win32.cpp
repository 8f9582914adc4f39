// Windows implementation of platform/clock.hpp.
#include <windows.h>

#include "platform/clock.hpp"

namespace tarvo::platform {

void SleepMs(int ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

int64_t MonotonicMs() {
  return static_cast<int64_t>(GetTickCount64());
}

bool ToLocalTime(std::time_t t, CalendarTime* out) {
  tm parts;
  if (localtime_s(&parts, &t) != 0) return false;
  out->year = parts.tm_year + 1900;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
  out->millisecond = 0;
  return true;
}

CalendarTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  CalendarTime c;
  c.year = st.wYear;
  c.month = st.wMonth;
  c.day = st.wDay;
  c.hour = st.wHour;
  c.minute = st.wMinute;
  c.second = st.wSecond;
  c.millisecond = st.wMilliseconds;
  return c;
}

}  // namespace tarvo::platform

// POSIX implementation of platform/clock.hpp.
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.hpp"

namespace tarvo::platform {

void SleepMs(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int64_t MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool ToLocalTime(std::time_t t, CalendarTime* out) {
  tm parts;
  if (localtime_r(&t, &parts) == nullptr) return false;
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
  timeval tv;
  gettimeofday(&tv, nullptr);
  CalendarTime c;
  ToLocalTime(tv.tv_sec, &c);
  c.millisecond = static_cast<int>(tv.tv_usec / 1000);
  return c;
}

}  // namespace tarvo::platform

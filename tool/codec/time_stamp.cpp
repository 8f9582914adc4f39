#include "platform/process.hpp"
#include "tool/codec/command_set.hpp"

namespace tarvo {

TimeStamp MakeTimeStamp(const platform::CalendarTime& local) {
  TimeStamp t;
  t.hour = static_cast<uint8_t>(local.hour);
  t.minute = static_cast<uint8_t>(local.minute);
  t.second = static_cast<uint8_t>(local.second);
  // Years since 1900, brought back into the century once it has passed 100:
  // 1999 -> 99, 2000 -> 100, 2012 -> 12.
  int years = local.year - 1900;
  if (years > 100) years -= 100;
  t.year = static_cast<uint8_t>(years);
  t.month = static_cast<uint8_t>(local.month);
  t.day = static_cast<uint8_t>(local.day);
  return t;
}

bool FileTimeStamp(const std::string& path, TimeStamp* out) {
  std::time_t when = 0;
  platform::CalendarTime local;
  if (!platform::FileModificationTime(path, &when) || !platform::ToLocalTime(when, &local)) {
    return false;
  }
  *out = MakeTimeStamp(local);
  return true;
}

void PutTimeStamp(uint8_t* out, const TimeStamp& stamp) {
  out[0] = stamp.hour;
  out[1] = stamp.minute;
  out[2] = stamp.second;
  out[3] = stamp.year;
  out[4] = stamp.month;
  out[5] = stamp.day;
  out[6] = 0;  // reserved
}

}  // namespace tarvo

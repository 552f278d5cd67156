// The local clock on posix (libfaketime can drive it in end-to-end tests).
#include <time.h>

#include <cerrno>
#include <cstdio>

#include "zuvoze/platform/clock.h"

namespace zuvoze::plat {

LocalTime localNowFromSystem() {
  time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  return t;
}

// The stand-in for the default short date and long time: "M/D/YYYY h:mm:ss AM".
std::string fmtDefaultDateTime(const LocalTime& t) {
  char b[48];
  int h = t.hour % 12 == 0 ? 12 : t.hour % 12;
  std::snprintf(b, sizeof b, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, h, t.minute,
                t.second, t.hour < 12 ? "AM" : "PM");
  return b;
}

void sleepRaw(uint32_t ms) {
  struct timespec req;
  req.tv_sec = ms / 1000;
  req.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

}  // namespace zuvoze::plat

// The time-stamp forms; pure text work shared by both backends.
#include <cstdio>
#include <mutex>

#include "zuvoze/platform/clock.h"

namespace zuvoze::plat {
namespace {

std::mutex g_clockMutex;
std::function<LocalTime()> g_testClock;

int hour12(int hour) {
  int h = hour % 12;
  return h == 0 ? 12 : h;
}
const char* ampm(int hour) { return hour < 12 ? "AM" : "PM"; }

}  // namespace

LocalTime localNowFromSystem();  // the backend's clock

LocalTime localNow() {
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_testClock) return g_testClock();
  }
  return localNowFromSystem();
}

void setClockForTest(std::function<LocalTime()> clock) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_testClock = std::move(clock);
}

std::string fmtLogStamp(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%02d/%02d/%02d %02d:%02d:%02d %s", t.month, t.day, t.year % 100,
                hour12(t.hour), t.minute, t.second, ampm(t.hour));
  return b;
}

std::string fmtLongStamp(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%02d/%02d/%04d %02d:%02d:%02d %s", t.month, t.day, t.year,
                hour12(t.hour), t.minute, t.second, ampm(t.hour));
  return b;
}

std::string fmtYMDHMS(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return b;
}

std::string fmtYDMHMS(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%04d%02d%02d%02d%02d%02d", t.year, t.day, t.month, t.hour,
                t.minute, t.second);
  return b;
}

std::string fmtMDYHMS(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%02d%02d%04d%02d%02d%02d", t.month, t.day, t.year, t.hour,
                t.minute, t.second);
  return b;
}

std::string fmtYMDHM(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%04d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute);
  return b;
}

std::string fmtPlainStamp(const LocalTime& t) {
  char b[40];
  std::snprintf(b, sizeof b, "%d/%d/%04d %d:%d:%d", t.month, t.day, t.year, t.hour, t.minute,
                t.second);
  return b;
}

}  // namespace zuvoze::plat

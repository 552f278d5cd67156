// The local clock and the user locale's default date and time forms.
#include <windows.h>

#include <cstdio>

#include "zuvoze/platform/clock.h"

namespace zuvoze::plat {

LocalTime localNowFromSystem() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

std::string fmtDefaultDateTime(const LocalTime& t) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  char date[128];
  char time[128];
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) > 0 &&
      GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time) > 0) {
    return std::string(date) + " " + time;
  }
  // A value the locale functions refuse (no such date): the plain US form, so
  // a log line still carries the stamp.
  int h = t.hour % 12;
  char b[64];
  std::snprintf(b, sizeof b, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, h == 0 ? 12 : h,
                t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return b;
}

}  // namespace zuvoze::plat

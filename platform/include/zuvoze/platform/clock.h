// The local clock and the time-stamp forms the tools use. Programs read the
// clock only through localNow().
#pragma once
#include <functional>
#include <string>

namespace zuvoze::plat {

struct LocalTime {
  int year = 1970, month = 1, day = 1;      // month 1-12, day 1-31
  int hour = 0, minute = 0, second = 0;     // hour 0-23
};

LocalTime localNow();
// Tests: replace the clock of this process (nullptr restores the real one).
void setClockForTest(std::function<LocalTime()> clock);

// "MM/DD/YY HH:NN:SS AM/PM" (12-hour clock, two digits everywhere).
std::string fmtLogStamp(const LocalTime& t);
// "MM/DD/YYYY HH:MM:SS AM/PM".
std::string fmtLongStamp(const LocalTime& t);
// "YYYYMMDDHHMMSS", "YYYYDDMMHHMMSS", "MMDDYYYYHHMMSS", "yyyymmddhhmm".
std::string fmtYMDHMS(const LocalTime& t);
std::string fmtYDMHMS(const LocalTime& t);
std::string fmtMDYHMS(const LocalTime& t);
std::string fmtYMDHM(const LocalTime& t);
// "M/D/YYYY H:N:S": no leading zeros, 24-hour clock.
std::string fmtPlainStamp(const LocalTime& t);
// The platform's default short date, a blank and the time with seconds
// (win32: the user locale's formats; posix: "M/D/YYYY h:mm:ss AM/PM").
std::string fmtDefaultDateTime(const LocalTime& t);

}  // namespace zuvoze::plat

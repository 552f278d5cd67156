// The time-stamp forms of the logs and files, and the replaceable clock.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "zuvoze/platform/clock.h"

using namespace zuvoze::plat;

namespace {

LocalTime at(int y, int mo, int d, int h, int mi, int s) {
  LocalTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

TEST(Clock, StampFormsOfFixedTimes) {
  struct Case {
    LocalTime t;
    const char *log, *longForm, *ymdhms, *ydmhms, *mdyhms, *ymdhm, *plain;
  } cases[] = {
      {at(2026, 1, 31, 23, 5, 9), "01/31/26 11:05:09 PM", "01/31/2026 11:05:09 PM", "20260131230509",
       "20263101230509", "01312026230509", "202601312305", "1/31/2026 23:5:9"},
      {at(2026, 7, 4, 0, 30, 0), "07/04/26 12:30:00 AM", "07/04/2026 12:30:00 AM", "20260704003000",
       "20260407003000", "07042026003000", "202607040030", "7/4/2026 0:30:0"},
      {at(2009, 12, 1, 12, 0, 0), "12/01/09 12:00:00 PM", "12/01/2009 12:00:00 PM", "20091201120000",
       "20090112120000", "12012009120000", "200912011200", "12/1/2009 12:0:0"},
      {at(2000, 2, 29, 11, 59, 59), "02/29/00 11:59:59 AM", "02/29/2000 11:59:59 AM",
       "20000229115959", "20002902115959", "02292000115959", "200002291159", "2/29/2000 11:59:59"},
      {at(2031, 10, 10, 13, 1, 2), "10/10/31 01:01:02 PM", "10/10/2031 01:01:02 PM",
       "20311010130102", "20311010130102", "10102031130102", "203110101301", "10/10/2031 13:1:2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ymdhms);
    EXPECT_EQ(c.log, fmtLogStamp(c.t));
    EXPECT_EQ(c.longForm, fmtLongStamp(c.t));
    EXPECT_EQ(c.ymdhms, fmtYMDHMS(c.t));
    EXPECT_EQ(c.ydmhms, fmtYDMHMS(c.t));
    EXPECT_EQ(c.mdyhms, fmtMDYHMS(c.t));
    EXPECT_EQ(c.ymdhm, fmtYMDHM(c.t));
    EXPECT_EQ(c.plain, fmtPlainStamp(c.t));
  }
}

TEST(Clock, DefaultDateTimeIsShortDateBlankAndTimeWithSeconds) {
#ifdef _WIN32
  // The user locale decides the form; the cases are those of US English.
  if (PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) != LANG_ENGLISH ||
      SUBLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) != SUBLANG_ENGLISH_US)
    GTEST_SKIP() << "user locale is not US English";
#endif
  EXPECT_EQ("1/31/2026 11:05:09 PM", fmtDefaultDateTime(at(2026, 1, 31, 23, 5, 9)));
  EXPECT_EQ("7/4/2026 12:30:00 AM", fmtDefaultDateTime(at(2026, 7, 4, 0, 30, 0)));
  EXPECT_EQ("12/1/2009 12:00:00 PM", fmtDefaultDateTime(at(2009, 12, 1, 12, 0, 0)));
}

TEST(Clock, TestClockReplacesTheRealOneUntilCleared) {
  setClockForTest([] { return at(2026, 1, 31, 23, 5, 9); });
  EXPECT_EQ("20260131230509", fmtYMDHMS(localNow()));
  setClockForTest(nullptr);
  LocalTime now = localNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
  EXPECT_TRUE(now.second >= 0 && now.second <= 60);
}

}  // namespace

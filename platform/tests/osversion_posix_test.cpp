// Version information: the system's answer on each backend and the override.
#include <gtest/gtest.h>

#include "zuvoze/platform/osversion.h"

#ifndef _WIN32
#include <sys/utsname.h>

#include <string>
#endif

namespace zuvoze::plat {
namespace {

TEST(OsVersionInfo, AnswersWithTheNtPlatform) {
  OsVersion v;
  ASSERT_EQ(0u, getOsVersion(&v));
  EXPECT_EQ(kOsPlatformNT, v.platformId);
  EXPECT_GT(v.major, 0u);
#ifndef _WIN32
  struct utsname u {};
  ASSERT_EQ(0, uname(&u));
  EXPECT_EQ(0u, std::string(u.release).rfind(std::to_string(v.major) + "." + std::to_string(v.minor), 0))
      << u.release;
  EXPECT_EQ("", v.csd);
#endif
}

TEST(OsVersionInfo, TheOverrideAnswersUntilRemoved) {
  setOsVersionForTest([](OsVersion* v) {
    v->platformId = kOsPlatformWindows;
    v->major = 4;
    v->minor = 90;
    return 0u;
  });
  OsVersion v;
  EXPECT_EQ(0u, getOsVersion(&v));
  EXPECT_EQ(kOsPlatformWindows, v.platformId);
  EXPECT_EQ(90u, v.minor);
  setOsVersionForTest([](OsVersion*) { return 5u; });
  EXPECT_EQ(5u, getOsVersion(&v));
  setOsVersionForTest(nullptr);
  EXPECT_EQ(0u, getOsVersion(&v));
  EXPECT_EQ(kOsPlatformNT, v.platformId);
}

}  // namespace
}  // namespace zuvoze::plat

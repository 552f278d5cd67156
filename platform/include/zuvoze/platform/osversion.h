// The operating system's version information (GetVersionExA).
//
// win32: the system's answer. posix: the NT platform with the major, minor and
// patch numbers of the running kernel's release (uname) as major, minor and
// build, and an empty service-pack text.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace zuvoze::plat {

enum OsPlatform : uint32_t {
  kOsPlatformWin32s = 0,
  kOsPlatformWindows = 1,  // the Windows 95 family
  kOsPlatformNT = 2,
};

struct OsVersion {
  uint32_t platformId = kOsPlatformNT;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string csd;  // service-pack text, at most 127 characters
};

// Fills *out; returns 0 or a Windows error code.
uint32_t getOsVersion(OsVersion* out);

// Tests: answer with this function instead of the system (nullptr restores).
void setOsVersionForTest(std::function<uint32_t(OsVersion*)> source);

}  // namespace zuvoze::plat

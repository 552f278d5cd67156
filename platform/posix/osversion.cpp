// posix: the NT platform with the kernel release's numbers.
#include <sys/utsname.h>

#include <cstdlib>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/osversion.h"

namespace zuvoze::plat {

uint32_t getOsVersionNative(OsVersion* out) {
  struct utsname u {};
  if (uname(&u) != 0) {
    setLastError(kErrNotSupported);
    return kErrNotSupported;
  }
  out->platformId = kOsPlatformNT;
  // "6.1.0-18-amd64": major 6, minor 1, build 0.
  const char* p = u.release;
  uint32_t* parts[] = {&out->major, &out->minor, &out->build};
  for (uint32_t* part : parts) {
    char* end = nullptr;
    unsigned long v = std::strtoul(p, &end, 10);
    if (end == p) break;
    *part = static_cast<uint32_t>(v);
    if (*end != '.') break;
    p = end + 1;
  }
  out->csd.clear();
  return kOk;
}

}  // namespace zuvoze::plat

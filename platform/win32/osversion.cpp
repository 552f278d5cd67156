// win32: GetVersionExA with the 148-byte ANSI record.
#include <windows.h>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/osversion.h"

namespace zuvoze::plat {

uint32_t getOsVersionNative(OsVersion* out) {
  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof(vi);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  BOOL ok = GetVersionExA(&vi);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) {
    uint32_t code = GetLastError();
    setLastError(code);
    return code != 0 ? code : kErrInvalidFunction;
  }
  out->platformId = vi.dwPlatformId;
  out->major = vi.dwMajorVersion;
  out->minor = vi.dwMinorVersion;
  out->build = vi.dwBuildNumber;
  vi.szCSDVersion[sizeof(vi.szCSDVersion) - 1] = '\0';
  out->csd = vi.szCSDVersion;
  return kOk;
}

}  // namespace zuvoze::plat

// Version information with its test override; the backend asks the system.
#include <mutex>

#include "zuvoze/platform/osversion.h"

namespace zuvoze::plat {

uint32_t getOsVersionNative(OsVersion* out);

namespace {
std::mutex g_sourceMutex;
std::function<uint32_t(OsVersion*)> g_source;
}  // namespace

uint32_t getOsVersion(OsVersion* out) {
  std::function<uint32_t(OsVersion*)> source;
  {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    source = g_source;
  }
  *out = OsVersion{};
  return source ? source(out) : getOsVersionNative(out);
}

void setOsVersionForTest(std::function<uint32_t(OsVersion*)> source) {
  std::lock_guard<std::mutex> lock(g_sourceMutex);
  g_source = std::move(source);
}

}  // namespace zuvoze::plat

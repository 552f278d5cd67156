// The OS query with its test override; the backend asks the system.
#include <mutex>

#include "zuvoze/platform/osquery.h"

namespace zuvoze::plat {

OsQueryError queryOperatingSystemsNative(std::vector<OsInstance>* instances);

namespace {
std::mutex g_sourceMutex;
OsQuerySource g_source;
}  // namespace

OsQueryError queryOperatingSystems(std::vector<OsInstance>* instances) {
  OsQuerySource source;
  {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    source = g_source;
  }
  instances->clear();
  return source ? source(instances) : queryOperatingSystemsNative(instances);
}

void setOsQueryForTest(OsQuerySource source) {
  std::lock_guard<std::mutex> lock(g_sourceMutex);
  g_source = std::move(source);
}

}  // namespace zuvoze::plat

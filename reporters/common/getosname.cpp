// getOSName: the operating-system code from the version information.
#include "reporters.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/osversion.h"

namespace zuvoze::reporters {

std::string getOSName() {
  int step = 10;
  try {
    plat::OsVersion info;
    uint32_t rc = plat::getOsVersion(&info);
    if (rc != 0) {
      std::string text = fncTrimNull(plat::paddedSystemMessage(rc));
      while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
      }
      throw ErrInfo{static_cast<int32_t>(rc), text};
    }
    step = 20;
    return osCodeFor(info.platformId, info.major, info.minor);
  } catch (...) {
    ErrInfo e;
    try {
      throw;
    } catch (const ErrInfo& info) {
      e = info;
    } catch (...) {
      e = errorOf(std::current_exception());
    }
    if (runState().tool == Tool::HostIdPost) {
      subWriteErr("getOSName () -" + std::to_string(e.number) + e.description + "Error Ln no." +
                  std::to_string(step));
    } else {
      writeRawLogLine(plat::fmtDefaultDateTime(plat::localNow()) + "\t" +
                      std::to_string(e.number) + " " + e.description);
    }
    return "";
  }
}

}  // namespace zuvoze::reporters

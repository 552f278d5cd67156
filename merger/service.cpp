// Stopping and starting the agent's scheduler service through the service
// control manager. Neither waits for a state: each pauses 20 seconds after its
// request instead.
#include "merger/service.h"

#include <exception>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/service.h"
#include "zuvoze/platform/sleep.h"

namespace zuvoze::merger {

namespace {

// The system's text for the last error, padded to 200 characters.
std::string lastErrorText() { return fncFormatMessage(std::to_string(plat::lastError())); }

// The error path of both procedures: one entry of several lines.
void logUnexpected(const std::exception& e) {
  const auto* me = dynamic_cast<const MergeError*>(&e);
  WriteLog("ERR : " + std::to_string(me ? me->number : 7) + "\r\n" +
           (me ? me->description : std::string(e.what())) + "\r\n" + "cfgmerge" + "\r\n" + "64" +
           "\r\n" + "ALERT    :   System Administration Tool");
}

// Closes whatever is still open when the procedure returns.
struct Handles {
  plat::ServiceHandle manager = 0, service = 0;
  ~Handles() {
    plat::closeServiceHandle(service);
    plat::closeServiceHandle(manager);
  }
};

}  // namespace

bool fncStopService(const std::string& serviceName) {
  bool answer = false;
  try {
    Handles h;
    h.manager = plat::openServiceManager(plat::kScManagerConnect);
    if (h.manager == 0) {
      WriteLog("ERR : Unable to connect \r\n" + lastErrorText());
      return false;
    }
    h.service = plat::openService(h.manager, serviceName, plat::kServiceStop);
    if (h.service == 0) {
      WriteLog("ERR : Cannot open service " + serviceName + "\r\n" + lastErrorText());
      return false;
    }
    if (!plat::stopService(h.service)) {
      WriteLog(" MSG : Unable to stop the service \r\n" + lastErrorText());
      return false;
    }
    answer = true;
    plat::sleepMs(20000);
    WriteLog("MSG : Service stopped " + serviceName);
    return true;
  } catch (const std::exception& e) {
    logUnexpected(e);
    return answer;
  }
}

bool fncStartService(const std::string& serviceName) {
  bool answer = false;
  try {
    Handles h;
    h.manager = plat::openServiceManager(plat::kScManagerAllAccess);
    if (h.manager == 0) {
      WriteLog("ERR : Unable to connect SCM \r\n" + lastErrorText());
      return false;
    }
    h.service = plat::openService(h.manager, serviceName, plat::kServiceAllAccess);
    if (h.service == 0) {
      // A service that cannot be opened cannot have been started.
      WriteLog("ERR : Cannot open service " + serviceName + "\r\n" + lastErrorText());
      return false;
    }
    plat::setLastError(0);
    if (!plat::startService(h.service)) {
      WriteLog(" ERR : Unable to start the service " + serviceName + "\r\n" + lastErrorText());
      return false;
    }
    answer = true;
    WriteLog("MSG : Service started ::::::: " + serviceName);
    plat::sleepMs(20000);
    return true;
  } catch (const std::exception& e) {
    logUnexpected(e);
    return answer;
  }
}

}  // namespace zuvoze::merger

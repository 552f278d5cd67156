// hostidpost: reads the installed LogMeIn host's identifier, compares it with
// the one its caller knew, and posts the install status to the management
// server.
#include <cstdlib>

#include "common/reporters.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::reporters {

namespace {

const char* const kWebSvcKey = "SOFTWARE\\LogMeIn\\V5\\WebSvc";

// A failure the run cannot recover from, with its Windows error code.
struct RunFailure {
  uint32_t code;
};

ErrInfo currentError() {
  try {
    throw;
  } catch (const RunFailure& f) {
    std::string text = fncTrimNull(plat::paddedSystemMessage(f.code));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    return {static_cast<int32_t>(f.code), text};
  } catch (...) {
    return errorOf(std::current_exception());
  }
}

std::string ReadRegistryRetry(plat::RegKey root, const std::string& keyPath,
                              const std::string& valueName, int16_t kind) {
  int step = 10;
  plat::RegKey key = 0;
  try {
    if (plat::regOpenKey(root, keyPath, plat::RegAccess::Read, plat::RegView::View32, &key) !=
        plat::kOk) {
      step = 20;
      if (plat::regOpenKey(root, keyPath, plat::RegAccess::Full, plat::RegView::View64, &key) !=
          plat::kOk) {
        return "";
      }
    }
    step = 30;
    std::string result;
    if (kind == plat::kRegSz) {
      result = readStringValueOf(key, valueName);
    } else if (kind == plat::kRegDword) {
      step = 40;
      uint32_t number = 0;
      uint32_t size = sizeof(number);
      uint32_t type = 0;
      if (plat::regGetValue(key, valueName, &type, &number, &size) == plat::kOk) {
        result = std::to_string(static_cast<int32_t>(number));
      }
    }
    step = 50;
    plat::regCloseKey(key);
    return result;
  } catch (...) {
    if (key != 0) plat::regCloseKey(key);
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("ReadRegistryRetry () -" + std::to_string(e.number) + e.description +
                "Error Ln no." + std::to_string(step));
    return "";
  }
}

std::string getXMLData() {
  try {
    std::string address = fncGetURL("wplmiagntinstallstatus") + "tfr_wplmiagntinstallstatus.asp";
    const AgentIdentityRecord& id = AgentIdentity;
    std::string numhostid;
    std::string status;
    if (trimBlanks(id.NumHostID).empty()) {
      subWriteMsg("NumHostID not found in registry.");
      numhostid = "<numhostid>0</numhostid>";
      status = "<status>FAILED</status>";
    } else {
      subWriteMsg("Previous NumHostID[ " + id.PreviousHostID + " ] and Current NumHostID[ " +
                  id.NumHostID + " ] .");
      numhostid = "<numhostid>" + xmlEscape(id.NumHostID) + "</numhostid>";
      status = id.NumHostID == id.PreviousHostID ? "<status>FAILED</status>"
                                                 : "<status>SUCCESS</status>";
    }
    std::string xml = "<wplmiagntinstallstatus><regid>" + xmlEscape(id.REGID) +
                      "</regid><regtype>" + xmlEscape(id.Type) + "</regtype>" + numhostid +
                      "<proxy>NO</proxy>" + status + "</wplmiagntinstallstatus>";
    subPostXML(xml, address);
    subWriteMsg("webpost String is :" + xml);
    if (runState().post.success) {
      subWriteMsg("Webpost Return String : " + runState().post.answer);
    } else {
      subWriteErr("Webpost Failed");
    }
    return xml;
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("getXMLData ()-" + std::to_string(e.number) + "-" + e.description);
    return "";
  }
}

void subExecute() {
  try {
    subWriteMsg("Reading the registry for data needed to create xml.");
    if (getOSName() == "2000") {
      if (!fncGetNumHostID2000(kWebSvcKey)) subWriteMsg("NumHostID not found.");
    } else if (!fncGetNumHostID(kWebSvcKey)) {
      if (AgentIdentity.NumHostID.empty() || AgentIdentity.NumHostID == "0") {
        AgentIdentity.NumHostID =
            ReadRegistryRetry(plat::hklm(), kWebSvcKey, "NumHostID", plat::kRegDword);
      } else {
        subWriteMsg("NumHostID not found.");
      }
    }
    subWriteMsg("Completed reading  the registry.");
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("subExecute () -  " + std::to_string(e.number) + ":" + e.description);
    return;
  }
  getXMLData();
}

void Main() {
  try {
    fncOpenLog();
    subLogStart();
    fncGetRegInfo("SOFTWARE\\ZUVOZE");
    subWriteMsg("ZUVOZE PAth " + AgentIdentity.InstallationPath);
    if (leadingNumber(AgentIdentity.REGID) == 0 &&
        trimBlanks(AgentIdentity.InstallationPath).empty()) {
      // No agent registration: nothing to report; close and move the log and
      // end the run here.
      subLogStop();
      subMoveLog(AgentIdentity.InstallationPath);
      return;
    }
    subWriteMsg("Deleging WebPostStatus.txt file");
    std::string statusFile = AgentIdentity.InstallationPath + "WebPostStatus.txt";
    if (plat::fileExists(statusFile)) {
      uint32_t rc = plat::deleteFile(statusFile, true);
      if (rc != plat::kOk) throw RunFailure{rc};
    }
    std::string commandLine = plat::commandLineText();
    if (!commandLine.empty()) {
      AgentIdentity.PreviousHostID = firstField(commandLine);
      subWriteMsg("NumHostID Passed : --> " + AgentIdentity.PreviousHostID);
    }
    subWriteMsg("MSG : Calling subExecute()function");
    subExecute();
    subLogStop();
    subMoveLog(AgentIdentity.InstallationPath);
  } catch (...) {
    ErrInfo e = currentError();
    subWriteErr("Main ()- " + std::to_string(e.number) + "-" + e.description);
    std::exit(1);
  }
}

}  // namespace
}  // namespace zuvoze::reporters

int main(int argc, char** argv) {
  zuvoze::plat::initProcess(argc, argv);
  zuvoze::reporters::initRun(zuvoze::reporters::Tool::HostIdPost);
  zuvoze::reporters::Main();
  return 0;
}

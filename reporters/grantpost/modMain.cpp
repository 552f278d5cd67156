// grantpost: asks the management server for the LogMeIn installation
// permission of this machine and keeps the server's answer in grantpost.txt.
#include <cstdlib>

#include "common/reporters.h"
#include "zuvoze/platform/clock.h"
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

std::string describe(uint32_t code) {
  std::string text = fncTrimNull(plat::paddedSystemMessage(code));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

ErrInfo currentError() {
  try {
    throw;
  } catch (const RunFailure& f) {
    return {static_cast<int32_t>(f.code), describe(f.code)};
  } catch (...) {
    return errorOf(std::current_exception());
  }
}

void subExecute() {
  try {
    subWriteMsg("Reading the registry for NumhostId");
    bool found = getOSName() == "2000" ? fncGetNumHostID2000(kWebSvcKey)
                                       : fncGetNumHostID(kWebSvcKey);
    if (!found) subWriteMsg("NumHostID not found.");
    subWriteMsg("Completed reading  the registry.");
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("subExecute () -  " + std::to_string(e.number) + ":" + e.description);
  }
}

std::string fncGetPermissionXML() {
  try {
    std::string time = plat::fmtPlainStamp(plat::localNow());
    const AgentIdentityRecord& id = AgentIdentity;
    return "<wplmiinstallpermission><regid>" + xmlEscape(id.REGID) + "</regid><memberid>" +
           xmlEscape(id.MEMBERID) + "</memberid><siteid>" + xmlEscape(id.SiteId) +
           "</siteid><regtype>" + xmlEscape(id.Type) + "</regtype><numhostid>" +
           xmlEscape(id.NumHostID) + "</numhostid><mndtime>" + time +
           "</mndtime></wplmiinstallpermission>";
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("Main ()- " + std::to_string(e.number) + "-" + e.description);
    return "";
  }
}

void Main() {
  try {
    fncOpenLog();
    subLogStart();
    fncGetRegInfo("SOFTWARE\\ZUVOZE");
    if (leadingNumber(AgentIdentity.REGID) == 0 &&
        trimBlanks(AgentIdentity.InstallationPath).empty()) {
      // No agent registration: nothing to ask for; close and move the log and
      // end the run here.
      subLogStop();
      subMoveLog(AgentIdentity.InstallationPath);
      return;
    }
    std::string commandLine = plat::commandLineText();
    if (!commandLine.empty()) {
      AgentIdentity.PreviousHostID = firstField(commandLine);
      subWriteMsg("NumHostID Passed : --> " + AgentIdentity.PreviousHostID);
    }
    subExecute();
    std::string xml = fncGetPermissionXML();
    std::string address =
        fncGetURL("wplmiinstallpermission") + "tfr_wplmiinstallpermission.asp";
    subWriteMsg("Webpost URL : " + address);
    subWriteMsg("Webpost String : " + xml);
    subPostXML(xml, address);
    const PostOutcome& post = runState().post;
    if (post.success) {
      subWriteMsg("webposted successfully");
      subWriteMsg("Webpost Return String : " + post.answer);
    } else {
      subWriteErr("Webpost Failed");
    }
    if (!post.answer.empty()) {
      subWriteMsg("Creating OUTPUT file grantpost.txt");
      std::string output = AgentIdentity.InstallationPath + "grantpost.txt";
      if (plat::fileExists(output)) {
        uint32_t rc = plat::deleteFile(output, true);
        if (rc != plat::kOk) throw RunFailure{rc};
      }
      uint32_t rc = plat::writeTextFile(output, post.answer);
      if (rc != plat::kOk) throw RunFailure{rc};
      subWriteMsg("Successfully created OUTPUT file grantpost.txt at location : " +
                  AgentIdentity.InstallationPath);
    }
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
  zuvoze::reporters::initRun(zuvoze::reporters::Tool::GrantPost);
  zuvoze::reporters::Main();
  return 0;
}

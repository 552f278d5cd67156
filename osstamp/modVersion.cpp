// modVersion: the entry procedure, the three steps and the log.
#include "osstamp/modVersion.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/msgbox.h"
#include "zuvoze/platform/osquery.h"
#include "zuvoze/platform/osversion.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::osstamp {

namespace {

// A failure inside a procedure, caught by that procedure's own error path.
struct Failure {
  int32_t number;
  std::string description;
};

const char* const kEqualsLine =
    "====================================================================";

std::string systemText(uint32_t code) {
  char buf[512];
  uint32_t n = plat::systemMessage(code, buf, sizeof buf);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// The failure an unexpected exception stands for.
Failure failureOf(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return {7, "Out of memory"};
  return {51, std::string("Internal error: ") + e.what()};
}

// One error entry: the text, the error number and its description, no separators.
void logError(const std::string& entry, const Failure& f) {
  subWriteLog(entry + std::to_string(f.number) + f.description);
}

// Splits at every dot.
std::vector<std::string> splitDots(const std::string& text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

RegistryCalls systemRegistryCalls() {
  RegistryCalls calls;
  calls.open = [](plat::RegKey parent, const std::string& subkey, plat::RegKey* out) {
    return plat::regOpenKey(parent, subkey, plat::RegAccess::Full, plat::RegView::Default, out);
  };
  calls.create = [](plat::RegKey parent, const std::string& subkey, plat::RegKey* out) {
    return plat::regCreateKey(parent, subkey, plat::RegView::Default, out);
  };
  calls.setString = [](plat::RegKey key, const std::string& name, const std::string& text) {
    return plat::regSetString(key, name, text);
  };
  calls.close = [](plat::RegKey key) { plat::regCloseKey(key); };
  return calls;
}

VersionState& state() {
  static VersionState s{std::string(), std::string(), {}, std::string(), systemRegistryCalls()};
  return s;
}

void resetState() {
  VersionState& s = state();
  s.log.close();
  s.strVersion.clear();
  s.strOSName.clear();
  s.logFolder.clear();
  s.registry = systemRegistryCalls();
}

void subOpenLog() {
  VersionState& s = state();
  std::string folder = s.logFolder;
  if (folder.empty()) {
    folder = plat::shortPath(plat::programFolder());
    if (folder.empty()) folder = plat::programFolder();
  }
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  // A log that cannot be created leaves the stream closed: every write is then
  // skipped and the run still records the values.
  s.log.open(folder + plat::programName() + kLogSuffix, plat::TextStream::Mode::CreateOverwrite);
}

void subWriteLog(const std::string& text) {
  try {
    VersionState& s = state();
    if (!s.log.isOpen()) return;
    s.log.writeLine(plat::fmtLogStamp(plat::localNow()) + "\t" + text);
  } catch (...) {
    // Logging never fails the run.
  }
}

std::string fncOSNameOfVersion(const std::string& version) {
  if (version == "4.0") return "Microsoft Windows NT";
  if (version == "5.0") return "Microsoft Windows 2000";
  if (version == "5.1") return "Microsoft Windows XP";
  if (version == "5.2") return "Microsoft Windows 2003";
  if (version == "6.0") return "Microsoft Windows Vista";
  return std::string();
}

bool fncGetWMIVersion() {
  VersionState& s = state();
  try {
    std::vector<plat::OsInstance> instances;
    plat::OsQueryError e = plat::queryOperatingSystems(&instances);
    if (e) throw Failure{e.number, e.description};
    for (const plat::OsInstance& os : instances) {
      s.strOSName = os.caption;
      subWriteLog("\tMSG : strOSName :" + s.strOSName);
      std::vector<std::string> parts = splitDots(os.version);
      if (parts.size() < 2) throw Failure{9, "Subscript out of range"};
      s.strVersion = parts[0] + "." + parts[1];
      subWriteLog("\tMSG : strVersion :" + s.strVersion);
    }
    return true;
  } catch (const Failure& f) {
    logError("\tERR: Error In Function fncGetWMIVersion :", f);
  } catch (const std::exception& ex) {
    logError("\tERR: Error In Function fncGetWMIVersion :", failureOf(ex));
  }
  return false;
}

void fncGetAPIVersion() {
  VersionState& s = state();
  try {
    plat::OsVersion v;
    // The version call answers non-zero on success.
    const int ret = plat::getOsVersion(&v) == 0 ? 1 : 0;
    subWriteLog("\tMSG: ret& : " + std::to_string(ret));
    if (ret == 0) {
      plat::showMessageBox("Error Getting Version Information", plat::programName());
      return;
    }
    s.strVersion = std::to_string(v.major) + "." + std::to_string(v.minor);
    subWriteLog("\tMSG: strVersion In fncGetAPIVersion Function :" + s.strVersion);
    std::string name = fncOSNameOfVersion(s.strVersion);
    if (!name.empty()) s.strOSName = name;
    subWriteLog("\tMSG: strOSName In fncGetAPIVersion Function :" + s.strOSName);
  } catch (const std::exception& ex) {
    logError("\tERR: Error In fncGetAPIVersion Function :", failureOf(ex));
  }
}

void fncCreateRegistry() {
  VersionState& s = state();
  const char* const kError = "\tERR: Error In fncCreateRegistry Function :";
  plat::RegKey software = 0;
  plat::RegKey version = 0;
  bool softwareOpen = false;
  bool versionOpen = false;
  try {
    uint32_t rc = s.registry.open(plat::hklm(), kSoftwareKey, &software);
    softwareOpen = rc == 0;
    subWriteLog("\tMSG : lngRetVal :" + std::to_string(rc));
    if (rc == 0) {
      rc = s.registry.create(software, kVersionKey, &version);
      versionOpen = rc == 0;
      // A failed step gets the error entry, not a success entry.
      if (rc == 0) {
        subWriteLog("\tMSG : Registry Folder Created -VelkVersion ");
        rc = s.registry.setString(version, kVersionValue, s.strVersion);
        if (rc == 0) {
          subWriteLog("\tMSG : Registry Key  strVersion Created Sucessfully");
        } else {
          logError(kError, {static_cast<int32_t>(rc), systemText(rc)});
        }
        rc = s.registry.setString(version, kOSNameValue, s.strOSName);
        if (rc == 0) {
          subWriteLog("\tMSG : Registry Key  strOSName Created Sucessfully");
        } else {
          logError(kError, {static_cast<int32_t>(rc), systemText(rc)});
        }
      } else {
        logError(kError, {static_cast<int32_t>(rc), systemText(rc)});
      }
    }
  } catch (const std::exception& ex) {
    logError(kError, failureOf(ex));
  }
  // Each key that was opened is closed once.
  if (versionOpen) s.registry.close(version);
  if (softwareOpen) s.registry.close(software);
}

void Main() {
  VersionState& s = state();
  try {
    subOpenLog();
    subWriteLog("\tMSG : Application Strated...");
    if (s.log.isOpen()) s.log.writeLine(kEqualsLine);
    subWriteLog("\tMSG : Calling Function fncGetWMIVersion ");
    if (!fncGetWMIVersion()) {
      subWriteLog("\tMSG : Calling fncGetAPIVersion Function ");
      fncGetAPIVersion();
      subWriteLog("\tMSG : Calling fncCreateRegistry Function ");
      fncCreateRegistry();
    }
    subWriteLog("\tMSG :  " + s.strVersion + s.strOSName);
    fncCreateRegistry();
    subWriteLog("\tMSG :Application Stopped !!!  ");
  } catch (const std::exception& ex) {
    logError("\tERR :  Erroa In Sub Main : ", failureOf(ex));
  }
  s.log.close();
}

}  // namespace zuvoze::osstamp

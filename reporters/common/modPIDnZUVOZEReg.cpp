// modPIDnZUVOZEReg: the agent-key reader, the registry value reader, the system
// message text and the readers of the LogMeIn host identifier.
#include <cstdlib>
#include <vector>

#include "reporters.h"
#include "zuvoze/platform/message.h"

namespace zuvoze::reporters {

namespace {

bool isStringType(uint32_t type) {
  return type == plat::kRegSz || type == plat::kRegExpandSz || type == plat::kRegMultiSz;
}

std::string upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

struct OpenAttempt {
  plat::RegAccess access;
  plat::RegView view;
};

// The opening attempts of a host-identifier reader; the next one is tried only
// when an opening fails. Returns the code of the last attempt.
uint32_t openWithAttempts(const std::string& keyPath, const std::vector<OpenAttempt>& attempts,
                          plat::RegKey* key) {
  uint32_t rc = plat::kErrFileNotFound;
  for (const OpenAttempt& a : attempts) {
    rc = plat::regOpenKey(plat::hklm(), keyPath, a.access, a.view, key);
    if (rc == plat::kOk) return rc;
  }
  return rc;
}

bool readNumHostID(const std::string& keyPath, const std::vector<OpenAttempt>& attempts) {
  plat::RegKey key = 0;
  try {
    subWriteMsg("Opening Registry key " + keyPath);
    uint32_t rc = openWithAttempts(keyPath, attempts, &key);
    if (rc != plat::kOk) {
      key = 0;
      if (rc == plat::kErrFileNotFound) {
        subWriteMsg("Registry Not Found " + keyPath);
        subWriteErr("Unable to locate registry entries for " + keyPath + ". ERRDesc : " +
                    fncFormatMessage("2"));
      } else {
        subWriteMsg("Else part Registry Found " + keyPath);
        subWriteErr("Unable to open  registry entries for " + keyPath + ". ERRDesc : " +
                    fncFormatMessage(std::to_string(rc)));
      }
      return false;
    }
    subWriteMsg("Registry Found " + keyPath);
    if (upper(trimBlanks(keyPath)) == "SOFTWARE\\LOGMEIN\\V5\\WEBSVC") {
      AgentIdentity.NumHostID = fncGetRegValue(key, "NumHostID");
      subWriteMsg("NumHostID :: " + AgentIdentity.NumHostID);
    }
    plat::regCloseKey(key);
    return true;
  } catch (...) {
    if (key != 0) plat::regCloseKey(key);
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("fncGetRegInfo () - ErrDesc :: " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

}  // namespace

bool fncGetRegInfo(const std::string& keyPath) {
  plat::RegKey key = 0;
  try {
    subWriteMsg("Opening Registry key " + keyPath);
    uint32_t rc = plat::regOpenKey(plat::hklm(), keyPath, plat::RegAccess::Read,
                                   plat::RegView::Default, &key);
    if (rc != plat::kOk) {
      key = 0;
      if (rc == plat::kErrFileNotFound) {
        subWriteErr("Unable to locate VelkMobile registry entries for " + keyPath +
                    ". ERRDesc : " + fncFormatMessage("2"));
      } else {
        subWriteErr("Unable to open VelkMobile registry entries for " + keyPath +
                    ". ERRDesc : " + fncFormatMessage(std::to_string(rc)));
      }
      return false;
    }
    if (trimBlanks(keyPath) != "SOFTWARE\\ZUVOZE") {
      plat::regCloseKey(key);
      return true;
    }
    std::string path = fncGetRegValue(key, "InstallationPath");
    subWriteMsg("InstallationPath :: " + path);
    std::string trimmed = trimBlanks(path);
    if (!trimmed.empty() && trimmed.back() != '\\') path += "\\";
    AgentIdentity.InstallationPath = path;

    AgentIdentity.REGID = fncGetRegValue(key, "REGID");
    subWriteMsg("REGID :: " + AgentIdentity.REGID);
    AgentIdentity.Type = fncGetRegValue(key, "Type");
    subWriteMsg("RegType :: " + AgentIdentity.Type);
    if (runState().tool == Tool::GrantPost) {
      AgentIdentity.MEMBERID = fncGetRegValue(key, "MEMBERID");
      subWriteMsg("MEMBERID :: " + AgentIdentity.MEMBERID);
      AgentIdentity.SiteId = fncGetRegValue(key, "SiteId");
      subWriteMsg("SITEID :: " + AgentIdentity.SiteId);
    } else {
      subWriteMsg("End ZUVOZE Registry");
    }
    plat::regCloseKey(key);
    return true;
  } catch (...) {
    if (key != 0) plat::regCloseKey(key);
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("fncGetRegInfo () - ErrDesc :: " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

std::string fncGetRegValue(plat::RegKey key, const std::string& name) {
  uint32_t type = 0;
  uint32_t size = 0;
  uint32_t rc = plat::regQueryValue(key, name, &type, &size);
  if (rc != plat::kOk) {
    subWriteErr("Failed to read Registry key " + name + ". ERRDesc :: " +
                fncFormatMessage(std::to_string(rc)));
    return "";
  }
  std::string text;
  if (isStringType(type)) {
    std::string buffer(size, '\0');
    uint32_t got = size;
    rc = plat::regGetValue(key, name, &type, buffer.empty() ? nullptr : &buffer[0], &got);
    if (rc == plat::kOk) text = fncTrimNull(buffer);
  } else {
    uint32_t number = 0;
    uint32_t got = sizeof(number);
    rc = plat::regGetValue(key, name, &type, &number, &got);
    if (rc == plat::kOk) text = fncTrimNull(std::to_string(static_cast<int32_t>(number)));
  }
  if (rc != plat::kOk) {
    subWriteErr("Failed to read Registry key " + name + ". ERRDesc - " +
                fncFormatMessage(std::to_string(rc)));
    return "";
  }
  return text;
}

std::string fncFormatMessage(const std::string& codeText) {
  try {
    long long code = std::strtoll(codeText.c_str(), nullptr, 10);
    return plat::paddedSystemMessage(static_cast<uint32_t>(code));
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("fncFormatMessage () - ErrDesc :: " + std::to_string(e.number) + " " +
                e.description);
    return "";
  }
}

std::string fncTrimNull(const std::string& s) {
  size_t nul = s.find('\0');
  return nul == std::string::npos ? s : s.substr(0, nul);
}

bool fncGetNumHostID(const std::string& keyPath) {
  return readNumHostID(keyPath, {{plat::RegAccess::Full, plat::RegView::View64}});
}

bool fncGetNumHostID2000(const std::string& keyPath) {
  if (runState().tool == Tool::HostIdPost) {
    return readNumHostID(keyPath, {{plat::RegAccess::Read, plat::RegView::Both},
                                   {plat::RegAccess::Read, plat::RegView::Default}});
  }
  return readNumHostID(keyPath, {{plat::RegAccess::Read, plat::RegView::View64},
                                 {plat::RegAccess::Read, plat::RegView::View64}});
}

std::string readStringValueOf(plat::RegKey key, const std::string& name) {
  // Ask with an empty buffer first; the answer "more data" announces the size.
  char probe = 0;
  uint32_t type = 0;
  uint32_t size = 0;
  std::string buffer;
  uint32_t rc = plat::regGetValue(key, name, &type, &probe, &size);
  if (rc == plat::kErrMoreData) {
    buffer.assign(size, '\0');
    uint32_t got = size;
    rc = plat::regGetValue(key, name, &type, buffer.empty() ? nullptr : &buffer[0], &got);
    if (rc == plat::kOk && got < buffer.size()) buffer.resize(got);
  }
  if (rc == plat::kErrFileNotFound) return "";
  if (rc == plat::kOk) return buffer.empty() ? "" : buffer.substr(0, buffer.size() - 1);
  return buffer;
}

}  // namespace zuvoze::reporters

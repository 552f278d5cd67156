// The merger's surroundings: the agent key, INI access, short paths, system
// message texts and the small text helpers the procedures share.
#include "merger/env.h"

#include <cctype>
#include <cstdint>
#include <exception>

#include "merger/driver.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::merger {

namespace {

constexpr const char* kAgentKey = "SOFTWARE\\ZUVOZE";
// The profile buffers start at this size and grow until the whole value or
// listing fits.
constexpr uint32_t kIniBuffer = 5000;
// A value or listing never grows beyond this (the INI files are small; this
// only bounds a pathological file).
constexpr uint32_t kIniBufferLimit = 64u * 1024u * 1024u;

// One of ReadRegistry's early ends: the messages, then the program ends with
// the log left open in the program folder.
[[noreturn]] void endRegistryRead(const char* first, const char* second) {
  WriteLog(first);
  WriteLog(second);
  throw ProgramEnd{kExitRegistryEnd};
}

}  // namespace

void ReadRegistry() {
  RunState& r = run();
  try {
    r.agentType = trim(fncRegQueryKey(plat::hklm(), kAgentKey, "TYPE"));
    if (r.agentType.empty())
      endRegistryRead("MSG : Agent Type is missing in Registry. ", "MSG : Application End.");
    r.regid = trim(fncRegQueryKey(plat::hklm(), kAgentKey, "REGID"));
    if (r.regid.empty()) endRegistryRead("MSG : Regid path is missing", "MSG : Application stopped");
    r.installationPath = trim(fncRegQueryKey(plat::hklm(), kAgentKey, "InstallationPath"));
    if (r.installationPath.empty())
      endRegistryRead("MSG : ZUVOZE Installation path is missing", "MSG : Application stopped");
    if (r.installationPath.back() != '\\') r.installationPath += '\\';
    WriteLog("MSG : ZUVOZE Installation Path :--> " + r.installationPath);
    WriteLog("MSG : REGID :--> " + r.regid);
    WriteLog("MSG : Agent Type :--> " + r.agentType);
  } catch (const ProgramEnd&) {
    throw;
  } catch (const std::exception& e) {
    const auto* me = dynamic_cast<const MergeError*>(&e);
    r.success = false;
    WriteLog(std::string("MSG : Errin ReadRegistry() Function :--> ") +
             (me ? me->description : std::string(e.what())));
    WriteLog("MSG : Application stopped");
    throw ProgramEnd{kExitRegistryEnd};
  }
}

std::string fncRegQueryKey(plat::RegKey root, const std::string& keyPath,
                           const std::string& valueName) {
  // The agent writes its key as a 32-bit program; read it in that view.
  plat::RegKey key = 0;
  if (plat::regOpenKey(root, keyPath, plat::RegAccess::Read, plat::RegView::View32, &key) != 0)
    return "";
  std::string value;
  try {
    value = fncRegQueryValue(key, valueName);
  } catch (...) {
    value.clear();
  }
  plat::regCloseKey(key);
  return value;
}

std::string fncRegQueryValue(plat::RegKey key, const std::string& valueName) {
  try {
    uint32_t type = 0, size = 0;
    if (plat::regQueryValue(key, valueName, &type, &size) != 0) return "";
    if (type == plat::kRegSz || type == plat::kRegExpandSz) {
      if (size == 0) return "";
      std::string buf(size, '\0');
      uint32_t got = size;
      if (plat::regGetValue(key, valueName, &type, &buf[0], &got) != 0) return "";
      return fncTrimNull(buf);
    }
    if (type == plat::kRegBinary) {
      // Up to four bytes, read as a little-endian 32-bit number; longer raw
      // values do not fit the number and read as empty.
      if (size > 4) return "";
      unsigned char bytes[4] = {0, 0, 0, 0};
      uint32_t got = 4;
      if (plat::regGetValue(key, valueName, &type, bytes, &got) != 0) return "";
      uint32_t number = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                        (static_cast<uint32_t>(bytes[2]) << 16) |
                        (static_cast<uint32_t>(bytes[3]) << 24);
      int16_t low = static_cast<int16_t>(static_cast<uint16_t>(number & 0xFFFFu));
      return std::to_string(low);
    }
    return "";
  } catch (const std::exception& e) {
    const auto* me = dynamic_cast<const MergeError*>(&e);
    WriteLog("Err : Err Number :--> " + std::to_string(me ? me->number : 7) +
             " Err Description :--> " + (me ? me->description : std::string(e.what())));
    return "";
  }
}

// The original program repaired the registration of the scripting runtime
// whose file-system object it used for its file work. Our file work goes
// through the platform layer on every backend and needs no component, so there
// is nothing to check or repair: no regsvr32 is ever started.
void fncCheckScriptRuntime() {}

std::string fncReadINI(const std::string& section, const std::string& key,
                       const std::string& file) {
  std::string result;
  try {
    // A value is cut when the count returned reaches the buffer size less two:
    // grow the buffer and read again until the whole value fits.
    uint32_t size = kIniBuffer;
    std::string buf;
    uint32_t count = 0;
    for (;;) {
      buf.assign(size, '\0');
      count = plat::getPrivateProfileString(section.c_str(), key.c_str(), "", &buf[0], size, file);
      if (count + 2 < size || size >= kIniBufferLimit) break;
      size *= 2;
    }
    if (count > size) count = size;
    result = trim(buf.substr(0, count));
  } catch (...) {
    result.clear();
  }
  plat::sleepMs(5);
  return result;
}

std::string fncGetSectionNames(const std::string& file) {
  try {
    // A listing is cut when the count returned is the buffer size less two.
    uint32_t size = kIniBuffer;
    std::string buf;
    uint32_t count = 0;
    for (;;) {
      buf.assign(size, '\0');
      count = plat::getPrivateProfileSectionNames(&buf[0], size, file);
      if (count + 2 != size || size >= kIniBufferLimit) break;
      size *= 2;
    }
    if (count > size) count = size;
    return buf.substr(0, count);
  } catch (...) {
    return "";
  }
}

std::vector<std::string> splitNames(const std::string& listing) {
  std::vector<std::string> parts;
  if (listing.empty()) return parts;
  return splitAt(listing, '\0');
}

std::string GetShortpath(const std::string& path) {
  try {
    return plat::shortPath(path);
  } catch (...) {
    return "";
  }
}

std::string fncTrimNull(const std::string& text) {
  size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string fncFormatMessage(const std::string& codeText) {
  try {
    // A 32-bit number: a negative code stands for the same bits as unsigned.
    std::string t = trim(codeText);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    if (i == t.size()) raise(kErrTypeMismatch);
    int64_t value = 0;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') raise(kErrTypeMismatch);
      value = value * 10 + (t[i] - '0');
      if (value > 0xFFFFFFFFLL) raise(kErrOverflow);
    }
    if (negative) {
      if (value > 0x80000000LL) raise(kErrOverflow);
      value = -value;
    }
    return plat::paddedSystemMessage(static_cast<uint32_t>(value));
  } catch (const MergeError& e) {
    WriteLog("fncFormatMessage () - ErrDesc :: " + std::to_string(e.number) + " " + e.description);
    return "";
  } catch (const std::exception& e) {
    WriteLog(std::string("fncFormatMessage () - ErrDesc :: 7 ") + e.what());
    return "";
  }
}

namespace {
std::string g_programFolderForTest;
}

void setProgramFolderForTest(const std::string& folder) { g_programFolderForTest = folder; }

std::string programFile(const std::string& name) {
  const std::string folder =
      g_programFolderForTest.empty() ? plat::programFolder() : g_programFolderForTest;
  return GetShortpath(folder) + "\\" + name;
}

std::string trim(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

std::string upper(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && upper(a) == upper(b);
}

// Every separator starts a new element: "a,b," gives "a", "b", "". The empty
// text gives one empty element, so element 0 always exists.
std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(separator, start);
    if (pos == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

}  // namespace zuvoze::merger

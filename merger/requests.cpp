// Reading one request item of the change-request files.
#include "merger/requests.h"

#include <vector>

#include "merger/env.h"
#include "merger/numconv.h"
#include "zuvoze/platform/profile.h"

namespace zuvoze::merger {

namespace {

bool endsWithExe(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
}

// A raw profile read into a buffer of the given size, cut at its first NUL.
std::string readRaw(const char* section, const char* key, const char* def, uint32_t size,
                    const std::string& file) {
  std::string buf(size, '\0');
  plat::getPrivateProfileString(section, key, def, &buf[0], size, file);
  return fncTrimNull(buf);
}

// A raw profile read of the whole value, however long (the buffer grows while
// the value fills it), cut at its first NUL.
std::string readWhole(const char* section, const char* key, const char* def,
                      const std::string& file) {
  uint32_t size = 256;
  std::string buf;
  for (;;) {
    buf.assign(size, '\0');
    uint32_t n = plat::getPrivateProfileString(section, key, def, &buf[0], size, file);
    if (n + 2 < size || size >= (64u << 20)) break;
    size *= 4;
  }
  return fncTrimNull(buf);
}

// The key names of a section (the whole listing).
std::vector<std::string> keyNames(const std::string& section, const std::string& file) {
  uint32_t size = 5000;
  std::string buf;
  uint32_t count = 0;
  for (;;) {
    buf.assign(size, '\0');
    count = plat::getPrivateProfileString(section.c_str(), nullptr, "", &buf[0], size, file);
    if (count + 2 != size || size >= (64u << 20)) break;
    size *= 2;
  }
  if (count > size) count = size;
  return splitNames(buf.substr(0, count));
}

}  // namespace

std::string addSectionFile() { return programFile("AddSection.ini"); }
std::string deleteSectionFile() { return programFile("DeleteSection.ini"); }

SchedulerRequest readSchedulerRequest(const std::string& file, const std::string& section,
                                      bool forAddition) {
  SchedulerRequest r;
  r.executableName = fncReadINI(section, "ExecutableName", file);
  r.interval = fncReadINI(section, "Interval", file);
  if (forAddition && r.interval.empty()) r.interval = "0";
  r.parameter = fncReadINI(section, "Parameter", file);
  r.startTime = fncReadINI(section, "StartTime", file);
  r.endTime = fncReadINI(section, "EndTime", file);
  r.weekDays = fncReadINI(section, "WeekDays", file);
  return r;
}

bool isValidSchedulerRequest(const SchedulerRequest& r) {
  return !r.startTime.empty() && !r.executableName.empty() && !r.endTime.empty() &&
         !r.weekDays.empty() && endsWithExe(r.executableName);
}

ProcessRequest readProcessRequest(const std::string& file, const std::string& section,
                                  bool forAddition) {
  ProcessRequest r;
  r.applicationName = fncReadINI(section, "ApplicationName", file);
  if (forAddition) r.description = fncReadINI(section, "Description", file);
  r.processName = fncReadINI(section, "ProcessName", file);
  r.parameter = fncReadINI(section, "Parameter", file);
  r.days = fncReadINI(section, "Days", file);
  r.type = fncReadINI(section, "Type", file);
  if (forAddition) r.minAge = fncReadINI(section, "MinAge", file);
  r.expectedTime = fncReadINI(section, "ExpectedTime", file);
  return r;
}

bool isValidProcessRequest(const ProcessRequest& r) {
  return !r.days.empty() && !r.type.empty() && !r.applicationName.empty() &&
         !r.processName.empty() && !r.expectedTime.empty() && endsWithExe(r.processName);
}

FireRequest readFireRequest(const std::string& file, int i) {
  const std::string n = std::to_string(i);
  const std::string exeKey = "Exe" + n, toKey = "Exe" + n + "TO", pmKey = "Exe" + n + "PM";
  FireRequest r;
  r.exe = readWhole("DCConnURL", exeKey.c_str(), "Default", file);
  r.to = readWhole("DCConnURL", toKey.c_str(), "Default", file);
  r.pm = readWhole("DCConnURL", pmKey.c_str(), "Default", file);
  bool any = false;
  for (const std::string& k : keyNames("DCConnURL", file))
    if (equalsNoCase(k, exeKey) || equalsNoCase(k, toKey) || equalsNoCase(k, pmKey)) any = true;
  r.allMissing = !any;
  return r;
}

int readFireRequestCount(const std::string& file) {
  return toCountLenient(readRaw("DCConnURL", "Exe2Fire", "", 1000, file));
}

}  // namespace zuvoze::merger

// A small agent installation for the scheduler table's tests: a program
// folder holding the run log and the request files, an installation folder
// with Configuration\VELKScheduler.ini and its backup, the run state set up
// as the driver leaves it before the scheduler phase, and no pauses.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "merger/env.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger::testing {

namespace zt = zuvoze::testing;

// One schedule: the six values in the table's key order.
struct Sched {
  std::string exe, param, start, end, interval, days;
};

inline const char* const kSchedKeys[6] = {"ExecutableName", "Parameter", "StartTime",
                                          "EndTime",        "Interval",  "WeekDays"};

inline std::vector<std::string> valuesOf(const Sched& s) {
  return {s.exe, s.param, s.start, s.end, s.interval, s.days};
}

// A canonical section: header and the six key lines.
inline std::string sectionText(const std::string& name, const Sched& s,
                               const std::string& extraLines = "") {
  std::string out = "[" + name + "]\r\n";
  const std::vector<std::string> v = valuesOf(s);
  for (int k = 0; k < 6; ++k) out += std::string(kSchedKeys[k]) + "=" + v[k] + "\r\n";
  return out + extraLines;
}

// A table in settled form with sections 1..n, as the renumbering writes it.
inline std::string settledTable(const std::vector<Sched>& schedules) {
  std::string out;
  for (size_t i = 0; i < schedules.size(); ++i)
    out += sectionText(std::to_string(i + 1), schedules[i]) + "\r\n\r\n";
  return out;
}

// A change-request file: the count section (named countSection) with
// VELKScheduler = count, then one section per request.
inline std::string requestFile(const std::string& count, const std::vector<Sched>& requests,
                               const std::string& countSection = "INI") {
  std::string out = "[" + countSection + "]\r\nVELKScheduler=" + count + "\r\nVELKDefaultExe=0\r\n";
  for (size_t i = 0; i < requests.size(); ++i)
    out += sectionText("Schedule" + std::to_string(i + 1), requests[i]);
  return out;
}

// What a table holds, read back through the profile functions: the sections
// in file order, each with its key lines.
using Readback = std::vector<std::pair<std::string, std::vector<std::string>>>;

inline Readback readBack(const std::string& file) {
  Readback out;
  std::string names(1 << 20, '\0');
  uint32_t n = plat::getPrivateProfileSectionNames(&names[0], static_cast<uint32_t>(names.size()), file);
  names.resize(n);
  for (const std::string& name : splitNames(names)) {
    if (name.empty()) continue;
    std::string lines(1 << 16, '\0');
    uint32_t m = plat::getPrivateProfileSection(name.c_str(), &lines[0],
                                                static_cast<uint32_t>(lines.size()), file);
    lines.resize(m);
    std::vector<std::string> keys;
    for (const std::string& l : splitNames(lines))
      if (!l.empty()) keys.push_back(l);
    out.emplace_back(name, keys);
  }
  return out;
}

// The key lines of a schedule as the profile functions give them back.
inline std::vector<std::string> keyLines(const Sched& s) {
  std::vector<std::string> out;
  const std::vector<std::string> v = valuesOf(s);
  for (int k = 0; k < 6; ++k) out.push_back(std::string(kSchedKeys[k]) + "=" + v[k]);
  return out;
}

inline Readback settledReadback(const std::vector<Sched>& schedules) {
  Readback out;
  for (size_t i = 0; i < schedules.size(); ++i)
    out.emplace_back(std::to_string(i + 1), keyLines(schedules[i]));
  return out;
}

// A run log as lines, each log entry without its time stamp and TAB (a
// separator shows as two empty lines).
inline std::vector<std::string> logLinesOf(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t tab = line.find('\t');
    out.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    start = end + 2;
  }
  return out;
}

// Each expected line occurs, in this order (other lines may stand between).
inline void expectLinesInOrder(const std::vector<std::string>& lines,
                               const std::vector<std::string>& expected,
                               const std::string& whole) {
  size_t at = 0;
  for (const std::string& e : expected) {
    size_t i = at;
    while (i < lines.size() && lines[i] != e) ++i;
    if (i == lines.size()) {
      ADD_FAILURE() << "log line missing (or out of order): \"" << e << "\"\nlog:\n" << whole;
      return;
    }
    at = i + 1;
  }
}

class SchedulerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    resetRunState();
    plat::setSleepHook([](uint32_t) {});
    zt::makeDirs(dir_.sub("agent\\Configuration"));
    zt::makeDirs(dir_.sub("prog"));
    install_ = dir_.sub("agent") + "\\";
    setProgramFolderForTest(dir_.sub("prog"));
    RunState& r = run();
    r.installationPath = install_;
    ASSERT_EQ(openRunLog(), 0u);
    r.success = true;
    r.summary = "VELKScheduler : ";
  }
  void TearDown() override {
    resetRunState();
    setProgramFolderForTest("");
    plat::setSleepHook(nullptr);
  }

  std::string config(const std::string& name) const { return install_ + "Configuration\\" + name; }
  std::string table() const { return config("VELKScheduler.ini"); }
  std::string backup() const { return config("Bkp_VELKScheduler.ini"); }
  std::string prog(const std::string& name) const { return dir_.sub("prog\\" + name); }

  // The table and its run backup, as the driver leaves them after its backups.
  void givenTable(const std::string& bytes) {
    zt::writeFile(table(), bytes);
    zt::writeFile(backup(), bytes);
  }
  void givenAdd(const std::string& bytes) { zt::writeFile(prog("AddSection.ini"), bytes); }
  void givenDelete(const std::string& bytes) { zt::writeFile(prog("DeleteSection.ini"), bytes); }

  std::string tableBytes() const { return zt::readFile(table()); }
  std::string logBytes() const { return zt::readFile(prog("Add_Delete_IniLog.txt")); }

  std::vector<std::string> logLines() const { return logLinesOf(logBytes()); }
  void expectLogInOrder(const std::vector<std::string>& expected) const {
    expectLinesInOrder(logLines(), expected, logBytes());
  }
  // Expected lines name the installation folder as <install>.
  std::vector<std::string> withInstall(std::vector<std::string> lines) const {
    for (std::string& l : lines)
      for (size_t at; (at = l.find("<install>")) != std::string::npos;) l.replace(at, 9, install_);
    return lines;
  }
  bool logHas(const std::string& line) const {
    for (const std::string& l : logLines())
      if (l == line) return true;
    return false;
  }
  bool logHasPrefix(const std::string& prefix) const {
    for (const std::string& l : logLines())
      if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }

  zt::TempDir dir_;
  std::string install_;
};

}  // namespace zuvoze::merger::testing

// The process table VELKDefaultExe.ini: lookup, adder, deleter and
// renumbering, called directly on a table in a temporary installation folder,
// with the run log in the same folder and the 5 ms pauses taken away.
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/process.h"
#include "merger/runstate.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::readFile;
using testing::writeFile;

using Keys = std::vector<std::pair<std::string, std::string>>;

// One section of a canonical INI text.
std::string section(const std::string& name, const Keys& keys) {
  std::string s = "[" + name + "]\r\n";
  for (const auto& [k, v] : keys) s += k + "=" + v + "\r\n";
  return s;
}

// A process section in the settled layout.
std::string processSection(const std::string& name, const std::string& app,
                           const std::string& exe, const std::string& param,
                           const std::string& days, const std::string& type = "1",
                           const std::string& minAge = "", const std::string& expected = "10",
                           const std::string& description = "") {
  return section(name, {{"ApplicationName", app},
                        {"Description", description},
                        {"ProcessName", exe},
                        {"Parameter", param},
                        {"WorkingDir", ""},
                        {"Days", days},
                        {"Type", type},
                        {"MinAge", minAge},
                        {"ExpectedTime", expected},
                        {"Display", "Yes"}});
}

// A process request of AddSection.ini / DeleteSection.ini.
std::string processRequest(const std::string& name, const std::string& app, const std::string& exe,
                           const std::string& param, const std::string& days,
                           const std::string& type = "1", const std::string& minAge = "",
                           const std::string& expected = "10",
                           const std::string& description = "") {
  return section(name, {{"ApplicationName", app},
                        {"Description", description},
                        {"ProcessName", exe},
                        {"Parameter", param},
                        {"Days", days},
                        {"Type", type},
                        {"MinAge", minAge},
                        {"ExpectedTime", expected}});
}

std::string countSection(int schedules, const std::string& processes) {
  return section("INI", {{"VELKScheduler", std::to_string(schedules)}, {"VELKDefaultExe", processes}});
}

std::string schedulerRequest(const std::string& name) {
  return section(name, {{"ExecutableName", "sched.exe"},
                        {"Parameter", ""},
                        {"StartTime", "08:00"},
                        {"EndTime", "18:00"},
                        {"Interval", "5"},
                        {"WeekDays", "1234567"}});
}

// A read-only file stands for a locked one: it can be neither written nor
// replaced.
void setReadOnly(const std::string& path, bool readOnly) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
  std::filesystem::permissions(
      plat::hostPath(path),
      readOnly ? std::filesystem::perms::owner_read : std::filesystem::perms::owner_all,
      std::filesystem::perm_options::replace);
#endif
}

const std::string kSettings3 = section("Settings", {{"ProcessCount", "3"}});

class ProcessTable : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::setSleepHook([this](uint32_t ms) { pausedMs += ms; });
    freshRun();
  }
  // A run state as the driver hands it to the table procedures, with a new log.
  void freshRun() {
    resetRunState();
    run().installationPath = dir.path() + "\\";
    run().success = true;
    run().summary = "S:";
    ASSERT_EQ(0u, run().log.open(logPath(), plat::TextStream::Mode::CreateOverwrite));
  }
  void TearDown() override {
    resetRunState();
    plat::setSleepHook(nullptr);
  }

  std::string path(const std::string& name) const { return run().installationPath + name; }
  std::string logPath() const { return path("Add_Delete_IniLog.txt"); }
  std::string addFile() const { return path("AddSection.ini"); }
  std::string deleteFile() const { return path("DeleteSection.ini"); }
  std::string table() const { return processTableFile(); }

  // The table and the run's backup of it, as the driver leaves them.
  void writeTable(const std::string& text) {
    writeFile(table(), text);
    writeFile(processBackupFile(), text);
  }

  // The log as lines, time stamps cut off (a log entry is stamp, TAB, text).
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    std::string text = readFile(logPath());
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t tab = line.find('\t');
      lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
      start = end + 2;
    }
    return lines;
  }
  // Only the log entries (lines with a time stamp).
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    std::string text = readFile(logPath());
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t tab = line.find('\t');
      if (tab != std::string::npos) out.push_back(line.substr(tab + 1));
      start = end + 2;
    }
    return out;
  }
  bool logHas(const std::string& text) const {
    return readFile(logPath()).find(text) != std::string::npos;
  }
  void restartLog() {
    run().log.close();
    ASSERT_EQ(0u, run().log.open(logPath(), plat::TextStream::Mode::CreateOverwrite));
  }

  // What a profile read gives back (for comparisons that hold on every backend).
  static std::vector<std::string> sectionsOf(const std::string& file) {
    std::vector<std::string> names = splitNames(fncGetSectionNames(file));
    if (!names.empty()) names.pop_back();
    return names;
  }
  static std::vector<std::string> keysOf(const std::string& file, const std::string& sec) {
    std::string buf(65536, '\0');
    uint32_t n = plat::getPrivateProfileString(sec.c_str(), nullptr, "", &buf[0],
                                               static_cast<uint32_t>(buf.size()), file);
    std::vector<std::string> keys = splitNames(buf.substr(0, n));
    if (!keys.empty()) keys.pop_back();
    return keys;
  }
  static std::string valueOf(const std::string& file, const std::string& sec,
                             const std::string& key) {
    std::string buf(65536, '\0');
    uint32_t n = plat::getPrivateProfileString(sec.c_str(), key.c_str(), "", &buf[0],
                                               static_cast<uint32_t>(buf.size()), file);
    return buf.substr(0, n);
  }

  // The file holds what the canonical text says: on the posix engine byte for
  // byte; on every backend section by section, key by key, in order.
  void expectIni(const std::string& file, const std::string& expected) const {
#ifndef _WIN32
    EXPECT_EQ(expected, readFile(file)) << file;
#endif
    std::vector<std::string> wantSections;
    std::map<std::string, Keys> want;
    std::string current;
    size_t start = 0;
    while (start < expected.size()) {
      size_t end = expected.find("\r\n", start);
      std::string line = expected.substr(start, end - start);
      start = end + 2;
      if (line.empty()) continue;
      if (line[0] == '[') {
        current = line.substr(1, line.size() - 2);
        wantSections.push_back(current);
        want[current];
      } else {
        size_t eq = line.find('=');
        want[current].push_back({line.substr(0, eq), line.substr(eq + 1)});
      }
    }
    ASSERT_EQ(wantSections, sectionsOf(file)) << file;
    for (const std::string& s : wantSections) {
      std::vector<std::string> wantKeys;
      for (const auto& kv : want[s]) wantKeys.push_back(kv.first);
      EXPECT_EQ(wantKeys, keysOf(file, s)) << "keys of [" << s << "]";
      for (const auto& [k, v] : want[s]) EXPECT_EQ(v, valueOf(file, s, k)) << s << "." << k;
    }
  }

  testing::TempDir dir;
  uint64_t pausedMs = 0;
};

// The table of most tests: Settings and three processes, the last two with the
// same identity.
const std::string kTable = kSettings3 + processSection("Process1", "Agent", "agent.exe", "-s", "1") +
                           processSection("Process2", "Mon", "mon.exe", "", "1-7", "2", "5", "60") +
                           processSection("Process3", "Mon", "mon.exe", "", "1-7", "3");

// ---- lookup ---------------------------------------------------------------

TEST_F(ProcessTable, LookupComparesTheFourIdentityValuesWithoutLetterCase) {
  writeTable(kTable);
  struct Case {
    const char* app;
    const char* exe;
    const char* param;
    const char* days;
    const char* answer;
  } cases[] = {
      {"AGENT", "AGENT.EXE", "-S", "1", "TRUE,Process1"},
      {"Agent", "agent.exe", "-t", "1", "FALSE,Process3"},
      {"Agent", "agent.exe", "-s", "2", "FALSE,Process3"},
      {"Agent", "other.exe", "-s", "1", "FALSE,Process3"},
      {"Other", "agent.exe", "-s", "1", "FALSE,Process3"},
      {"Agent", "agent.exe", "", "1", "FALSE,Process3"},
      {"mon", "MON.EXE", "", "1-7", "TRUE,Process2"},  // the first of two wins
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.answer, chkDefaultExeSection(c.app, c.exe, c.param, c.days))
        << c.app << "," << c.exe << "," << c.param << "," << c.days;
  EXPECT_TRUE(run().success);
}

TEST_F(ProcessTable, LookupNeverComparesTheFirstSection) {
  struct Case {
    std::string text;
    std::string answer;
  } cases[] = {
      {"", "FALSE,-1"},
      {kSettings3, "FALSE,-1"},
      // A process standing first is taken for the settings and never found.
      {processSection("Process1", "Agent", "agent.exe", "-s", "1"), "FALSE,-1"},
      {processSection("Process1", "Agent", "agent.exe", "-s", "1") +
           processSection("Process2", "X", "x.exe", "", "1"),
       "FALSE,Process2"},
  };
  for (const Case& c : cases) {
    writeTable(c.text);
    EXPECT_EQ(c.answer, chkDefaultExeSection("Agent", "agent.exe", "-s", "1")) << c.text;
  }
  plat::deleteFile(table(), true);
  EXPECT_EQ("FALSE,-1", chkDefaultExeSection("Agent", "agent.exe", "-s", "1"));
}

TEST_F(ProcessTable, LookupThatFailsAnswersTrueWithTheSectionBeingExamined) {
  writeTable(kTable);
  // The first value read fails (the pause after it stands for any failure).
  plat::setSleepHook([](uint32_t) { raise(57); });
  EXPECT_EQ("True,Process1", chkDefaultExeSection("Mon", "mon.exe", "", "1-7"));
  plat::setSleepHook(nullptr);
  EXPECT_EQ(std::vector<std::string>{"Err : Err Number :--> 57 Err Description :--> Device I/O error"},
            entries());
  EXPECT_TRUE(run().success);
  EXPECT_EQ("S:", run().summary);
}

// ---- adding ---------------------------------------------------------------

TEST_F(ProcessTable, AdderWritesANewProcessAsTemporarySectionAndLogsEveryStep) {
  writeTable(kTable);
  writeFile(addFile(),
            countSection(1, "3") + schedulerRequest("S1") +
                processRequest("P1", "Notepad", "notepad.exe", "/x", "12", "2", "3", "30", "Editor") +
                // Same identity as Process1 with other Type, MinAge, ExpectedTime,
                // Description: exists, and the stored entry keeps its values.
                processRequest("P2", "agent", "Agent.exe", "-S", "1", "9", "9", "99", "New") +
                processRequest("P3", "Bad", "BAD.EXE", "", "1"));
  addDefaultExeSectionFrom(addFile());

  const std::string p = run().installationPath;
  const std::string stars(40, '*');
  std::vector<std::string> want = {
      stars + "Adding new processes." + stars,
      "",
      "",
      "MSG : Total process in " + p + "VELKDefaultExe.ini is 3",
      "MSG : Total [3] process found in AddSection.ini",
      "MSG : Checking Notepad process exists or not",
      "MSG : Notepad process does not exists.",
      "MSG : Adding :--> Process1 ApplicationName[ Notepad ]",
      "MSG : Adding :--> 1 Description[ Editor ].",
      "MSG : Adding :-->1 ProcessName[ notepad.exe ].",
      "MSG : Adding :-->1 Parameter[ /x ].",
      "MSG : Adding :-->1 WorkingDir[  ].",
      "MSG : Adding :-->1 Days[ 12 ].",
      "MSG : Adding :-->1 Type[ 2 ].",
      "MSG : Adding :-->1 MinAge[ 3 ].",
      "MSG : Adding :-->1 ExpectedTime[ 30 ].",
      "MSG : Adding :-->1 Display[ Yes ].",
      "MSG : Checking agent process exists or not",
      "MSG : agent process exists.",
      "MSG : Checking Bad process exists or not",
      "MSG : BAD.EXE is not valid executable name. jump to next section",
      "",
      "",
      stars + "end of Adding new processes." + stars,
  };
  EXPECT_EQ(want, logLines());
  expectIni(table(), kTable + "\r\n\r\n" +
                         section("1", {{"ApplicationName", "Notepad"},
                                       {"Description", "Editor"},
                                       {"ProcessName", "notepad.exe"},
                                       {"Parameter", "/x"},
                                       {"WorkingDir", ""},
                                       {"Days", "12"},
                                       {"Type", "2"},
                                       {"MinAge", "3"},
                                       {"ExpectedTime", "30"},
                                       {"Display", "Yes"}}));
  EXPECT_EQ(1, run().processAdded);
  EXPECT_EQ(1, run().tempSectionCounter);
  EXPECT_TRUE(run().success);
  EXPECT_EQ("S:", run().summary);
}

TEST_F(ProcessTable, AdderSkipsInvalidRequestsWithEveryReason) {
  const std::string bad = " is not valid executable name. jump to next section";
  struct Case {
    const char* name;
    Keys keys;
    std::vector<std::string> logged;  // after "MSG : Checking ..."
  } cases[] = {
      {"upper-case extension",
       {{"ApplicationName", "N"}, {"ProcessName", "NOTEPAD.EXE"}, {"Days", "1"}, {"Type", "1"},
        {"ExpectedTime", "1"}},
       {"MSG : NOTEPAD.EXE" + bad}},
      {"no extension",
       {{"ApplicationName", "N"}, {"ProcessName", "notepadexe"}, {"Days", "1"}, {"Type", "1"},
        {"ExpectedTime", "1"}},
       {"MSG : notepadexe" + bad}},
      {"no application name",
       {{"ProcessName", "n.exe"}, {"Days", "1"}, {"Type", "1"}, {"ExpectedTime", "1"}},
       {"MSG : strFilename is blank. jump to next section"}},
      {"no process name",
       {{"ApplicationName", "N"}, {"Days", "1"}, {"Type", "1"}, {"ExpectedTime", "1"}},
       {"MSG : ProcessName is blank. jump to next section", "MSG : " + bad}},
      {"days only blanks",
       {{"ApplicationName", "N"}, {"ProcessName", "n.exe"}, {"Days", "   "}, {"Type", "1"},
        {"ExpectedTime", "1"}},
       {"MSG : Days is blank. jump to next section"}},
      {"no type",
       {{"ApplicationName", "N"}, {"ProcessName", "n.exe"}, {"Days", "1"}, {"ExpectedTime", "1"}},
       {"MSG : Type is blank. jump to next section"}},
      {"no expected time",
       {{"ApplicationName", "N"}, {"ProcessName", "n.exe"}, {"Days", "1"}, {"Type", "1"}},
       {"MSG : ExpectedTime is blank. jump to next section"}},
      {"nothing",
       {{"Description", "only this"}},
       {"MSG : strFilename is blank. jump to next section",
        "MSG : ProcessName is blank. jump to next section", "MSG : " + bad,
        "MSG : Days is blank. jump to next section", "MSG : Type is blank. jump to next section",
        "MSG : ExpectedTime is blank. jump to next section"}},
  };
  for (const Case& c : cases) {
    writeTable(kTable);
    writeFile(addFile(), countSection(0, "1") + section("P", c.keys));
    restartLog();
    addDefaultExeSectionFrom(addFile());
    std::vector<std::string> got = entries();
    ASSERT_GE(got.size(), 3u) << c.name;
    EXPECT_EQ(0u, got[2].rfind("MSG : Checking ", 0)) << c.name;
    EXPECT_EQ(c.logged, std::vector<std::string>(got.begin() + 3, got.end())) << c.name;
    EXPECT_EQ(kTable, readFile(table())) << c.name;
    EXPECT_EQ(0, run().processAdded) << c.name;
  }
  EXPECT_TRUE(run().success);
}

TEST_F(ProcessTable, AdderComparesAndStoresValuesWithoutSurroundingBlanks) {
  writeTable(kTable);
  writeFile(addFile(), countSection(0, "2") +
                           // Process1 with blanks around every value: exists.
                           section("P1", {{"ApplicationName", "  Agent "},
                                          {"ProcessName", " agent.exe  "},
                                          {"Parameter", "  -s"},
                                          {"Days", "1  "},
                                          {"Type", " 1"},
                                          {"ExpectedTime", " 10 "}}) +
                           section("P2", {{"ApplicationName", "  Note pad  "},
                                          {"ProcessName", "notepad.exe  "},
                                          {"Parameter", "  a  b  "},
                                          {"Days", " 1 "},
                                          {"Type", " 1 "},
                                          {"ExpectedTime", " 5 "}}));
  addDefaultExeSectionFrom(addFile());
  EXPECT_TRUE(logHas("MSG : Agent process exists."));
  EXPECT_TRUE(logHas("MSG : Adding :-->1 ProcessName[ notepad.exe ]."));
  EXPECT_EQ("Note pad", valueOf(table(), "1", "ApplicationName"));
  EXPECT_EQ("notepad.exe", valueOf(table(), "1", "ProcessName"));
  EXPECT_EQ("a  b", valueOf(table(), "1", "Parameter"));
  EXPECT_EQ(1, run().processAdded);
}

TEST_F(ProcessTable, AdderNumbersTheRunsAdditionsAndFindsItsOwnSections) {
  writeTable(kSettings3);
  writeFile(addFile(), countSection(0, "4") + processRequest("A", "One", "one.exe", "", "1") +
                           processRequest("B", "Two", "two.exe", "", "1") +
                           processRequest("C", "ONE", "ONE.exe", "", "1") +  // the same as A
                           processRequest("D", "Three", "three.exe", "", "1"));
  addDefaultExeSectionFrom(addFile());
  EXPECT_TRUE(logHas("MSG : ONE process exists."));
  std::string want = kSettings3;
  for (auto [n, app] : {std::pair{"1", "One"}, {"2", "Two"}, {"3", "Three"}}) {
    std::string exe = upper(app) == "ONE" ? "one.exe" : upper(app) == "TWO" ? "two.exe" : "three.exe";
    want += "\r\n\r\n" + processSection(n, app, exe, "", "1");
  }
  expectIni(table(), want);
  EXPECT_EQ(3, run().processAdded);
  EXPECT_EQ(3, run().tempSectionCounter);
}

TEST_F(ProcessTable, AdderOnABlankTableStartsWithSectionOne) {
  writeTable("");
  writeFile(addFile(), countSection(0, "1") + processRequest("A", "One", "one.exe", "", "1"));
  addDefaultExeSectionFrom(addFile());
  std::vector<std::string> got = entries();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ("MSG : VELKDefaultExe.ini is blank.", got[0]);
  EXPECT_EQ("MSG : Total process in " + run().installationPath + "VELKDefaultExe.ini is -1", got[1]);
  EXPECT_EQ(std::vector<std::string>{"1"}, sectionsOf(table()));
}

TEST_F(ProcessTable, AdderPassesOverANumberLeftInTheTableByAnEarlierRun) {
  // Section 1 stayed from a run whose renumbering did not complete; a new
  // process must not be written into it.
  const std::string before = kSettings3 + processSection("Process1", "Agent", "agent.exe", "-s", "1") +
                             "\r\n\r\n" + processSection("1", "Left", "left.exe", "", "1");
  writeTable(before);
  writeFile(addFile(), countSection(0, "1") + processRequest("A", "New", "new.exe", "", "2"));
  addDefaultExeSectionFrom(addFile());
  expectIni(table(), before + "\r\n\r\n" + processSection("2", "New", "new.exe", "", "2"));
  EXPECT_TRUE(logHas("MSG : Adding :--> Process2 ApplicationName[ New ]"));
  EXPECT_EQ(1, run().processAdded);
  EXPECT_EQ(2, run().tempSectionCounter);
}

TEST_F(ProcessTable, AdderWithNothingToDo) {
  struct Case {
    std::string request;
    std::string logged;
  } cases[] = {
      {countSection(0, "0") + processRequest("A", "One", "one.exe", "", "1"),
       "MSG : Process count in AddSection.ini = 0. "},
      {"", "MSG : AddSection.ini is blank. Application end."},
  };
  const std::string stars(40, '*');
  for (const Case& c : cases) {
    writeTable(kTable);
    writeFile(addFile(), c.request);
    restartLog();
    addDefaultExeSectionFrom(addFile());
    std::vector<std::string> lines = logLines();
    ASSERT_EQ(8u, lines.size()) << c.logged;
    EXPECT_EQ(c.logged, lines[4]);
    EXPECT_EQ(stars + "end of Adding new processes." + stars, lines[7]);
    EXPECT_EQ(kTable, readFile(table()));
  }
  EXPECT_TRUE(run().success);
  EXPECT_EQ(0, run().processAdded);
}

TEST_F(ProcessTable, AdderFailureRestoresTheBackupAndFailsTheRun) {
  struct Case {
    std::string name;
    std::string request;
    std::string error;
    int added;
  } cases[] = {
      // Two process requests declared, one present: the first is added, then
      // the missing section fails and the restore undoes the addition.
      {"count past the last section",
       countSection(1, "2") + schedulerRequest("S") + processRequest("A", "One", "one.exe", "", "1"),
       "9 Subscript out of range", 1},
      {"no scheduler count",
       section("INI", {{"VELKDefaultExe", "1"}}) + processRequest("A", "One", "one.exe", "", "1"),
       "13 Type mismatch", 0},
      {"process count not a number", countSection(0, "abc"), "13 Type mismatch", 0},
      {"process count out of range", countSection(0, "40000"), "6 Overflow", 0},
      {"first request beyond 32767", countSection(32767, "1"), "6 Overflow", 0},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(freshRun());
    writeTable(kTable);
    writeFile(addFile(), c.request);
    addDefaultExeSectionFrom(addFile());
    const std::string desc = c.error.substr(c.error.find(' ') + 1);
    EXPECT_FALSE(run().success) << c.name;
    EXPECT_EQ("S: " + desc, run().summary) << c.name;
    EXPECT_TRUE(logHas("\tERR : Error in addDefaultExeSection() " + c.error + "\r\n")) << c.name;
    EXPECT_TRUE(logHas("\tMSG : copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini\r\n")) << c.name;
    EXPECT_EQ(kTable, readFile(table())) << c.name;
    EXPECT_EQ(c.added, run().processAdded) << c.name;
    const std::vector<std::string> lines = logLines();
    EXPECT_EQ(std::string(40, '*') + "end of Adding new processes." + std::string(40, '*'),
              lines.back()) << c.name;
  }
}

TEST_F(ProcessTable, AdderWhoseRestoreFailsLeavesTheErrorToTheDriver) {
#ifdef _WIN32
  GTEST_SKIP() << "a read-only file does not stop a write under Wine run as root";
#endif
  writeTable(kTable);
  writeFile(addFile(), countSection(0, "1") + processRequest("A", "One", "one.exe", "", "1"));
  // A read-only table can be neither appended to nor copied over.
  setReadOnly(table(), true);
  EXPECT_THROW(addDefaultExeSectionFrom(addFile()), MergeError);
  setReadOnly(table(), false);
  EXPECT_TRUE(logHas("\tERR : Error in addDefaultExeSection() 70 Permission denied\r\n"));
  EXPECT_FALSE(run().success);
  EXPECT_EQ((std::vector<std::string>{"Settings", "Process1", "Process2", "Process3"}),
            sectionsOf(table()));
}

// ---- deletion -------------------------------------------------------------

TEST_F(ProcessTable, DeleterReadsEveryRequestAfterTheSchedulerRequests) {
  writeTable(kTable);
  writeFile(deleteFile(),
            // The count says 1; all three process sections are read.
            countSection(1, "1") + schedulerRequest("S1") +
                // Process2 in other letter case, other Type and ExpectedTime.
                section("P1", {{"ApplicationName", "MON"},
                               {"ProcessName", "MON.exe"},
                               {"Parameter", ""},
                               {"Days", "1-7"},
                               {"Type", "7"},
                               {"ExpectedTime", "1"}}) +
                processRequest("P2", "Gone", "gone.exe", "", "1") +
                // A section for the fire list: no ProcessName, passed over silently.
                section("DCConnURL", {{"Exe2Fire", "1"}, {"Exe1", "x.exe"}}));
  deleteDefaultExeSectionFrom(deleteFile());

  const std::string stars(40, '*');
  std::vector<std::string> want = {
      stars + "Deleting processes from VELKDefaultExe.ini" + stars,
      "",
      "",
      "MSG : Total sections in " + run().installationPath + "VELKDefaultExe.ini is 3",
      "MSG : Total Process[1] found in DeleteSection.ini",
      "MSG : Checking Process MON.exe exists or not.",
      "MSG : MON.exe exists.",
      "MSG : Deleting Process [Process2]",
      "MSG : Checking Process gone.exe exists or not.",
      "MSG : gone.exe does not exist.",
      "",
      "",
      stars + "End Of Deleting processes from VELKDefaultExe.ini" + stars,
  };
  EXPECT_EQ(want, logLines());
  // The gap stays and ProcessCount is untouched until the renumbering.
  expectIni(table(), kSettings3 + processSection("Process1", "Agent", "agent.exe", "-s", "1") +
                         processSection("Process3", "Mon", "mon.exe", "", "1-7", "3"));
  EXPECT_EQ(1, run().processDeleted);
  EXPECT_TRUE(run().success);
}

TEST_F(ProcessTable, DeleterRemovesOneEntryPerRequest) {
  struct Case {
    int requests;
    std::vector<std::string> left;
  } cases[] = {{1, {"Settings", "Process1", "Process3"}}, {2, {"Settings", "Process1"}}};
  for (const Case& c : cases) {
    writeTable(kTable);
    std::string text = countSection(0, "1");
    for (int i = 0; i < c.requests; ++i)
      text += processRequest("R" + std::to_string(i), "Mon", "mon.exe", "", "1-7");
    writeFile(deleteFile(), text);
    run().processDeleted = 0;
    deleteDefaultExeSectionFrom(deleteFile());
    EXPECT_EQ(c.left, sectionsOf(table())) << c.requests;
    EXPECT_EQ(c.requests, run().processDeleted);
  }
}

TEST_F(ProcessTable, DeleterWithACountOfZeroDeletesNothing) {
  writeTable(kTable);
  writeFile(deleteFile(), countSection(0, "0") + processRequest("R", "Mon", "mon.exe", "", "1-7"));
  deleteDefaultExeSectionFrom(deleteFile());
  std::vector<std::string> got = entries();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("MSG : Count of Delete Section = 0.", got[1]);
  EXPECT_EQ(kTable, readFile(table()));
  EXPECT_EQ(0, run().processDeleted);
}

TEST_F(ProcessTable, DeleterSkipsInvalidRequestsWithEveryReason) {
  const std::string bad = " is not valid executable name. jump to next section";
  struct Case {
    Keys keys;
    std::vector<std::string> logged;
  } cases[] = {
      {{{"ProcessName", "mon.exe"}, {"Days", "1-7"}, {"Type", "1"}, {"ExpectedTime", "1"}},
       {"MSG : ApplicationName is blank. jump to next section"}},
      {{{"ApplicationName", "Mon"}, {"ProcessName", "MON.EXE"}, {"Days", "1-7"}, {"Type", "1"},
        {"ExpectedTime", "1"}},
       {"MSG : MON.EXE" + bad}},
      {{{"ProcessName", "mon"}},
       {"MSG : ApplicationName is blank. jump to next section", "MSG : mon" + bad,
        "MSG : Days is blank. jump to next section", "MSG : Type is blank. jump to next section",
        "MSG : ExpectedTime is blank. jump to next section"}},
  };
  for (const Case& c : cases) {
    writeTable(kTable);
    writeFile(deleteFile(), countSection(0, "1") + section("R", c.keys));
    restartLog();
    deleteDefaultExeSectionFrom(deleteFile());
    std::vector<std::string> got = entries();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(c.logged, std::vector<std::string>(got.begin() + 3, got.end()));
    EXPECT_EQ(kTable, readFile(table()));
  }
  EXPECT_EQ(0, run().processDeleted);
}

TEST_F(ProcessTable, DeleterWithoutRequestFile) {
  writeTable(kTable);
  deleteDefaultExeSectionFrom(deleteFile());
  const std::string stars(40, '*');
  std::vector<std::string> want = {stars + "Deleting processes from VELKDefaultExe.ini" + stars,
                                   "",
                                   "",
                                   "MSG : DeleteSection.ini file not found",
                                   "",
                                   "",
                                   stars + "Deleting processes from VELKDefaultExe.ini" + stars};
  EXPECT_EQ(want, logLines());
  EXPECT_TRUE(run().success);
}

TEST_F(ProcessTable, DeleterFailureRestoresTheBackupAndFailsTheRun) {
  struct Case {
    std::string backup;   // the table as the run found it
    std::string current;  // the table when the deleter starts
    std::string request;
    std::string shown;
    std::string error;
  } cases[] = {
      {kTable, kTable, "", "3", "9 Subscript out of range"},
      {"", "", "", "-2", "9 Subscript out of range"},
      // A change made earlier in the run is undone by the restore.
      {kTable, kSettings3, countSection(0, "x"), "0", "13 Type mismatch"},
      {kTable, kTable, section("INI", {{"VELKDefaultExe", "1"}}), "3", "13 Type mismatch"},
      {kTable, kTable, countSection(32767, "1"), "3", "6 Overflow"},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(freshRun());
    writeFile(processBackupFile(), c.backup);
    writeFile(table(), c.current);
    writeFile(deleteFile(), c.request);
    deleteDefaultExeSectionFrom(deleteFile());
    const std::string desc = c.error.substr(c.error.find(' ') + 1);
    std::vector<std::string> got = entries();
    // The count line is there when the counts were read.
    ASSERT_EQ(c.error == "6 Overflow" ? 4u : 3u, got.size()) << c.error;
    EXPECT_EQ("MSG : Total sections in " + run().installationPath + "VELKDefaultExe.ini is " + c.shown,
              got[0]);
    EXPECT_EQ("ERR : Error in DeleteDefaultExeSection() " + c.error, got[got.size() - 2]);
    EXPECT_EQ("MSG : Copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini", got.back());
    EXPECT_EQ(c.backup, readFile(table()));
    EXPECT_FALSE(run().success);
    EXPECT_EQ("S: " + desc, run().summary);
    EXPECT_EQ(std::string(40, '*') + "End Of Deleting processes from VELKDefaultExe.ini" +
                  std::string(40, '*'),
              logLines().back());
  }
}

// ---- renumbering ----------------------------------------------------------

TEST_F(ProcessTable, RenumberingClosesGapsAndSettlesTemporarySections) {
  writeTable(kSettings3 + processSection("Process1", "A", "a.exe", "-a", "1", "1", "2", "3", "first") +
             // Rewritten: WorkingDir and Display; dropped: a key of no process.
             section("Process3", {{"ApplicationName", "C"},
                                  {"Description", ""},
                                  {"ProcessName", "c.exe"},
                                  {"Parameter", ""},
                                  {"WorkingDir", "C:\\Work"},
                                  {"Days", "7"},
                                  {"Type", "2"},
                                  {"MinAge", ""},
                                  {"ExpectedTime", "9"},
                                  {"Display", "No"},
                                  {"Owner", "someone"}}) +
             // Without ApplicationName: dropped without a word.
             section("Junk", {{"ProcessName", "j.exe"}, {"Days", "1"}}) + "\r\n\r\n" +
             processSection("1", "D", "d.exe", "", "1-5", "4", "", "20", "added"));
  ReGenDefaultExeFile();

  const std::string blank = "\r\n\r\n";
  expectIni(table(), section("Settings", {{"ProcessCount", "3"}}) + blank +
                         processSection("Process1", "A", "a.exe", "-a", "1", "1", "2", "3", "first") +
                         blank + processSection("Process2", "C", "c.exe", "", "7", "2", "", "9") +
                         blank + processSection("Process3", "D", "d.exe", "", "1-5", "4", "", "20", "added") +
                         blank);
  const std::string p = run().installationPath;
  std::vector<std::string> want = {"MSG : Checking whether New_VELKDefaultExe.ini exists or not."};
  struct Row {
    const char* app;
    const char* desc;
    const char* exe;
    const char* param;
    const char* days;
    const char* type;
    const char* minAge;
    const char* expected;
  } rows[] = {{"A", "first", "a.exe", "-a", "1", "1", "2", "3"},
              {"C", "", "c.exe", "", "7", "2", "", "9"},
              {"D", "added", "d.exe", "", "1-5", "4", "", "20"}};
  int k = 1;
  for (const Row& r : rows) {
    const std::string n = "MSG : ReNumbering :-->" + std::to_string(k++);
    for (const std::string& line :
         {n + " Application[ " + r.app + " ].", n + " Description [ " + r.desc + " ].",
          n + " ProcessName[ " + r.exe + " ].", n + " Parameter[ " + r.param + " ].",
          n + " WorkingDir[ ].", n + " Days[ " + r.days + " ].", n + " Type[ " + r.type + " ].",
          n + " MinAge[ " + r.minAge + " ].", n + " ExpectedTime [ " + r.expected + " ].",
          n + " Display [ Yes ]."})
      want.push_back(line);
  }
  for (const std::string& line :
       {"MSG : Renaming " + p + "VELKDefaultExe.ini" + "to" + p + "Old_VELKDefaultExe.ini",
        "MSG : Successfully renamed " + p + "VELKDefaultExe.ini to" + p + "Old_VELKDefaultExe.ini",
        "MSG : Renaming " + p + "New_VELKDefaultExe.ini" + "to" + p + "VELKDefaultExe.ini",
        "MSG : Successfully renamed " + p + "New_VELKDefaultExe.ini to" + p + "VELKDefaultExe.ini",
        "MSG : Successfully deleted " + p + "Old_VELKDefaultExe.ini",
        "MSG : Successfully deleted " + p + "New_VELKDefaultExe.ini "})
    want.push_back(line);
  EXPECT_EQ(want, logLines());  // no banner around a successful renumbering
  EXPECT_FALSE(plat::fileExists(processNewFile()));
  EXPECT_FALSE(plat::fileExists(processOldFile()));
  EXPECT_TRUE(run().success);
  EXPECT_EQ("S:", run().summary);
}

TEST_F(ProcessTable, RenumberingWithoutProcessesKeepsOnlyTheSettings) {
  writeTable(section("Settings", {{"ProcessCount", "2"}}) + section("X", {{"Description", "d"}}));
  ReGenDefaultExeFile();
  expectIni(table(), section("Settings", {{"ProcessCount", "0"}}) + "\r\n\r\n");
}

TEST_F(ProcessTable, RenumberingRemovesSideFilesLeftByAnEarlierRun) {
  writeTable(kTable);
  writeFile(processNewFile(), processSection("Ghost", "G", "g.exe", "", "1"));
  writeFile(processOldFile(), "old");
  ReGenDefaultExeFile();
  const std::string p = run().installationPath;
  std::vector<std::string> got = entries();
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ("MSG : Successfully deleted " + p + "New_VELKDefaultExe.ini", got[1]);
  EXPECT_EQ("MSG : Successfully deleted " + p + "Old_VELKDefaultExe.ini", got[2]);
  EXPECT_EQ((std::vector<std::string>{"Settings", "Process1", "Process2", "Process3"}),
            sectionsOf(table()));
  EXPECT_FALSE(plat::fileExists(processNewFile()));
  EXPECT_FALSE(plat::fileExists(processOldFile()));
}

TEST_F(ProcessTable, RenumberingOfACountThatIsNoNumberRestoresTheBackup) {
  struct Case {
    const char* count;
    bool fails;
  } cases[] = {{"abc", true}, {"70000", true}, {"", false}, {" 2.5 ", false}};
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(freshRun());
    const std::string before = section("Settings", {{"ProcessCount", c.count}}) +
                               processSection("Process2", "A", "a.exe", "", "1");
    writeFile(processBackupFile(), before);
    writeFile(table(), before + "\r\n\r\n" + processSection("1", "B", "b.exe", "", "1"));
    ReGenDefaultExeFile();
    EXPECT_EQ(!c.fails, run().success) << c.count;
    if (!c.fails) {
      EXPECT_EQ((std::vector<std::string>{"Settings", "Process1", "Process2"}), sectionsOf(table()));
      continue;
    }
    const std::string error = std::string(c.count) == "abc" ? "13 Type mismatch" : "6 Overflow";
    const std::string desc = error.substr(error.find(' ') + 1);
    EXPECT_EQ(before, readFile(table())) << c.count;
    EXPECT_EQ("S: " + desc, run().summary);
    std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 5u);
    const std::string stars(40, '*');
    EXPECT_EQ((std::vector<std::string>{"ERR : Error in ReGenDefaultExeFile() " + error,
                                        "MSG : Copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini",
                                        "", "", stars + "End Of Renumbering VELKDefaultExe.ini" + stars}),
              std::vector<std::string>(lines.end() - 5, lines.end()));
  }
}

// A copy of the swap that fails: the table keeps its temporary section, the
// new table stays for the next run to remove, and the run is failed.
void expectFailedSwap(const std::string& before, const std::string& logged, const std::string& log) {
  EXPECT_EQ(before, readFile(processTableFile()));
  EXPECT_NE(std::string::npos, log.find("\t" + logged + plat::paddedSystemMessage(5) + "\r\n"));
  EXPECT_EQ(std::string::npos, log.find("Successfully renamed " + run().installationPath + "New_"));
  EXPECT_TRUE(plat::fileExists(processNewFile()));
  EXPECT_FALSE(run().success);
  EXPECT_EQ("S: Permission denied", run().summary);
}

const std::string kUnsettled = kSettings3 + processSection("Process1", "A", "a.exe", "", "1") +
                               "\r\n\r\n" + processSection("1", "B", "b.exe", "", "1");

TEST_F(ProcessTable, RenumberingWhoseCopyToOldFailsFailsTheRun) {
  writeTable(kUnsettled);
  testing::makeDirs(processOldFile());  // a folder stands where Old_ goes
  ReGenDefaultExeFile();
  expectFailedSwap(kUnsettled,
                   " ERR : while renaming VELKDefaultExe.ini to Old_VELKDefaultExe.ini Error :--> ",
                   readFile(logPath()));
  std::filesystem::remove(plat::hostPath(processOldFile()));
}

TEST_F(ProcessTable, RenumberingWhoseCopyOverTheTableFailsFailsTheRun) {
#ifdef _WIN32
  GTEST_SKIP() << "a read-only file does not stop a write under Wine run as root";
#endif
  writeTable(kUnsettled);
  setReadOnly(table(), true);  // the table is locked
  ReGenDefaultExeFile();
  setReadOnly(table(), false);
  expectFailedSwap(kUnsettled,
                   " ERR : while renaming New_VELKDefaultExe.ini to VELKDefaultExe.ini Error :--> ",
                   readFile(logPath()));
  EXPECT_TRUE(plat::fileExists(processOldFile()));
}

}  // namespace
}  // namespace zuvoze::merger

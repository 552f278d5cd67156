// The run driver with test doubles for the table procedures and the service
// calls: which procedure runs when, the run summary text, the success flag,
// the result files, the backups and the driver's own error path.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "merger/driver.h"
#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "merger/service.h"
#include "test_util.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::exists;
using testing::listDir;
using testing::makeDirs;
using testing::readFile;
using testing::TempDir;
using testing::TestRegistry;
using testing::writeFile;
using testutil::ini;
using testutil::messages;

const char* const kMobileOk = "[DCConnURL]\r\nExe2Fire=1\r\nExe1=a.exe\r\nExe1TO=1\r\nExe1PM=1\r\n";
const char* const kMobileNoCount = "[DCConnURL]\r\nExe1=a.exe\r\n";
const char* const kMobileBlank = "";
const char* const kTableText = "[1]\r\nk=v\r\n";

const plat::LocalTime kT{2026, 1, 31, 23, 5, 9};
const char* const kStatusName = "cfgmerge_R-1_20263101230509.ini";
const char* const kArchiveName = "Add_Delete_IniLog_20260131230509.txt";

std::string d(int n) { return " Delete Count [" + std::to_string(n) + "]: "; }
std::string a(int n) { return " Add Count [" + std::to_string(n) + "]: "; }

// One run: what exists, what the doubles count and answer, what must come out.
struct Scenario {
  std::string name;
  bool scheduler = true, process = true, add = true, del = true;
  const char* mobile = kMobileOk;  // nullptr: no VELKMobile.ini
  std::map<std::string, int> counts;  // procedure name -> the count it leaves
  std::string failIn;                  // procedure that records a failure
  std::string missing;                 // procedure not installed
  bool stopOk = true, startOk = true;
  std::string summary;
  bool success = true;
  std::string calls;

  Scenario(std::string n) : name(std::move(n)) {}
  Scenario& without(const std::string& what) {
    if (what == "scheduler") scheduler = false;
    if (what == "process") process = false;
    if (what == "add") add = false;
    if (what == "delete") del = false;
    if (what == "mobile") mobile = nullptr;
    return *this;
  }
  Scenario& withMobile(const char* text) { mobile = text; return *this; }
  Scenario& count(const std::string& proc, int n) { counts[proc] = n; return *this; }
  Scenario& failing(const std::string& proc) { failIn = proc; return *this; }
  Scenario& uninstalled(const std::string& proc) { missing = proc; return *this; }
  Scenario& stopFails() { stopOk = false; return *this; }
  Scenario& startFails() { startOk = false; return *this; }
  Scenario& expect(std::string s, bool ok, std::string c) {
    summary = std::move(s);
    success = ok;
    calls = std::move(c);
    return *this;
  }
};

const std::string kAllProcs =
    "DeleteSCHDSection addSCHDSection ReGenSCHDFile DeleteDefaultExeSection addDefaultExeSection "
    "ReGenDefaultExeFile deleteMobile addMobile ReGenMobileFile";

std::vector<Scenario> scenarios() {
  const std::string sch = "VELKScheduler : ", pro = " VELKDefaultExe : ", mob = " VELKMobile : ";
  std::vector<Scenario> s;
  s.push_back(Scenario("all files, one deleted and two added schedules, one process added")
                  .count("DeleteSCHDSection", 1).count("addSCHDSection", 2)
                  .count("addDefaultExeSection", 1)
                  .expect(sch + d(1) + a(2) + pro + d(0) + a(1) + mob + d(0) + a(0), true,
                          "DeleteSCHDSection addSCHDSection ReGenSCHDFile DeleteDefaultExeSection "
                          "addDefaultExeSection ReGenDefaultExeFile deleteMobile addMobile stop start"));
  s.push_back(Scenario("nothing to do").expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + d(0) + a(0), true,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection deleteMobile "
      "addMobile"));
  s.push_back(Scenario("neither request file").without("add").without("delete").expect(
      " AddSection.ini not found.  DeleteSection.ini not found. " + mob + d(0) + a(0), false,
      "deleteMobile addMobile"));
  s.push_back(Scenario("DeleteSection.ini missing, nothing to add").without("delete").expect(
      sch + " DeleteSection.ini not found. " + a(0) + pro + " DeleteSection.ini not found. " +
          a(0) + mob + d(0) + a(0),
      true, "addSCHDSection addDefaultExeSection deleteMobile addMobile"));
  s.push_back(Scenario("DeleteSection.ini missing, one schedule added")
                  .without("delete").count("addSCHDSection", 1)
                  .expect(sch + " DeleteSection.ini not found. " + a(1) + pro +
                              " DeleteSection.ini not found. " + a(0) + mob + d(0) + a(0),
                          true,
                          "addSCHDSection ReGenSCHDFile addDefaultExeSection deleteMobile addMobile "
                          "stop start"));
  s.push_back(Scenario("AddSection.ini missing, one schedule deleted")
                  .without("add").count("DeleteSCHDSection", 1)
                  .expect(" AddSection.ini not found. " + d(0) + mob + d(0) + a(0), false,
                          "DeleteSCHDSection ReGenSCHDFile DeleteDefaultExeSection deleteMobile "
                          "addMobile stop start"));
  s.push_back(Scenario("AddSection.ini missing, one process deleted")
                  .without("add").count("DeleteDefaultExeSection", 1)
                  .expect(" AddSection.ini not found. " + d(1) + mob + d(0) + a(0), false,
                          "DeleteSCHDSection DeleteDefaultExeSection ReGenDefaultExeFile "
                          "deleteMobile addMobile"));
  s.push_back(Scenario("VELKScheduler.ini missing").without("scheduler").expect(
      " VELKScheduler.ini file not found" + pro + d(0) + a(0) + mob + d(0) + a(0), true,
      "DeleteDefaultExeSection addDefaultExeSection deleteMobile addMobile"));
  s.push_back(Scenario("VELKDefaultExe.ini missing").without("process").expect(
      sch + d(0) + a(0) + pro + " VELKDefault.ini file not found" + mob + d(0) + a(0), false,
      "DeleteSCHDSection addSCHDSection deleteMobile addMobile"));
  s.push_back(Scenario("VELKMobile.ini without sections").withMobile(kMobileBlank).expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + " VELKMobile.ini is blank.", false,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection"));
  s.push_back(Scenario("VELKMobile.ini missing").without("mobile").expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + " VELKMobile.ini is blank.", false,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection"));
  s.push_back(Scenario("Exe2Fire empty").withMobile(kMobileNoCount).expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + " Exe2Fire is blank.", false,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection"));
  s.push_back(Scenario("fire list and process changes renumber, no restart")
                  .count("DeleteDefaultExeSection", 2).count("deleteMobile", 1)
                  .expect(sch + d(0) + a(0) + pro + d(2) + a(0) + mob + d(1) + a(0), true,
                          "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection "
                          "addDefaultExeSection ReGenDefaultExeFile deleteMobile addMobile "
                          "ReGenMobileFile"));
  s.push_back(Scenario("fire-list addition renumbers").count("addMobile", 1).expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + d(0) + a(1), true,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection deleteMobile "
      "addMobile ReGenMobileFile"));
  // A clean restart does not wipe out a failure recorded earlier in the run.
  s.push_back(Scenario("schedule added, VELKDefaultExe.ini missing, clean restart")
                  .without("process").count("addSCHDSection", 1)
                  .expect(sch + d(0) + a(1) + pro + " VELKDefault.ini file not found" + mob + d(0) +
                              a(0),
                          false,
                          "DeleteSCHDSection addSCHDSection ReGenSCHDFile deleteMobile addMobile "
                          "stop start"));
  s.push_back(Scenario("schedule added, service cannot be stopped")
                  .count("addSCHDSection", 1).stopFails()
                  .expect(sch + d(0) + a(1) + pro + d(0) + a(0) + mob + d(0) + a(0) +
                              " VELKScheduler : ",
                          false,
                          "DeleteSCHDSection addSCHDSection ReGenSCHDFile DeleteDefaultExeSection "
                          "addDefaultExeSection deleteMobile addMobile stop"));
  s.push_back(Scenario("schedule deleted, service cannot be started")
                  .count("DeleteSCHDSection", 1).startFails()
                  .expect(sch + d(1) + a(0) + pro + d(0) + a(0) + mob + d(0) + a(0) +
                              " VELKScheduler : ",
                          false,
                          "DeleteSCHDSection addSCHDSection ReGenSCHDFile DeleteDefaultExeSection "
                          "addDefaultExeSection deleteMobile addMobile stop start"));
  // The renumbering runs on the count, also after a failure restored the table.
  s.push_back(Scenario("deleter counts one, then fails")
                  .count("DeleteSCHDSection", 1).failing("DeleteSCHDSection")
                  .expect(sch + " boom in DeleteSCHDSection" + d(1) + a(0) + pro + d(0) + a(0) +
                              mob + d(0) + a(0),
                          false,
                          "DeleteSCHDSection addSCHDSection ReGenSCHDFile DeleteDefaultExeSection "
                          "addDefaultExeSection deleteMobile addMobile stop start"));
  s.push_back(Scenario("process adder fails").failing("addDefaultExeSection").expect(
      sch + d(0) + a(0) + pro + d(0) + " boom in addDefaultExeSection" + a(0) + mob + d(0) + a(0),
      false,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection deleteMobile "
      "addMobile"));
  // A procedure this build lacks fails the run instead of passing for "nothing to do".
  s.push_back(Scenario("fire-list adder not installed").uninstalled("addMobile").expect(
      sch + d(0) + a(0) + pro + d(0) + a(0) + mob + d(0) + " addMobile not available." + a(0),
      false,
      "DeleteSCHDSection addSCHDSection DeleteDefaultExeSection addDefaultExeSection "
      "deleteMobile"));
  return s;
}

class DriverRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!dir) dir = std::make_unique<TempDir>();
    makeDirs(prog());
    makeDirs(inst() + "\\Configuration");
    reg.setString("SOFTWARE\\ZUVOZE", "TYPE", "Desktop", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "REGID", "R-1", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", inst(), plat::RegView::View32);
    resetRunState();
    setProgramFolderForTest(prog());
    plat::setSleepHook([](uint32_t) {});
    plat::setClockForTest([] { return kT; });
  }
  void TearDown() override {
    serviceCalls() = ServiceCalls{fncStopService, fncStartService};
    plat::setClockForTest(nullptr);
    plat::setSleepHook(nullptr);
    setProgramFolderForTest("");
    resetRunState();
  }
  std::string prog() const { return dir->sub("prog"); }
  std::string inst() const { return dir->sub("inst"); }
  // Fresh folders and run state for the next case of a table.
  void nextCase() {
    TearDown();
    dir = std::make_unique<TempDir>();
    calls.clear();
    SetUp();
  }

  void prepare(const Scenario& s) {
    if (s.scheduler) writeFile(inst() + "\\Configuration\\VELKScheduler.ini", kTableText);
    if (s.process) writeFile(inst() + "\\VELKDefaultExe.ini", kTableText);
    if (s.mobile) writeFile(inst() + "\\VELKMobile.ini", s.mobile);
    if (s.add) writeFile(prog() + "\\AddSection.ini", "[INI]\r\nVELKScheduler=0\r\n");
    if (s.del) writeFile(prog() + "\\DeleteSection.ini", "[INI]\r\nVELKScheduler=0\r\n");
  }

  // Puts doubles into the run state: each notes its call, leaves its count,
  // marks the scheduler table changed when it counted, fails on demand.
  void installDoubles(const Scenario& s) {
    TableProcedures& p = run().procedures;
    auto make = [this, &s](const std::string& name, Count RunState::*field, bool scheduler) {
      return std::function<void()>([this, &s, name, field, scheduler] {
        calls.push_back(name);
        auto it = s.counts.find(name);
        if (field != nullptr && it != s.counts.end()) {
          run().*field = static_cast<Count>(it->second);
          if (scheduler && it->second > 0) run().schedulerChanged = true;
        }
        if (s.failIn == name) recordFailure("boom in " + name);
      });
    };
    p.DeleteSCHDSection = make("DeleteSCHDSection", &RunState::scheduleDeleted, true);
    p.addSCHDSection = make("addSCHDSection", &RunState::scheduleAdded, true);
    p.ReGenSCHDFile = make("ReGenSCHDFile", nullptr, false);
    p.DeleteDefaultExeSection = make("DeleteDefaultExeSection", &RunState::processDeleted, false);
    p.addDefaultExeSection = make("addDefaultExeSection", &RunState::processAdded, false);
    p.ReGenDefaultExeFile = make("ReGenDefaultExeFile", nullptr, false);
    p.deleteMobile = make("deleteMobile", &RunState::fireDeleted, false);
    p.addMobile = make("addMobile", &RunState::fireAdded, false);
    p.ReGenMobileFile = make("ReGenMobileFile", nullptr, false);
    if (s.missing == "addMobile") p.addMobile = nullptr;
    serviceCalls().stop = [this, &s](const std::string& name) {
      calls.push_back("stop");
      EXPECT_EQ(name, "VELKScheduler");
      return s.stopOk;
    };
    serviceCalls().start = [this, &s](const std::string& name) {
      calls.push_back("start");
      EXPECT_EQ(name, "VELKScheduler");
      return s.startOk;
    };
  }

  std::string joinedCalls() const {
    std::string out;
    for (const std::string& c : calls) out += (out.empty() ? "" : " ") + c;
    return out;
  }
  std::string statusValue(const std::string& key) {
    char buf[4000] = {};
    plat::getPrivateProfileString("STATUS_INFO", key.c_str(), "<missing>", buf, sizeof buf,
                                  inst() + "\\PMStatus\\" + kStatusName);
    return buf;
  }

  std::unique_ptr<TempDir> dir;
  TestRegistry reg;
  std::vector<std::string> calls;
};

TEST_F(DriverRunTest, Scenarios) {
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.name);
    nextCase();
    prepare(s);
    installDoubles(s);

    EXPECT_EQ(runMain(), kExitCompleted);
    EXPECT_EQ(joinedCalls(), s.calls);
    EXPECT_EQ(run().summary, s.summary);
    EXPECT_EQ(run().success, s.success);
    EXPECT_EQ(readFile(prog() + "\\ScheduleUpdateStatus.txt"), s.success ? "SUCCESS" : "FAILED");
    EXPECT_EQ(statusValue("LastRunStatusCode"), s.success ? "SUCCESS" : "FAILED");
    EXPECT_EQ(statusValue("Desc"), trim(s.summary));
    EXPECT_FALSE(exists(prog() + "\\Add_Delete_IniLog.txt"));
    const std::vector<std::string> logged =
        messages(readFile(inst() + "\\ApplicationLog\\" + kArchiveName));
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), "MSG : Application Started.");
    if (!s.missing.empty()) {
      EXPECT_NE(std::find(logged.begin(), logged.end(),
                          "ERR : " + s.missing + "() is not available in this program"),
                logged.end());
    }
  }
}

TEST_F(DriverRunTest, LogOfACompleteRun) {
  Scenario s("plain");
  prepare(s);
  installDoubles(s);
  writeFile(prog() + "\\Add_Delete_IniLog.txt", "left by an earlier run\r\n");
  ASSERT_EQ(runMain(), kExitCompleted);
  const std::string inst1 = inst() + "\\";
  EXPECT_EQ(messages(readFile(inst() + "\\ApplicationLog\\" + kArchiveName)),
            (std::vector<std::string>{
                "MSG : Application Started.",
                "MSG : ZUVOZE Installation Path :--> " + inst1,
                "MSG : REGID :--> R-1",
                "MSG : Agent Type :--> Desktop",
                "MSG : Reading Exe2Fire.",
                "MSG : Creating backup of VELKMobile.ini",
                "MSG : Creating backup of VELKDefaultExe.ini",
                "MSG : Creating backup of VELKScheduler.ini",
                "MSG : creating ScheduleUpdateStatus.txt",
                "MSG : ScheduleUpdateStatus.txt Contents:--> SUCCESS",
                "MSG : Creating PID File",
                "MSG : Checking PMStatus folder exist or not",
                "MSG : Application completed.",
                "MSG : Checking ZUVOZE\\Applicationlog folder exist or not",
                "MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog",
                "MSG : Application End.",
                "MSG : ZUVOZE\\ApplicationLog Folder does not exist",
            }));
  EXPECT_EQ(run().nextNumberCounter, "1");
  // The backups hold the tables as the run found them.
  EXPECT_EQ(readFile(inst() + "\\Bkp_VELKMobile.ini"), kMobileOk);
  EXPECT_EQ(readFile(inst() + "\\Bkp_VELKDefaultExe.ini"), kTableText);
  EXPECT_EQ(readFile(inst() + "\\Configuration\\Bkp_VELKScheduler.ini"), kTableText);
}

TEST_F(DriverRunTest, MissingTablesAreNotBackedUp) {
  Scenario s("no tables");
  s.without("scheduler").without("process").without("mobile");
  prepare(s);
  installDoubles(s);
  ASSERT_EQ(runMain(), kExitCompleted);
  const std::vector<std::string> logged =
      messages(readFile(inst() + "\\ApplicationLog\\" + kArchiveName));
  for (const char* name : {"VELKMobile.ini", "VELKDefaultExe.ini", "VELKScheduler.ini"}) {
    EXPECT_NE(std::find(logged.begin(), logged.end(), std::string("MSG : ") + name + " does not exists."),
              logged.end())
        << name;
  }
  EXPECT_FALSE(exists(inst() + "\\Bkp_VELKMobile.ini"));
  EXPECT_FALSE(exists(inst() + "\\Configuration\\Bkp_VELKScheduler.ini"));
  EXPECT_EQ(run().nextNumberCounter, "");
}

// An installation folder that is gone: there is no table to change, so the
// run goes through to the result file; only the status file and the archive
// cannot be made.
TEST_F(DriverRunTest, MissingInstallationFolderStillGivesTheResultFile) {
  Scenario s("no installation folder");
  installDoubles(s);
  std::filesystem::remove_all(plat::hostPath(inst()));
  ASSERT_EQ(runMain(), kExitCompleted);
  EXPECT_EQ(readFile(prog() + "\\ScheduleUpdateStatus.txt"), "FAILED");
  EXPECT_EQ(run().summary, " VELKScheduler.ini file not found VELKDefaultExe :  VELKDefault.ini "
                           "file not found VELKMobile :  VELKMobile.ini is blank.");
  const std::vector<std::string> logged = messages(readFile(prog() + "\\Add_Delete_IniLog.txt"));
  EXPECT_NE(std::find(logged.begin(), logged.end(), "MSG : Application completed."), logged.end());
  EXPECT_EQ(std::find_if(logged.begin(), logged.end(),
                         [](const std::string& m) { return m.rfind("Error in main()", 0) == 0; }),
            logged.end());
}

TEST_F(DriverRunTest, StatusFileContent) {
  struct Case {
    plat::LocalTime t;
    const char* name;
    const char* lastRun;
  } cases[] = {
      {{2026, 1, 31, 23, 5, 9}, "cfgmerge_R-1_20263101230509.ini", "01/31/2026 11:05:09 PM"},
      {{2026, 7, 4, 0, 30, 0}, "cfgmerge_R-1_20260407003000.ini", "07/04/2026 12:30:00 AM"},
      {{2026, 12, 9, 12, 0, 1}, "cfgmerge_R-1_20260912120001.ini", "12/09/2026 12:00:01 PM"},
  };
  run().installationPath = inst() + "\\";
  run().regid = "R-1";
  for (const Case& c : cases) {
    plat::setClockForTest([&c] { return c.t; });
    fncCreatePMStatusINI(false, " AddSection.ini not found. ");
    const std::string path = inst() + "\\PMStatus\\" + c.name;
    ASSERT_TRUE(exists(path)) << c.name;
    EXPECT_FALSE(exists(inst() + "\\" + c.name));
#ifdef _WIN32
    // The profile functions of Wine rewrite values without their blanks.
    const std::string desc = "AddSection.ini not found.";
#else
    const std::string desc = " AddSection.ini not found. ";
#endif
    EXPECT_EQ(readFile(path), ini({"[STATUS_INFO]", "REGID=R-1", "Desc=" + desc, "PID=cfgmerge",
                                   "SysID=", std::string("LastRunDateTime=") + c.lastRun,
                                   "LastRunStatusCode=FAILED"}));
  }
}

TEST_F(DriverRunTest, StatusFileOfTheSameSecondStaysInTheInstallationFolder) {
  run().installationPath = inst() + "\\";
  run().regid = "R-1";
  makeDirs(inst() + "\\PMStatus");
  writeFile(inst() + "\\PMStatus\\" + kStatusName, "older");
  ASSERT_EQ(openRunLog(), 0u);
  fncCreatePMStatusINI(true, "x");
  run().log.close();
  EXPECT_EQ(readFile(inst() + "\\PMStatus\\" + kStatusName), "older");
  EXPECT_TRUE(exists(inst() + "\\" + kStatusName));
  EXPECT_EQ(messages(readFile(prog() + "\\Add_Delete_IniLog.txt")).back(),
            "ERR : Error in fncCreatePMStatusINI 58 File already exists");
}

// Errors of the driver's own steps: the status file says FAILED with the
// error's description, ScheduleUpdateStatus.txt is not written, the log
// stays in the program folder.
TEST_F(DriverRunTest, DriverErrorPath) {
  struct Case {
    const char* name;
    bool backupFails;  // else a table procedure raises an error of its own
    std::string entry, desc;
  } cases[] = {
      {"a backup cannot be written", true,
       "Error in main() Err : Err Number :--> 70 Err Description :--> Permission denied",
       "Permission denied"},
      {"an error no procedure handled", false,
       "Error in main() Err : Err Number :--> 5 Err Description :--> unhandled", "unhandled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nextCase();
    Scenario s("error");
    prepare(s);
    installDoubles(s);
    if (c.backupFails) {
      makeDirs(inst() + "\\Bkp_VELKDefaultExe.ini\\in the way");  // a folder blocks the copy
    } else {
      run().procedures.addDefaultExeSection = [] { raise(5, "unhandled"); };
    }
    EXPECT_EQ(runMain(), kExitDriverError);
    EXPECT_FALSE(exists(prog() + "\\ScheduleUpdateStatus.txt"));
    EXPECT_EQ(statusValue("LastRunStatusCode"), "FAILED");
    EXPECT_EQ(statusValue("Desc"), c.desc);
    EXPECT_FALSE(run().success);
    const std::vector<std::string> logged = messages(readFile(prog() + "\\Add_Delete_IniLog.txt"));
    ASSERT_FALSE(logged.empty());
    ASSERT_GE(logged.size(), 3u);
    EXPECT_EQ(logged[logged.size() - 3], c.entry);
    EXPECT_EQ(logged.back(), "MSG : Checking PMStatus folder exist or not");
    EXPECT_FALSE(exists(inst() + "\\ApplicationLog"));
  }
}

TEST_F(DriverRunTest, ALogThatCannotBeCreatedEndsTheRun) {
  makeDirs(prog() + "\\Add_Delete_IniLog.txt");  // a folder in the way of the log
  Scenario s("no log");
  prepare(s);
  installDoubles(s);
  EXPECT_EQ(runMain(), kExitDriverError);
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(exists(inst() + "\\PMStatus"));  // the agent key was not read yet
}

}  // namespace
}  // namespace zuvoze::merger

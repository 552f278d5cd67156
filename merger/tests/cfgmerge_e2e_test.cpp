// The built cfgmerge run end to end: a program folder with a copy of the
// program and the request files, an installation folder with the tables, the
// agent key in the registry, and the service manager (natively a stand-in
// program named by ZUVOZE_SERVICECTL, under Wine a real service).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_service_host.h"
#include "test_util.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/testsupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zuvoze::merger {
namespace {

using testing::builtProgram;
using testing::exists;
using testing::listDir;
using testing::makeDirs;
using testing::readFile;
using testing::runProgram;
using testing::TempDir;
using testing::TestRegistry;
using testing::writeFile;
using testutil::ini;
using testutil::messages;

const char* const kKey = "SOFTWARE\\ZUVOZE";
constexpr plat::RegView k32 = plat::RegView::View32;

#ifdef _WIN32
const char* const kExe = "cfgmerge.exe";
#else
const char* const kExe = "cfgmerge";
const char* const kFakeTimeLib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
#endif

// The time stamp of a name in year-month-day order.
std::string ymdOf(const std::string& stamp, bool dayFirst) {
  if (!dayFirst) return stamp;
  return stamp.substr(0, 4) + stamp.substr(6, 2) + stamp.substr(4, 2) + stamp.substr(8);
}

const std::vector<std::string> kSchedulerTable = {
    "[1]", "ExecutableName=collector.exe", "Parameter=", "StartTime=00:00", "EndTime=23:59",
    "Interval=60", "WeekDays=1111111",
    "[2]", "ExecutableName=cleanup.exe", "Parameter=-all", "StartTime=01:00", "EndTime=02:00",
    "Interval=0", "WeekDays=1000000"};
const std::vector<std::string> kProcessTable = {
    "[Settings]", "ProcessCount=1",
    "[Process1]", "ApplicationName=Agent", "Description=", "ProcessName=agent.exe",
    "Parameter=", "WorkingDir=", "Days=127", "Type=1", "MinAge=", "ExpectedTime=5",
    "Display=Yes"};
const std::vector<std::string> kMobileTable = {
    "[DCConnURL]", "ControllerPSite=https://c.example", "Exe2Fire=1", "Exe1=report.exe",
    "Exe1TO=30", "Exe1PM=1",
    "[ProxySettings]", "ProxyIP=", "ProxyPort="};

class CfgmergeE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    makeDirs(prog());
    makeDirs(root.sub("inst\\Configuration"));
    ASSERT_EQ(plat::copyFile(builtProgram("cfgmerge"), root.sub(std::string("prog\\") + kExe)), 0u);
    reg.setString(kKey, "TYPE", "Desktop", k32);
    reg.setString(kKey, "REGID", "4711", k32);
    reg.setString(kKey, "InstallationPath", inst(), k32);  // no final backslash
    env.push_back({"ZUVOZE_SLEEP_SCALE", "0"});
#ifndef _WIN32
    const std::string script = root.sub("servicectl.sh");
    writeFile(script, "#!/bin/sh\necho \"$1 $2\" >> \"" + root.sub("service-calls.txt") + "\"\n");
    chmod(script.c_str(), 0755);
    env.push_back({"ZUVOZE_SERVICECTL", script});
#endif
  }
  void TearDown() override {
#ifdef _WIN32
    testservice::removeTestService("VELKScheduler");
#endif
  }

  std::string prog() const { return root.sub("prog"); }
  std::string inst() const { return root.sub("inst"); }
  std::string in(const std::string& relative) const { return root.sub("inst\\" + relative); }
  std::string exe() const { return root.sub(std::string("prog\\") + kExe); }

  void tables() {
    writeFile(in("Configuration\\VELKScheduler.ini"), ini(kSchedulerTable));
    writeFile(in("VELKDefaultExe.ini"), ini(kProcessTable));
    writeFile(in("VELKMobile.ini"), ini(kMobileTable));
  }
  void schedulerService() {
#ifdef _WIN32
    ASSERT_EQ(testservice::createTestService("VELKScheduler"), 0u);
    ASSERT_EQ(testservice::startTestService("VELKScheduler"), 0u);
#endif
  }

  // Runs the program; natively with the clock fixed at 2026-01-31 23:05:09.
  int runIt(bool fixedClock = true) {
    std::vector<std::pair<std::string, std::string>> e = env;
    fakeClock = false;
#ifndef _WIN32
    if (fixedClock && exists(kFakeTimeLib)) {
      e.push_back({"LD_PRELOAD", kFakeTimeLib});
      e.push_back({"FAKETIME", "2026-01-31 23:05:09"});
      e.push_back({"TZ", "UTC"});
      fakeClock = true;
    }
#endif
    before = plat::fmtYMDHMS(plat::localNow());
    testing::RunResult r = runProgram(exe(), "", e, 120000, prog());
    after = plat::fmtYMDHMS(plat::localNow());
    EXPECT_FALSE(r.timedOut);
    return r.exitCode;
  }

  // The one file of the folder named prefix + 14 digits + suffix; its stamp
  // must be the fixed clock's or lie within the run.
  std::string onlyStamped(const std::string& folder, const std::string& prefix,
                          const std::string& suffix, bool dayFirst) {
    std::vector<std::string> found;
    for (const std::string& n : listDir(folder))
      if (n.size() == prefix.size() + 14 + suffix.size() && n.compare(0, prefix.size(), prefix) == 0 &&
          n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
        found.push_back(n);
    EXPECT_EQ(found.size(), 1u) << folder;
    if (found.size() != 1) return "";
    const std::string stamp = ymdOf(found[0].substr(prefix.size(), 14), dayFirst);
    if (fakeClock) {
      EXPECT_EQ(stamp, "20260131230509");
    } else {
      EXPECT_LE(before, stamp);
      EXPECT_GE(after, stamp);
    }
    return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + found[0];
  }
  std::string statusValue(const std::string& file, const char* key) {
    char buf[2000] = {};
    plat::getPrivateProfileString("STATUS_INFO", key, "<missing>", buf, sizeof buf, file);
    return buf;
  }
  std::string serviceCalls() { return readFile(root.sub("service-calls.txt")); }

  TempDir root;
  TestRegistry reg;
  std::vector<std::pair<std::string, std::string>> env;
  std::string before, after;
  bool fakeClock = false;
};

TEST_F(CfgmergeE2E, NoRequestsAndABlankFireList) {
  writeFile(in("Configuration\\VELKScheduler.ini"), ini(kSchedulerTable));
  writeFile(in("VELKDefaultExe.ini"), ini(kProcessTable));
  writeFile(in("VELKMobile.ini"), "");
  writeFile(root.sub("prog\\Add_Delete_IniLog.txt"), "an earlier run's log\r\n");
  writeFile(root.sub("prog\\ScheduleUpdateStatus.txt"), "SUCCESS");

  ASSERT_EQ(runIt(), 0);

  EXPECT_FALSE(exists(root.sub("prog\\Add_Delete_IniLog.txt")));
  const std::string archive =
      onlyStamped(in("ApplicationLog"), "Add_Delete_IniLog_", ".txt", false);
  const std::string installWithSlash = inst() + "\\";
  EXPECT_EQ(messages(readFile(archive)),
            (std::vector<std::string>{
                "MSG : Application Started.",
                "MSG : ZUVOZE Installation Path :--> " + installWithSlash,
                "MSG : REGID :--> 4711",
                "MSG : Agent Type :--> Desktop",
                "MSG : Reading Exe2Fire.",
                "MSG : Creating backup of VELKMobile.ini",
                "MSG : Creating backup of VELKDefaultExe.ini",
                "MSG : Creating backup of VELKScheduler.ini",
                "MSG : AddSection.ini file not found",
                "MSG : DeleteSection.ini file not found",
                "MSG : AddSection.ini file not found",
                "MSG : DeleteSection.ini file not found",
                "MSG : creating ScheduleUpdateStatus.txt",
                "MSG : ScheduleUpdateStatus.txt Contents:--> FAILED",
                "MSG : Creating PID File",
                "MSG : Checking PMStatus folder exist or not",
                "MSG : Application completed.",
                "MSG : Checking ZUVOZE\\Applicationlog folder exist or not",
                "MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog",
                "MSG : Application End.",
                "MSG : ZUVOZE\\ApplicationLog Folder does not exist",
            }));
  EXPECT_EQ(readFile(root.sub("prog\\ScheduleUpdateStatus.txt")), "FAILED");

  const std::string status = onlyStamped(in("PMStatus"), "cfgmerge_4711_", ".ini", true);
  EXPECT_EQ(statusValue(status, "REGID"), "4711");
  EXPECT_EQ(statusValue(status, "Desc"),
            "AddSection.ini not found.  DeleteSection.ini not found.  VELKMobile :  VELKMobile.ini "
            "is blank.");
  EXPECT_EQ(statusValue(status, "PID"), "cfgmerge");
  EXPECT_EQ(statusValue(status, "SysID"), "");
  EXPECT_EQ(statusValue(status, "LastRunStatusCode"), "FAILED");
#ifndef _WIN32
  // The file itself, byte for byte, with the clock fixed.
  if (fakeClock) {
    EXPECT_EQ(readFile(status),
              ini({"[STATUS_INFO]", "REGID=4711",
                   "Desc= AddSection.ini not found.  DeleteSection.ini not found.  VELKMobile :  "
                   "VELKMobile.ini is blank.",
                   "PID=cfgmerge", "SysID=", "LastRunDateTime=01/31/2026 11:05:09 PM",
                   "LastRunStatusCode=FAILED"}));
  }
#endif

  // Backups of the tables as found; tables untouched; no service call.
  EXPECT_EQ(readFile(in("Configuration\\Bkp_VELKScheduler.ini")), ini(kSchedulerTable));
  EXPECT_EQ(readFile(in("Bkp_VELKDefaultExe.ini")), ini(kProcessTable));
  EXPECT_EQ(readFile(in("Bkp_VELKMobile.ini")), "");
  EXPECT_EQ(readFile(in("Configuration\\VELKScheduler.ini")), ini(kSchedulerTable));
  EXPECT_EQ(serviceCalls(), "");
}

TEST_F(CfgmergeE2E, MergeWithServiceRestart) {
  tables();
  schedulerService();
  writeFile(root.sub("prog\\AddSection.ini"),
            ini({"[INI]", "VELKScheduler=1", "VELKDefaultExe=1", "[NewSchedule]",
                 "ExecutableName=inventory.exe", "Parameter=/full", "StartTime=03:00",
                 "EndTime=04:00", "Interval=", "WeekDays=0000011", "[NewProcess]",
                 "ApplicationName=Inventory", "Description=Inventory scan",
                 "ProcessName=inventory.exe", "Parameter=/full", "Days=127", "Type=2", "MinAge=",
                 "ExpectedTime=30", "[DCConnURL]", "Exe2Fire=1", "Exe1=inventory.exe",
                 "Exe1TO=60", "Exe1PM=0"}));
  writeFile(root.sub("prog\\DeleteSection.ini"),
            ini({"[INI]", "VELKScheduler=1", "VELKDefaultExe=0", "[OldSchedule]",
                 "ExecutableName=cleanup.exe", "Parameter=-all", "StartTime=01:00",
                 "EndTime=02:00", "Interval=0", "WeekDays=1000000"}));

  ASSERT_EQ(runIt(), 0);

  EXPECT_EQ(readFile(root.sub("prog\\ScheduleUpdateStatus.txt")), "SUCCESS");
  const std::string status = onlyStamped(in("PMStatus"), "cfgmerge_4711_", ".ini", true);
  EXPECT_EQ(statusValue(status, "LastRunStatusCode"), "SUCCESS");
  EXPECT_EQ(statusValue(status, "Desc"),
            "VELKScheduler :  Delete Count [1]:  Add Count [1]:  VELKDefaultExe :  Delete Count "
            "[0]:  Add Count [1]:  VELKMobile :  Delete Count [0]:  Add Count [1]:");
  const std::vector<std::string> logged =
      messages(readFile(onlyStamped(in("ApplicationLog"), "Add_Delete_IniLog_", ".txt", false)));
  auto logs = [&logged](const std::string& m) {
    return std::find(logged.begin(), logged.end(), m) != logged.end();
  };
  EXPECT_TRUE(logs("MSG : Service stopped VELKScheduler"));
  EXPECT_TRUE(logs("MSG : Service started ::::::: VELKScheduler"));
#ifdef _WIN32
  EXPECT_EQ(testservice::serviceState("VELKScheduler"), static_cast<DWORD>(SERVICE_RUNNING));
#else
  EXPECT_EQ(serviceCalls(), "stop VELKScheduler\nstart VELKScheduler\n");
#endif

  // What the tables hold now, read back.
  auto value = [](const std::string& file, const std::string& section, const char* key) {
    char buf[1000] = {};
    plat::getPrivateProfileString(section.c_str(), key, "<missing>", buf, sizeof buf, file);
    return std::string(buf);
  };
  const std::string sched = in("Configuration\\VELKScheduler.ini");
  EXPECT_EQ(value(sched, "1", "ExecutableName"), "collector.exe");
  EXPECT_EQ(value(sched, "2", "ExecutableName"), "inventory.exe");
  EXPECT_EQ(value(sched, "2", "Interval"), "0");
  EXPECT_EQ(value(sched, "3", "ExecutableName"), "<missing>");
  const std::string procs = in("VELKDefaultExe.ini");
  EXPECT_EQ(value(procs, "Settings", "ProcessCount"), "2");
  EXPECT_EQ(value(procs, "Process2", "ApplicationName"), "Inventory");
  const std::string mobile = in("VELKMobile.ini");
  EXPECT_EQ(value(mobile, "DCConnURL", "Exe2Fire"), "2");
  EXPECT_EQ(value(mobile, "DCConnURL", "Exe2"), "inventory.exe");
  EXPECT_EQ(value(mobile, "ProxySettings", "ProxyIP"), "");
  // The backups keep the tables as the run found them.
  EXPECT_EQ(readFile(in("Configuration\\Bkp_VELKScheduler.ini")), ini(kSchedulerTable));
}

TEST_F(CfgmergeE2E, EarlyEndsInReadRegistry) {
  struct Case {
    const char* value;  // the value left out
    std::vector<std::string> logged;
  } cases[] = {
      {"TYPE", {"MSG : Application Started.", "MSG : Agent Type is missing in Registry. ",
                "MSG : Application End."}},
      {"REGID", {"MSG : Application Started.", "MSG : Regid path is missing",
                 "MSG : Application stopped"}},
      {"InstallationPath", {"MSG : Application Started.", "MSG : ZUVOZE Installation path is missing",
                            "MSG : Application stopped"}},
  };
  tables();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    reg.setString(kKey, "TYPE", "Desktop", k32);
    reg.setString(kKey, "REGID", "4711", k32);
    reg.setString(kKey, "InstallationPath", inst(), k32);
    plat::RegKey key = 0;
    ASSERT_EQ(plat::regOpenKey(plat::hklm(), kKey, plat::RegAccess::Full, k32, &key), 0u);
    EXPECT_EQ(plat::regDeleteValue(key, c.value), 0u);
    plat::regCloseKey(key);
    EXPECT_EQ(runIt(), 2);
    // The log stays in the program folder (each run replaces it); nothing else is written.
    EXPECT_EQ(messages(readFile(root.sub("prog\\Add_Delete_IniLog.txt"))), c.logged);
    EXPECT_FALSE(exists(root.sub("prog\\ScheduleUpdateStatus.txt")));
    EXPECT_FALSE(exists(in("PMStatus")));
    EXPECT_FALSE(exists(in("ApplicationLog")));
    EXPECT_FALSE(exists(in("Bkp_VELKMobile.ini")));
  }
}

TEST_F(CfgmergeE2E, ASecondInstanceEndsAtOnce) {
  tables();
  schedulerService();
  writeFile(root.sub("prog\\AddSection.ini"),
            ini({"[INI]", "VELKScheduler=1", "VELKDefaultExe=0", "[S]",
                 "ExecutableName=inventory.exe", "Parameter=", "StartTime=03:00", "EndTime=04:00",
                 "Interval=", "WeekDays=0000011"}));
  // The first run pauses 5 seconds after each service request.
  std::vector<std::pair<std::string, std::string>> slow = env;
  slow[0].second = "25";
  testing::RunResult first;
  before = plat::fmtYMDHMS(plat::localNow());
  std::thread firstRun([&] { first = runProgram(exe(), "", slow, 120000, prog()); });

  const std::string log = root.sub("prog\\Add_Delete_IniLog.txt");
  bool started = false;
  for (int i = 0; i < 300 && !started; ++i) {
    const std::vector<std::string> m = messages(readFile(log));
    started = std::find(m.begin(), m.end(), "MSG : Creating backup of VELKScheduler.ini") != m.end();
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(started) << "the first run did not get going";

  testing::RunResult second = runProgram(exe(), "", env, 60000, prog());
  EXPECT_EQ(second.exitCode, 1);
  // The second touched nothing: no result file yet, no archive yet.
  EXPECT_FALSE(exists(root.sub("prog\\ScheduleUpdateStatus.txt")));
  EXPECT_FALSE(exists(in("PMStatus")));

  firstRun.join();
  after = plat::fmtYMDHMS(plat::localNow());
  EXPECT_EQ(first.exitCode, 0);
  // The first run's log is whole: the second neither replaced nor wrote it.
  const std::vector<std::string> m =
      messages(readFile(onlyStamped(in("ApplicationLog"), "Add_Delete_IniLog_", ".txt", false)));
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[0], "MSG : Application Started.");
  EXPECT_EQ(std::count(m.begin(), m.end(), "MSG : Application Started."), 1);
  EXPECT_EQ(readFile(root.sub("prog\\ScheduleUpdateStatus.txt")), "SUCCESS");
}

}  // namespace
}  // namespace zuvoze::merger

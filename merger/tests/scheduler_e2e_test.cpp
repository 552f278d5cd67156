// One merge of the built cfgmerge on a realistic scheduler table: deletions
// and additions that are valid, invalid, repeated and in other letter case;
// the final table, the run log, the status outputs and the service calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scheduler_fixture.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger::testing {
namespace {

std::string stars(const std::string& title) { return std::string(40, '*') + title + std::string(40, '*'); }

std::string two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Schedule i of the agent's table: every one different, some without
// parameters, a few with Interval 0.
Sched scheduleNo(int i) {
  return Sched{"agent" + std::to_string(i) + ".exe",
               i % 4 == 0 ? "" : "-job " + std::to_string(i) + " /q",
               two(i % 24) + ":00",
               two((i % 24 + 2) % 24) + ":30",
               i % 5 == 0 ? "0" : std::to_string(5 * (i % 7 + 1)),
               i % 3 == 0 ? "1234567" : "12345"};
}

std::string upperAll(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The same schedule with its letters in upper case, but the ".exe" kept.
Sched otherCase(const Sched& s) {
  Sched u{upperAll(s.exe), upperAll(s.param), upperAll(s.start), upperAll(s.end),
          upperAll(s.interval), upperAll(s.days)};
  u.exe = u.exe.substr(0, u.exe.size() - 4) + ".exe";
  return u;
}

bool startsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

bool allDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string baseName(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

TEST(SchedulerEndToEnd, MergesRequestsIntoRealisticTable) {
  const std::string program = zt::builtProgram("cfgmerge");
  if (!zt::exists(program)) GTEST_SKIP() << "cfgmerge is not built in this tree";

  zt::TempDir dir;
  const std::string prog = dir.sub("prog");
  const std::string agent = dir.sub("agent");
  const std::string install = agent + "\\";
  zt::makeDirs(prog);
  zt::makeDirs(dir.sub("agent\\Configuration"));
  const std::string exe = prog + "\\" + baseName(program);
  ASSERT_EQ(plat::copyFile(program, exe), 0u);

  zt::TestRegistry reg;
  reg.setString("SOFTWARE\\ZUVOZE", "TYPE", "Desktop", plat::RegView::View32);
  reg.setString("SOFTWARE\\ZUVOZE", "REGID", "R-4711", plat::RegView::View32);
  reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", " " + agent + " ", plat::RegView::View32);

  // The agent's three tables; the requests touch only the scheduler table.
  std::vector<Sched> table;
  for (int i = 1; i <= 36; ++i) table.push_back(scheduleNo(i));
  const std::string before = settledTable(table);
  const std::string schedulerTable = install + "Configuration\\VELKScheduler.ini";
  zt::writeFile(schedulerTable, before);
  const std::string processes =
      "[Settings]\r\nProcessCount=1\r\n[Process1]\r\nApplicationName=Agent\r\nDescription=\r\n"
      "ProcessName=agent.exe\r\nParameter=\r\nWorkingDir=\r\nDays=1234567\r\nType=1\r\n"
      "MinAge=\r\nExpectedTime=10\r\nDisplay=Yes\r\n";
  const std::string mobile =
      "[DCConnURL]\r\nControllerPSite=https://c.example\r\nExe2Fire=1\r\nExe1=fire.exe\r\n"
      "Exe1TO=30\r\nExe1PM=1\r\n[ProxySettings]\r\nProxyIP=\r\nProxyPort=\r\n";
  zt::writeFile(install + "VELKDefaultExe.ini", processes);
  zt::writeFile(install + "VELKMobile.ini", mobile);

  const Sched new1{"report.exe", "-daily", "01:00", "02:00", "60", "12345"};
  const Sched new2{"cleanup.exe", "", "03:00", "04:00", "", "67"};  // stored with Interval 0
  const Sched new3{"sync.exe", "/all", "05:00", "23:00", "15", "1234567"};
  Sched noStart = new3;
  noStart.exe = "late.exe";
  noStart.start = "";
  Sched upperExe = new1;
  upperExe.exe = "NEW3.EXE";
  Sched emptyInterval = table[19];  // schedule 20 has Interval 0
  ASSERT_EQ(emptyInterval.interval, "0");
  emptyInterval.interval = "";
  Sched missing = new1;
  missing.exe = "nothere.exe";
  Sched invalidDelete = table[6];
  invalidDelete.exe = "agent7.EXE";

  zt::writeFile(prog + "\\DeleteSection.ini",
                requestFile("7", {table[4], otherCase(table[11]), table[29], table[4], missing,
                                  invalidDelete, emptyInterval}));
  zt::writeFile(prog + "\\AddSection.ini",
                requestFile("7", {new1, new2, new1, otherCase(table[2]), noStart, upperExe, new3}));

  std::vector<std::pair<std::string, std::string>> env{{"ZUVOZE_SLEEP_SCALE", "0"}};
#ifndef _WIN32
  const std::string calls = dir.sub("service-calls.txt");
  const std::string script = dir.sub("servicectl.sh");
  zt::writeFile(script, "#!/bin/sh\necho \"$1 $2\" >> '" + plat::hostPath(calls) + "'\nexit 0\n");
  std::filesystem::permissions(plat::hostPath(script), std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  env.emplace_back("ZUVOZE_SERVICECTL", plat::hostPath(script));
#endif

  const zt::RunResult result = zt::runProgram(exe, "", env, 120000, prog);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0);

  // The table: schedules 5, 12 and 30 gone, three new ones at the end,
  // numbered 1..36 again.
  std::vector<Sched> after = table;
  after.erase(after.begin() + 29);
  after.erase(after.begin() + 11);
  after.erase(after.begin() + 4);
  Sched new2Stored = new2;
  new2Stored.interval = "0";
  after.push_back(new1);
  after.push_back(new2Stored);
  after.push_back(new3);
  EXPECT_EQ(readBack(schedulerTable), settledReadback(after));
#ifndef _WIN32
  EXPECT_EQ(zt::readFile(schedulerTable), settledTable(after));
#endif
  EXPECT_EQ(zt::listDir(dir.sub("agent\\Configuration")),
            (std::vector<std::string>{"Bkp_VELKScheduler.ini", "VELKScheduler.ini"}));
  EXPECT_EQ(zt::readFile(install + "Configuration\\Bkp_VELKScheduler.ini"), before);
  EXPECT_EQ(zt::readFile(install + "VELKDefaultExe.ini"), processes);
  EXPECT_EQ(zt::readFile(install + "VELKMobile.ini"), mobile);
  EXPECT_FALSE(zt::exists(install + "cfgmerge_RunInProgress.txt"));

  // The run log, archived.
  EXPECT_FALSE(zt::exists(prog + "\\Add_Delete_IniLog.txt"));
  std::vector<std::string> archives = zt::listDir(dir.sub("agent\\ApplicationLog"));
  ASSERT_EQ(archives.size(), 1u);
  const std::string& archive = archives[0];
  EXPECT_TRUE(startsWith(archive, "Add_Delete_IniLog_") && archive.size() == 36 &&
              allDigits(archive.substr(18, 14)) && archive.substr(32) == ".txt")
      << archive;
  const std::string logText = zt::readFile(dir.sub("agent\\ApplicationLog\\" + archive));
  const std::string cfg = install + "Configuration\\VELKScheduler.ini";
  std::vector<std::string> expected{
      "MSG : Application Started.",
      "MSG : ZUVOZE Installation Path :--> " + install,
      "MSG : Creating backup of VELKScheduler.ini",
      "", stars("Deleting Sections from VELKScheduler.ini"),
      "MSG : Total sections in " + cfg + " is 36",
      "MSG : Total section [7] found in DeleteSection.ini",
      "MSG : Checking agent5.exe section exists or not.",
      "MSG : agent5.exe section exists.", "MSG : Deleting Section [5]",
      "MSG : AGENT12.exe section exists.", "MSG : Deleting Section [12]",
      "MSG : Deleting Section [30]",
      "MSG : agent5.exe section does not exists.",
      "MSG : nothere.exe section does not exists.",
      "MSG : agent7.EXE is not valid executable name. jump to next section",
      "MSG : agent20.exe section does not exists.",
      stars("Deleting Sections from VELKScheduler.ini"),
      stars("Adding new Section in VELKScheduler.ini"),
      "MSG : Total sections in " + cfg + " is 33",
      "MSG : Total [7] schedules found in AddSection.ini to Add",
      "MSG : report.exe section does not exist.",
      "MSG : Adding :--> 37 ExecutableName[ report.exe ].",
      "MSG : Adding :-->37 WeekDays[ 12345 ].",
      "MSG : Adding :--> 38 ExecutableName[ cleanup.exe ].",
      "MSG : Adding :-->38 Interval[ 0 ].",
      "MSG : report.exe section exist.",
      "MSG : AGENT3.exe section exist.",
      "MSG : StartTime is blank. jump to next section",
      "MSG : NEW3.EXE is not valid executable name. jump to next section",
      "MSG : Adding :--> 39 ExecutableName[ sync.exe ].",
      stars("End of Adding new Section in VELKScheduler.ini"),
      stars("Renumbering VELKScheduler.ini"),
      "MSG : ReNumbering :-->1 Application[ agent1.exe ].",
      "MSG : ReNumbering :-->5 Application[ agent6.exe ].",
      "MSG : ReNumbering :-->36 WeekDays[ 1234567 ].",
      stars("End Of Renumbering VELKScheduler.ini")};
#ifndef _WIN32
  expected.insert(expected.end(), {"MSG : Service stopped VELKScheduler",
                                   "MSG : Service started ::::::: VELKScheduler",
                                   "MSG : ScheduleUpdateStatus.txt Contents:--> SUCCESS"});
#else
  // No VELKScheduler service is installed in the Wine prefix.
  expected.insert(expected.end(), {"MSG : ScheduleUpdateStatus.txt Contents:--> FAILED"});
#endif
  expected.insert(expected.end(),
                  {"MSG : Creating PID File", "MSG : Application completed.",
                   "MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog",
                   "MSG : Application End.", "MSG : ZUVOZE\\ApplicationLog Folder does not exist"});
  expectLinesInOrder(logLinesOf(logText), expected, logText);

  // The status outputs.
  const std::string summary =
      "VELKScheduler :  Delete Count [3]:  Add Count [3]:  VELKDefaultExe :  Delete Count [0]: "
      " Add Count [0]:  VELKMobile :  Delete Count [0]:  Add Count [0]: ";
  std::vector<std::string> status = zt::listDir(dir.sub("agent\\PMStatus"));
  ASSERT_EQ(status.size(), 1u);
  EXPECT_TRUE(startsWith(status[0], "cfgmerge_R-4711_")) << status[0];
  const Readback statusInfo = readBack(dir.sub("agent\\PMStatus\\" + status[0]));
  ASSERT_EQ(statusInfo.size(), 1u);
  EXPECT_EQ(statusInfo[0].first, "STATUS_INFO");
  ASSERT_EQ(statusInfo[0].second.size(), 6u);
  EXPECT_EQ(statusInfo[0].second[0], "REGID=R-4711");
  EXPECT_EQ(statusInfo[0].second[2], "PID=cfgmerge");
  EXPECT_EQ(statusInfo[0].second[3], "SysID=");
#ifndef _WIN32
  EXPECT_EQ(zt::readFile(prog + "\\ScheduleUpdateStatus.txt"), "SUCCESS");
  // Values are read back without their trailing blanks; the file holds them.
  EXPECT_EQ(statusInfo[0].second[1], "Desc=" + summary.substr(0, summary.size() - 1));
  EXPECT_NE(zt::readFile(dir.sub("agent\\PMStatus\\" + status[0])).find("\r\nDesc=" + summary + "\r\n"),
            std::string::npos);
  EXPECT_EQ(statusInfo[0].second[5], "LastRunStatusCode=SUCCESS");
  EXPECT_EQ(zt::readFile(calls), "stop VELKScheduler\nstart VELKScheduler\n");
#else
  EXPECT_EQ(zt::readFile(prog + "\\ScheduleUpdateStatus.txt"), "FAILED");
  EXPECT_EQ(statusInfo[0].second[1], "Desc=" + summary + " VELKScheduler :");
  EXPECT_EQ(statusInfo[0].second[5], "LastRunStatusCode=FAILED");
  EXPECT_TRUE(logText.find("ERR : Cannot open service VELKScheduler") != std::string::npos);
#endif
}

}  // namespace
}  // namespace zuvoze::merger::testing

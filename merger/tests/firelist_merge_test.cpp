// cfgmerge end to end, with all three tables changed in one run: the built
// program runs from a program folder in a TempDir against an agent
// installation beside it; the fire list it leaves is checked byte for byte on
// the posix backend and section by section under Wine.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "merger/env.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/testsupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zuvoze::merger {
namespace {

using testing::exists;
using testing::listDir;
using testing::makeDirs;
using testing::readFile;
using testing::TempDir;
using testing::TestRegistry;
using testing::writeFile;

std::string ini(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// The connection keys of DCConnURL with sites, users and passwords as the
// agent keeps them (the passwords hold characters an INI file must carry).
std::vector<std::string> connectionLines() {
  const char* const kinds[] = {"Controller", "Job", "Data"};
  std::vector<std::string> out;
  for (const char* kind : kinds) {
    for (const char* ps : {"P", "S"}) {
      const std::string k = std::string(kind) + ps + "Site";
      out.push_back(k + "=https://" + kind + ps + ".example.net/svc?id=7&x=1");
      out.push_back(k + "User=" + kind + "_user");
      out.push_back(k + "Pwd=Pa$$;w0rd=#" + ps + "!");
    }
  }
  return out;
}

std::vector<std::string> entry(int n, const std::string& exe, const std::string& to,
                               const std::string& pm) {
  const std::string e = "Exe" + std::to_string(n);
  return {e + "=" + exe, e + "TO=" + to, e + "PM=" + pm};
}

std::vector<std::string> cat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The sections of an INI file in file order with their key lines, read back
// through the profile functions.
using Sections = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::vector<std::string> splitNul(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

Sections readBack(const std::string& file) {
  Sections out;
  std::string names(1 << 16, '\0');
  names.resize(plat::getPrivateProfileSectionNames(&names[0], 1 << 16, file));
  for (const std::string& name : splitNul(names)) {
    std::string lines(1 << 20, '\0');
    lines.resize(plat::getPrivateProfileSection(name.c_str(), &lines[0], 1 << 20, file));
    out.emplace_back(name, splitNul(lines));
  }
  return out;
}

class FireListMerge : public ::testing::Test {
 protected:
  void SetUp() override {
    makeDirs(prog());
    makeDirs(inst() + "\\Configuration");
    makeDirs(inst() + "\\PMStatus");
    makeDirs(inst() + "\\ApplicationLog");
    reg.setString("SOFTWARE\\ZUVOZE", "TYPE", "Desktop", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "REGID", "R-77", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", inst(), plat::RegView::View32);
#ifdef _WIN32
    exe = prog() + "\\cfgmerge.exe";
#else
    exe = prog() + "\\cfgmerge";
#endif
    ASSERT_EQ(0u, plat::copyFile(builtProgram(), exe));
#ifndef _WIN32
    chmod(plat::hostPath(exe).c_str(), 0755);
    serviceCtl = dir.path() + "/servicectl";
    writeFile(serviceCtl, "#!/bin/sh\necho \"$1 $2\" >> \"" + dir.path() + "/service-calls.txt\"\nexit 0\n");
    chmod(serviceCtl.c_str(), 0755);
#endif
  }
  static std::string builtProgram() { return testing::builtProgram("cfgmerge"); }

  std::string prog() const { return dir.sub("prog"); }
  std::string inst() const { return dir.sub("agent"); }

  testing::RunResult runMerge() {
    std::vector<std::pair<std::string, std::string>> env = {{"ZUVOZE_SLEEP_SCALE", "0"}};
#ifndef _WIN32
    env.emplace_back("ZUVOZE_SERVICECTL", serviceCtl);
#endif
    return testing::runProgram(exe, "", env, 120000, prog());
  }

  TempDir dir;
  TestRegistry reg;
  std::string exe, serviceCtl;
};

TEST_F(FireListMerge, AllThreeTablesInOneRun) {
  const std::string sched = ini({"[1]", "ExecutableName=old.exe", "Parameter=-a", "StartTime=01:00",
                                 "EndTime=02:00", "Interval=0", "WeekDays=1", "", "",
                                 "[2]", "ExecutableName=keep.exe", "Parameter=", "StartTime=03:00",
                                 "EndTime=04:00", "Interval=5", "WeekDays=12", "", ""});
  const std::string process = ini(
      {"[Settings]", "ProcessCount=2", "[Process1]", "ApplicationName=OldApp", "Description=o",
       "ProcessName=oldapp.exe", "Parameter=", "WorkingDir=", "Days=1", "Type=1", "MinAge=",
       "ExpectedTime=5", "Display=Yes", "[Process2]", "ApplicationName=KeepApp",
       "Description=k", "ProcessName=keepapp.exe", "Parameter=-k", "WorkingDir=", "Days=2",
       "Type=2", "MinAge=1", "ExpectedTime=6", "Display=Yes"});
  const std::vector<std::string> conn = connectionLines();
  const std::string mobile =
      ini(cat({{"[General]", "AgentName=Desk 1", "Version=7.2"},
               {"[DCConnURL]"}, conn, {"Exe2Fire=3"},
               entry(1, "a.exe", "30", "x"), entry(2, "b.exe", "60", "y"),
               entry(3, "c.exe", "90", "z"),
               {"[ProxySettings]", "ProxyIP=10.1.2.3", "ProxyPort=8080"},
               {"[Other]", "Mode=2", "Note=kept as it is"}}));
  writeFile(inst() + "\\Configuration\\VELKScheduler.ini", sched);
  writeFile(inst() + "\\VELKDefaultExe.ini", process);
  writeFile(inst() + "\\VELKMobile.ini", mobile);

  writeFile(prog() + "\\AddSection.ini",
            ini(cat({{"[INI]", "VELKScheduler=1", "VELKDefaultExe=1"},
                     {"[NewSchedule]", "ExecutableName=new.exe", "Parameter=-n",
                      "StartTime=05:00", "EndTime=06:00", "Interval=15", "WeekDays=1234567"},
                     {"[NewProcess]", "ApplicationName=NewApp", "Description=n",
                      "ProcessName=newapp.exe", "Parameter=", "Days=7", "Type=3", "MinAge=2",
                      "ExpectedTime=9"},
                     {"[DCConnURL]", "Exe2Fire=2"}, entry(1, "d.exe", "15", "w"),
                     entry(2, "A.EXE", "30", "X")})));
  writeFile(prog() + "\\DeleteSection.ini",
            ini(cat({{"[INI]", "VELKScheduler=1", "VELKDefaultExe=1"},
                     {"[OldSchedule]", "ExecutableName=old.exe", "Parameter=-a",
                      "StartTime=01:00", "EndTime=02:00", "Interval=0", "WeekDays=1"},
                     {"[OldProcess]", "ApplicationName=OldApp", "ProcessName=oldapp.exe",
                      "Parameter=", "Days=1", "Type=1", "ExpectedTime=5"},
                     {"[DCConnURL]", "Exe2Fire=1"}, entry(1, "B.exe", "60", "Y")})));

  testing::RunResult rr = runMerge();
  ASSERT_FALSE(rr.timedOut);
  EXPECT_EQ(0, rr.exitCode);

  const std::string table = inst() + "\\VELKMobile.ini";
  const Sections expected = {
      {"General", {"AgentName=Desk 1", "Version=7.2"}},
      {"DCConnURL", cat({conn, {"Exe2Fire=3"}, entry(1, "a.exe", "30", "x"),
                         entry(2, "c.exe", "90", "z"), entry(3, "d.exe", "15", "w")})},
      {"ProxySettings", {"ProxyIP=10.1.2.3", "ProxyPort=8080"}},
      {"Other", {"Mode=2", "Note=kept as it is"}},
  };
  EXPECT_EQ(expected, readBack(table));
#ifndef _WIN32
  std::string bytes;
  for (const auto& [name, lines] : expected) bytes += "[" + name + "]\r\n" + ini(lines) + "\r\n\r\n";
  EXPECT_EQ(bytes, readFile(table));
#endif
  EXPECT_EQ(mobile, readFile(inst() + "\\Bkp_VELKMobile.ini"));
  EXPECT_FALSE(exists(inst() + "\\New_VELKMobile.ini"));
  EXPECT_FALSE(exists(inst() + "\\Old_VELKMobile.ini"));

  // The other two tables changed in the same run.
  Sections s = readBack(inst() + "\\Configuration\\VELKScheduler.ini");
  ASSERT_EQ(2u, s.size());
  EXPECT_EQ("ExecutableName=keep.exe", s[0].second.at(0));
  EXPECT_EQ("ExecutableName=new.exe", s[1].second.at(0));
  Sections p = readBack(inst() + "\\VELKDefaultExe.ini");
  ASSERT_EQ(3u, p.size());
  EXPECT_EQ("ProcessCount=2", p[0].second.at(0));
  EXPECT_EQ("ApplicationName=KeepApp", p[1].second.at(0));
  EXPECT_EQ("ApplicationName=NewApp", p[2].second.at(0));

  // The archived log tells what happened to the fire list.
  std::vector<std::string> logs = listDir(inst() + "\\ApplicationLog");
  ASSERT_EQ(1u, logs.size());
  const std::string log = readFile(inst() + "\\ApplicationLog\\" + logs[0]);
  for (const char* line : {"\tMSG :Deleting B.exe", "\tMSG :Adding d.exe into VELKMobile.ini\r\n",
                           "\tMSG : A.EXE exists.\r\n", "End Of Regenerating VELKMobile.ini"})
    EXPECT_NE(std::string::npos, log.find(line)) << line;
#ifndef _WIN32
  // With the stand-in service manager the restart succeeds: the run is SUCCESS.
  EXPECT_EQ("SUCCESS", readFile(prog() + "\\ScheduleUpdateStatus.txt"));
  EXPECT_EQ("stop VELKScheduler\nstart VELKScheduler\n", readFile(dir.path() + "/service-calls.txt"));
  std::vector<std::string> status = listDir(inst() + "\\PMStatus");
  ASSERT_EQ(1u, status.size());
  const std::string desc = "VELKScheduler :  Delete Count [1]:  Add Count [1]:  VELKDefaultExe :  "
                           "Delete Count [1]:  Add Count [1]:  VELKMobile :  Delete Count [1]:  "
                           "Add Count [1]: ";
  EXPECT_NE(std::string::npos,
            readFile(inst() + "\\PMStatus\\" + status[0]).find("Desc=" + desc + "\r\n"));
#endif
}

}  // namespace
}  // namespace zuvoze::merger

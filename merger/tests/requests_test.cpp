// Reading request items of AddSection.ini / DeleteSection.ini.
#include <gtest/gtest.h>

#include <string>

#include "merger/env.h"
#include "merger/requests.h"
#include "merger/runstate.h"
#include "test_util.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::TempDir;
using testing::writeFile;
using testutil::ini;

class RequestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setProgramFolderForTest(dir.path());
    plat::setSleepHook([](uint32_t) {});
  }
  void TearDown() override {
    plat::setSleepHook(nullptr);
    setProgramFolderForTest("");
  }
  TempDir dir;
};

TEST_F(RequestsTest, FilesLieInTheProgramFolder) {
  EXPECT_EQ(addSectionFile(), GetShortpath(dir.path()) + "\\AddSection.ini");
  EXPECT_EQ(deleteSectionFile(), GetShortpath(dir.path()) + "\\DeleteSection.ini");
}

TEST_F(RequestsTest, SchedulerRequest) {
  writeFile(addSectionFile(),
            ini({"[INI]", "VELKScheduler=1", "VELKDefaultExe=0", "[Sched1]",
                 "ExecutableName=  backup.exe  ", "Parameter=-q  -x", "StartTime=08:00",
                 "EndTime=18:00", "Interval=", "WeekDays=1111100"}));
  SchedulerRequest add = readSchedulerRequest(addSectionFile(), "Sched1", true);
  EXPECT_EQ(add.executableName, "backup.exe");
  EXPECT_EQ(add.parameter, "-q  -x");
  EXPECT_EQ(add.startTime, "08:00");
  EXPECT_EQ(add.endTime, "18:00");
  EXPECT_EQ(add.interval, "0");  // empty Interval of an addition
  EXPECT_EQ(add.weekDays, "1111100");
  SchedulerRequest del = readSchedulerRequest(addSectionFile(), "sched1", false);
  EXPECT_EQ(del.interval, "");  // stays empty for a deletion
  EXPECT_EQ(del.executableName, "backup.exe");
}

TEST_F(RequestsTest, SchedulerRequestValidity) {
  const SchedulerRequest good{"a.exe", "0", "", "08:00", "18:00", "1111111"};
  EXPECT_TRUE(isValidSchedulerRequest(good));
  auto with = [&](auto change) {
    SchedulerRequest r = good;
    change(r);
    return isValidSchedulerRequest(r);
  };
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.executableName = "a.EXE"; }));
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.executableName = "a.exe.bak"; }));
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.executableName = "exe"; }));
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.startTime = ""; }));
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.endTime = ""; }));
  EXPECT_FALSE(with([](SchedulerRequest& r) { r.weekDays = ""; }));
  EXPECT_TRUE(with([](SchedulerRequest& r) { r.interval = ""; }));   // optional
  EXPECT_TRUE(with([](SchedulerRequest& r) { r.parameter = "x"; }));  // optional
}

TEST_F(RequestsTest, ProcessRequest) {
  writeFile(deleteSectionFile(),
            ini({"[INI]", "VELKScheduler=0", "VELKDefaultExe=1", "[P]", "ApplicationName= Mon ",
                 "Description=desc", "ProcessName=mon.exe", "Parameter=", "Days=127", "Type=1",
                 "MinAge=5", "ExpectedTime=10"}));
  ProcessRequest add = readProcessRequest(deleteSectionFile(), "P", true);
  EXPECT_EQ(add.applicationName, "Mon");
  EXPECT_EQ(add.description, "desc");
  EXPECT_EQ(add.minAge, "5");
  EXPECT_EQ(add.expectedTime, "10");
  EXPECT_TRUE(isValidProcessRequest(add));
  ProcessRequest del = readProcessRequest(deleteSectionFile(), "P", false);
  EXPECT_EQ(del.description, "");  // a deletion does not read these
  EXPECT_EQ(del.minAge, "");
  EXPECT_EQ(del.processName, "mon.exe");
  EXPECT_TRUE(isValidProcessRequest(del));
  del.processName = "mon.Exe";
  EXPECT_FALSE(isValidProcessRequest(del));
  del.processName = "mon.exe";
  del.days = "";
  EXPECT_FALSE(isValidProcessRequest(del));
}

TEST_F(RequestsTest, FireRequests) {
  const std::string long150(150, 'L');
  writeFile(addSectionFile(), ini({"[INI]", "VELKScheduler=0", "VELKDefaultExe=0", "[DCConnURL]",
                                   "Exe2Fire=3", "Exe1=agent.exe", "EXE1to=60", "Exe1PM=1",
                                   "Exe2=" + long150}));
  FireRequest r1 = readFireRequest(addSectionFile(), 1);
  EXPECT_EQ(r1.exe, "agent.exe");
  EXPECT_EQ(r1.to, "60");
  EXPECT_EQ(r1.pm, "1");
  EXPECT_FALSE(r1.allMissing);
  FireRequest r2 = readFireRequest(addSectionFile(), 2);
  EXPECT_EQ(r2.exe, long150);  // whole, however long
  EXPECT_EQ(r2.to, "Default");
  EXPECT_EQ(r2.pm, "Default");
  EXPECT_FALSE(r2.allMissing);
  FireRequest r3 = readFireRequest(addSectionFile(), 3);
  EXPECT_EQ(r3.exe, "Default");
  EXPECT_EQ(r3.to, "Default");
  EXPECT_EQ(r3.pm, "Default");
  EXPECT_TRUE(r3.allMissing);
  EXPECT_TRUE(readFireRequest(dir.sub("none.ini"), 1).allMissing);
}

TEST_F(RequestsTest, FireRequestCountIsLenient) {
  struct Case {
    const char* value;  // nullptr: no Exe2Fire key
    int count;
  } cases[] = {{"3", 3}, {"", 0}, {"abc", 0}, {"12abc", 12}, {"2.5", 2}, {"3.5", 4}, {nullptr, 0}};
  for (const Case& c : cases) {
    std::string text = "[DCConnURL]\r\n";
    if (c.value) text += std::string("Exe2Fire=") + c.value + "\r\n";
    writeFile(deleteSectionFile(), text);
    EXPECT_EQ(readFireRequestCount(deleteSectionFile()), c.count) << (c.value ? c.value : "none");
  }
  EXPECT_EQ(readFireRequestCount(dir.sub("none.ini")), 0);
}

}  // namespace
}  // namespace zuvoze::merger

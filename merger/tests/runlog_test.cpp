// The run log: its lines and its archive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "test_util.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::exists;
using testing::listDir;
using testing::makeDirs;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;
using testutil::messages;

const plat::LocalTime kT{2026, 1, 31, 23, 5, 9};

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetRunState();
    makeDirs(dir.sub("prog"));
    makeDirs(dir.sub("inst"));
    setProgramFolderForTest(dir.sub("prog"));
    run().installationPath = dir.sub("inst") + "\\";
    plat::setClockForTest([] { return kT; });
  }
  void TearDown() override {
    plat::setClockForTest(nullptr);
    setProgramFolderForTest("");
    resetRunState();
  }
  std::string logPath() const { return dir.sub("prog\\Add_Delete_IniLog.txt"); }
  int moveLog() {
    try {
      MoveLogFile();
    } catch (const ProgramEnd& e) {
      return e.exitCode;
    }
    return -1;
  }
  TempDir dir;
};

TEST_F(RunLogTest, LineKinds) {
  WriteLog("lost: the log is not open yet");
  writePlain("lost too");
  writeFile(logPath(), "an earlier run's log\r\n");
  ASSERT_EQ(openRunLog(), 0u);
  WriteLog("MSG : Application Started.");
  writePlain("plain");
  writeSeparator();
  writeBanner("Adding new Section in VELKScheduler.ini");
  const std::string stars(40, '*');
  const std::string expected = plat::fmtDefaultDateTime(kT) + "\tMSG : Application Started.\r\n" +
                               "plain\r\n" + "\r\n\r\n" + stars +
                               "Adding new Section in VELKScheduler.ini" + stars + "\r\n";
  EXPECT_EQ(readFile(logPath()), expected);
}

TEST_F(RunLogTest, ArchiveIntoAnExistingFolder) {
  makeDirs(dir.sub("inst\\ApplicationLog"));
  ASSERT_EQ(openRunLog(), 0u);
  WriteLog("MSG : Application completed.");
  EXPECT_EQ(moveLog(), 0);
  WriteLog("after the end");  // the log is closed: lost without notice

  EXPECT_FALSE(exists(logPath()));
  ASSERT_EQ(listDir(dir.sub("inst\\ApplicationLog")),
            (std::vector<std::string>{"Add_Delete_IniLog_20260131230509.txt"}));
  EXPECT_EQ(messages(readFile(dir.sub("inst\\ApplicationLog\\Add_Delete_IniLog_20260131230509.txt"))),
            (std::vector<std::string>{"MSG : Application completed.",
                                      "MSG : Checking ZUVOZE\\Applicationlog folder exist or not",
                                      "MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog",
                                      "MSG : Application End."}));
}

TEST_F(RunLogTest, MissingArchiveFolderIsCreated) {
  ASSERT_EQ(openRunLog(), 0u);
  EXPECT_EQ(moveLog(), 0);
  EXPECT_FALSE(exists(logPath()));
  const std::string archive = dir.sub("inst\\ApplicationLog\\Add_Delete_IniLog_20260131230509.txt");
  ASSERT_TRUE(exists(archive));
  EXPECT_EQ(messages(readFile(archive)),
            (std::vector<std::string>{"MSG : Checking ZUVOZE\\Applicationlog folder exist or not",
                                      "MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog",
                                      "MSG : Application End.",
                                      "MSG : ZUVOZE\\ApplicationLog Folder does not exist"}));
}

TEST_F(RunLogTest, ArchiveOfTheSameSecondLeavesTheLogInPlace) {
  makeDirs(dir.sub("inst\\ApplicationLog"));
  const std::string archive = dir.sub("inst\\ApplicationLog\\Add_Delete_IniLog_20260131230509.txt");
  writeFile(archive, "older\r\n");
  ASSERT_EQ(openRunLog(), 0u);
  EXPECT_EQ(moveLog(), 0);
  EXPECT_EQ(readFile(archive), "older\r\n");
  EXPECT_EQ(messages(readFile(logPath())).back(), "MSG : Application End.");
}

}  // namespace
}  // namespace zuvoze::merger

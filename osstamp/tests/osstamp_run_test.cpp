// osstamp run as a program from a folder of its own: the values it records
// are what this machine's management service answers (the same query made
// here), and its log lies next to it, overwritten by the next run.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/osquery.h"
#include "zuvoze/testsupport.h"

namespace {

namespace plat = zuvoze::plat;
using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;

const char* const kKey = "SOFTWARE\\VelkVersion";

class OsstampProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::RegKey k = 0;
    ASSERT_EQ(plat::regCreateKey(plat::hklm(), "SOFTWARE", plat::RegView::Default, &k), 0u);
    plat::regCloseKey(k);
#ifdef _WIN32
    exe = dir.path() + "\\osstamp.exe";
#else
    exe = dir.path() + "/osstamp";
#endif
    ASSERT_EQ(plat::copyFile(zuvoze::testing::builtProgram("osstamp"), exe), 0u);
    log = dir.path() + "\\osstamp_Log.txt";

    // What the program should find: the last instance's caption and the first
    // two parts of its version.
    std::vector<plat::OsInstance> instances;
    plat::OsQueryError e = plat::queryOperatingSystems(&instances);
    ASSERT_FALSE(e) << e.number << " " << e.description;
    ASSERT_FALSE(instances.empty());
    caption = instances.back().caption;
    const std::string& v = instances.back().version;
    std::string::size_type dot = v.find('.');
    ASSERT_NE(dot, std::string::npos) << v;
    version = v.substr(0, v.find('.', dot + 1));
  }

  void run() {
    zuvoze::testing::RunResult r = zuvoze::testing::runProgram(exe, "", {}, 60000);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
  }

  TempDir dir;
  TestRegistry reg{{kKey}};
  std::string exe, log, caption, version;
};

TEST_F(OsstampProgram, RecordsNameAndVersionAndLogsTheRun) {
  run();
  EXPECT_EQ(reg.getString(kKey, "strVersion"), version);
  EXPECT_EQ(reg.getString(kKey, "strOSName"), caption);

  std::vector<std::string> lines;
  ASSERT_EQ(plat::readLines(log, &lines), 0u);
  const std::vector<std::string> expected = {
      "\tMSG : Application Strated...",
      "====================================================================",
      "\tMSG : Calling Function fncGetWMIVersion ",
      "\tMSG : strOSName :" + caption,
      "\tMSG : strVersion :" + version,
      "\tMSG :  " + version + caption,
      "\tMSG : lngRetVal :0",
      "\tMSG : Registry Folder Created -VelkVersion ",
      "\tMSG : Registry Key  strVersion Created Sucessfully",
      "\tMSG : Registry Key  strOSName Created Sucessfully",
      "\tMSG :Application Stopped !!!  ",
  };
  ASSERT_EQ(lines.size(), expected.size());
  const std::regex stamp("(0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01])/[0-9]{2} "
                         "(0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (AM|PM)\t");
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 1) {
      EXPECT_EQ(lines[i], expected[i]);
      continue;
    }
    ASSERT_GE(lines[i].size(), 21u) << lines[i];
    EXPECT_TRUE(std::regex_match(lines[i].substr(0, 21), stamp)) << lines[i];
    EXPECT_EQ(lines[i].substr(21), expected[i]);
  }

  // A second run starts a new log.
  zuvoze::testing::writeFile(plat::hostPath(log), "old run\r\n");
  run();
  ASSERT_EQ(plat::readLines(log, &lines), 0u);
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_EQ(lines.front().substr(21), expected.front());
}

// A folder in the log's place: the run cannot log but still records the values.
TEST_F(OsstampProgram, RecordsWithoutALog) {
  ASSERT_EQ(plat::createFolder(log), 0u);
  run();
  EXPECT_TRUE(plat::folderExists(log));
  EXPECT_EQ(reg.getString(kKey, "strVersion"), version);
  EXPECT_EQ(reg.getString(kKey, "strOSName"), caption);
}

}  // namespace

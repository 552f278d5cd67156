// System information: folders, environment, the running program, its command
// line and the test for another running instance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

using namespace zuvoze::plat;
namespace zt = zuvoze::testing;

namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

TEST(System, ProgramPathFolderAndName) {
  std::string path = programPath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(fileExists(path));
  EXPECT_EQ("system_test", programName());
  std::string folder = programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE('\\', folder.back());
  EXPECT_NE('/', folder.back());
  EXPECT_TRUE(folderExists(folder));
  ASSERT_GT(path.size(), folder.size() + 1);
  EXPECT_EQ(folder, path.substr(0, folder.size()));
  std::string file = path.substr(folder.size() + 1);
  EXPECT_TRUE(file == "system_test" || lower(file) == "system_test.exe") << file;
#ifdef _WIN32
  EXPECT_EQ(folder + "\\helper.exe", zt::builtProgram("helper"));
#else
  EXPECT_EQ(folder + "/helper", zt::builtProgram("helper"));
#endif
}

TEST(System, SystemFolderIsSystem32OfTheWindowsFolder) {
  std::string win = windowsFolder();
  ASSERT_FALSE(win.empty());
  EXPECT_NE('\\', win.back());
  EXPECT_EQ(lower(win) + "\\system32", lower(systemFolder()));
}

TEST(System, EnvironmentVariables) {
  zt::setEnv("ZUVOZE_SYSTEM_TEST_VAR", "some value");
  EXPECT_EQ("some value", getEnv("ZUVOZE_SYSTEM_TEST_VAR"));
  zt::unsetEnv("ZUVOZE_SYSTEM_TEST_VAR");
  EXPECT_EQ("", getEnv("ZUVOZE_SYSTEM_TEST_VAR"));
  EXPECT_EQ("", getEnv("ZUVOZE_NEVER_SET_ANYWHERE"));
}

// Run as a child by the test below: reports what the child sees.
TEST(SystemChild, ReportsCommandLineAndInstance) {
  std::string out = getEnv("ZUVOZE_SYSTEM_CHILD_OUT");
  if (out.empty()) GTEST_SKIP() << "only run as a child of CommandLineAndSecondInstance";
  // What a program's main does first, with the arguments this process got.
  std::vector<std::string> args = ::testing::internal::GetArgvs();
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  initProcess(static_cast<int>(args.size()), argv.data());
  std::string report = "cmd=" + commandLineText() + "\n" +
                       "prev=" + (previousInstanceRunning() ? "1" : "0") + "\n";
  ASSERT_EQ(0u, writeTextFile(out, report));
}

TEST(System, CommandLineAndSecondInstance) {
  // This process is the first instance; the mark lasts as long as it lives.
  EXPECT_FALSE(previousInstanceRunning());
  EXPECT_FALSE(previousInstanceRunning());

  zt::TempDir dir;
  std::string out = dir.sub("child.txt");
  zt::RunResult r = zt::runProgram(programPath(),
                                   "  --gtest_filter=SystemChild.* first,second third",
                                   {{"ZUVOZE_SYSTEM_CHILD_OUT", out}}, 60000);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("cmd=--gtest_filter=SystemChild.* first,second third\nprev=1\n", zt::readFile(out));
}

}  // namespace

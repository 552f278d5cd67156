// Starting a program without waiting: batch files run in the command
// interpreter; a missing program is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/process.h"
#include "zuvoze/testsupport.h"

using namespace zuvoze::plat;
namespace zt = zuvoze::testing;

namespace {

// The start does not wait, so wait for the file, within bounds.
std::string waitForFile(const std::string& path) {
  for (int i = 0; i < 600; ++i) {
    std::string s = zt::readFile(path);
    if (s.find('\n') != std::string::npos) return s;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return zt::readFile(path);
}

std::string withoutCr(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

TEST(Process, BatchFileRunsHiddenAndWritesItsFile) {
  zt::TempDir dir;
  std::string folder = dir.sub("Agent Dir");
  zt::makeDirs(folder);
  for (const char* name : {"job.bat", "JOB2.CMD"}) {
    SCOPED_TRACE(name);
    std::string out = folder + "\\" + name + ".txt";
    zt::writeFile(folder + "\\" + name, "echo ran>\"" + out + "\"\r\n");
    ASSERT_EQ(kOk, startHidden("\"" + folder + "\\" + name + "\""));
    EXPECT_EQ("ran\n", withoutCr(waitForFile(out)));
  }
}

TEST(Process, MissingProgramGivesCode2) {
  zt::TempDir dir;
  EXPECT_EQ(kErrFileNotFound, startHidden("\"" + dir.sub("missing.bat") + "\" arg"));
  EXPECT_EQ(kErrFileNotFound, lastError());
  EXPECT_EQ(kErrFileNotFound, startHidden("\"" + dir.sub("missing.exe") + "\""));
  EXPECT_EQ(kErrFileNotFound, startHidden("zuvoze-no-such-program.exe -s"));
}

}  // namespace

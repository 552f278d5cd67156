// A merge that changes the fire list, killed after each of its changing file
// operations in turn: whatever the dead run left, VELKMobile.ini is the file
// as it was before, or as a complete run leaves it, or the next run restores
// it and completes the merge. The runs are forked children of this test (posix
// only: it needs fork), each the whole driver with the real procedures.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "zuvoze/testsupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "merger/driver.h"
#include "merger/env.h"
#include "merger/procedures.h"
#include "merger/recovery.h"
#include "merger/runstate.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/sleep.h"
#endif

namespace zuvoze::merger {
namespace {

#ifdef _WIN32

TEST(FireListCrash, KilledAfterEachFileOperation) {
  GTEST_SKIP() << "the crash runs are forked children; fork exists only on the posix build";
}

#else

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

const std::string kMobile = ini({"[General]", "AgentName=Desk 1", "[DCConnURL]",
                                 "ControllerPSite=https://c.example.net", "ControllerPSitePwd=s;3",
                                 "Exe2Fire=3", "Exe1=a.exe", "Exe1TO=30", "Exe1PM=x", "Exe2=b.exe",
                                 "Exe2TO=60", "Exe2PM=y", "Exe3=c.exe", "Exe3TO=90", "Exe3PM=z",
                                 "[ProxySettings]", "ProxyIP=10.1.2.3", "ProxyPort=8080"});
const std::string kAdd = ini({"[INI]", "VELKScheduler=0", "VELKDefaultExe=0", "[DCConnURL]",
                              "Exe2Fire=2", "Exe1=d.exe", "Exe1TO=15", "Exe1PM=w", "Exe2=e.exe",
                              "Exe2TO=5", "Exe2PM=v"});
const std::string kDelete = ini({"[INI]", "VELKScheduler=0", "VELKDefaultExe=0", "[DCConnURL]",
                                 "Exe2Fire=1", "Exe1=a.exe", "Exe1TO=30", "Exe1PM=x"});

class FireListCrash : public ::testing::Test {
 protected:
  // A fresh agent installation with the fire list and the request files.
  void prepare() {
    dir = std::make_unique<TempDir>();
    makeDirs(prog());
    makeDirs(inst());
    writeFile(inst() + "\\VELKMobile.ini", kMobile);
    writeFile(prog() + "\\AddSection.ini", kAdd);
    writeFile(prog() + "\\DeleteSection.ini", kDelete);
    reg.setString("SOFTWARE\\ZUVOZE", "TYPE", "Desktop", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "REGID", "R-9", plat::RegView::View32);
    reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", inst(), plat::RegView::View32);
  }
  std::string prog() const { return dir->sub("prog"); }
  std::string inst() const { return dir->sub("agent"); }
  std::string mobile() const { return readFile(inst() + "\\VELKMobile.ini"); }
  std::string marker() const {
    run().installationPath = inst() + "\\";
    return runMarkerFile();
  }

  // One run of the whole driver in a child process, with the real table
  // procedures. With killAfter > 0 the child ends with exit status 9 right
  // before its killAfter-th changing file operation. Returns the child's exit
  // status (the driver's exit code when it was not killed).
  int runChild(int killAfter) {
    pid_t pid = fork();
    if (pid == 0) {
      int seen = 0;
      resetRunState();
      installTableProcedures(run().procedures);
      setProgramFolderForTest(prog());
      plat::setSleepHook([](uint32_t) {});
      const std::string cutFile = dir->path() + "/cut.txt";
      if (killAfter > 0)
        plat::setMutationHook([&seen, killAfter, cutFile](const char* op, const std::string& path) {
          if (++seen != killAfter) return;
          // Names the operation that was cut, for the messages of the test.
          const std::string what = std::string(op) + " " + path;
          int fd = ::open(cutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
          if (fd >= 0) {
            ssize_t ignored = ::write(fd, what.data(), what.size());
            (void)ignored;
            ::close(fd);
          }
          _exit(9);
        });
      _exit(runMain());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::unique_ptr<TempDir> dir;
  TestRegistry reg;
};

TEST_F(FireListCrash, KilledAfterEachFileOperation) {
  // The complete run: what the file is after it.
  prepare();
  ASSERT_EQ(0, runChild(0));
  const std::string after = mobile();
  ASSERT_NE(kMobile, after);
  ASSERT_NE(std::string::npos, after.find("Exe2Fire=4\r\n")) << after;
  ASSERT_NE(std::string::npos, after.find("Exe4=e.exe\r\n")) << after;

  int killed = 0;
  for (int n = 1; n < 2000; ++n) {
    prepare();
    const int rc = runChild(n);
    if (rc != 9) {
      ASSERT_EQ(0, rc) << "run " << n;
      EXPECT_EQ(after, mobile()) << "a run that was not killed";
      break;
    }
    ++killed;
    const std::string cut = "operation " + std::to_string(n) + " (" +
                            readFile(dir->path() + "/cut.txt") + ")";
    const std::string left = mobile();
    const bool marked = testing::exists(marker());
    if (!marked) {
      EXPECT_TRUE(left == kMobile || left == after)
          << "killed before " << cut << " without a marker, left:\n" << left;
    }
    // The next run restores what needs restoring and completes the merge.
    ASSERT_EQ(0, runChild(0)) << "the run after the one killed before " << cut;
    EXPECT_EQ(after, mobile()) << "after the run killed before " << cut;
    EXPECT_FALSE(testing::exists(marker())) << n;
  }
  EXPECT_GT(killed, 20) << "the merge changes files many times";
  std::cout << "[ INFO     ] a fire-list merge was cut at each of its " << killed
            << " changing file operations\n";
}

#endif

}  // namespace
}  // namespace zuvoze::merger

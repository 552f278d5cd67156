// portwatch run in-process on prepared connection lists: the batch file is
// written but not started, the wait is recorded, and the log and the output
// file are compared byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "portwatch/modmain.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zuvoze::portwatch {
namespace {

using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;

const char* const kStamp = "12/11/26 02:05:09 PM\t";
const char* const kLogName = "portwatch_Log202612111405.txt";

std::string rule() { return std::string(80, '-') + "\r\n"; }
std::string entry(const std::string& text) { return kStamp + text + "\r\n"; }

// The log of a run whose verdicts per port 2002..2007 are given as letters:
// N "Port Not listening", L "Port listening", - neither; E an unreadable list.
std::string expectedLog(const std::string& verdicts, const std::string& afterHeader) {
  std::string log = rule() + entry("MSG : Application started...") + rule() + afterHeader;
  for (int i = 0; i < 6; ++i) {
    const std::string p = std::to_string(2002 + i);
    log += entry("MSG : Checking Port  :" + p);
    if (verdicts[i] == 'N') log += entry("MSG : Port Not listening : " + p);
    if (verdicts[i] == 'L') log += entry("MSG : Port listening : " + p);
  }
  return log + rule() + entry("MSG : Application Stopped") + rule();
}

std::string expectedOutput(const std::string& verdicts) {
  std::string out;
  for (int i = 0; i < 6; ++i) {
    if (verdicts[i] == 'L') out += std::to_string(2002 + i) + "\r\n";
  }
  return out;
}

class PortwatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    install = dir.path() + "\\Agent";
    zuvoze::testing::makeDirs(install + "\\ApplicationLog");
    reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", install);
    plat::setClockForTest([] {
      plat::LocalTime t;
      t.year = 2026, t.month = 12, t.day = 11, t.hour = 14, t.minute = 5, t.second = 9;
      return t;
    });
    plat::setSleepHook([this](uint32_t ms) { slept.push_back(ms); });
    setStarter([this](const std::string& command) {
      started.push_back(command);
      return 0u;
    });
  }
  void TearDown() override {
    setStarter(nullptr);
    plat::setSleepHook(nullptr);
    plat::setClockForTest(nullptr);
  }
  std::string file(const std::string& name) { return install + "\\" + name; }
  std::string log() {
    return zuvoze::testing::readFile(install + "\\ApplicationLog\\portwatch_Log\\" + kLogName);
  }

  TempDir dir;
  TestRegistry reg;
  std::string install;
  std::vector<std::string> started;
  std::vector<uint32_t> slept;
};

// Recorded connection lists (Windows netstat -a, CR LF) and what they mean for
// the ports 2002..2007.
struct ListCase {
  const char* name;
  const char* list;  // nullptr: no AllPorts.txt
  const char* verdicts;
};

const char* const kHeader = "\r\nActive Connections\r\n\r\n"
                            "  Proto  Local Address          Foreign Address        State\r\n";

const ListCase kListCases[] = {
    {"ListenersOn2002And2005",
     "  TCP    0.0.0.0:135            DESKTOP-7Q:0           LISTENING\r\n"
     "  TCP    0.0.0.0:2002           DESKTOP-7Q:0           LISTENING\r\n"
     "  TCP    127.0.0.1:2005         DESKTOP-7Q:0           LISTENING\r\n"
     "  TCP    192.168.1.20:49712     server-17:https        ESTABLISHED\r\n"
     "  UDP    0.0.0.0:500            *:*                    \r\n",
     "NLLNLL"},
    // The digits appear, but the local port is a longer number: seen, no verdict.
    {"LongerPortNumbers",
     "  TCP    0.0.0.0:20021          DESKTOP-7Q:0           LISTENING\r\n"
     "  TCP    0.0.0.0:52003          DESKTOP-7Q:0           LISTENING\r\n",
     "--LLLL"},
    {"UdpLineCounts", "  UDP    0.0.0.0:2004           *:*                    \r\n", "LLNLLL"},
    // No blank after the port: the token is no number, which counts as a match.
    {"TokenThatIsNoNumber",
     "x:2003:y\r\n"
     "  TCP\t0.0.0.0:2005\tDESKTOP-7Q:0\tLISTENING\r\n",
     "LNLNLL"},
    // A foreign port is never examined; a foreign host name is, up to its colon.
    {"ForeignAddresses",
     "  TCP    10.0.0.5:49800         10.0.0.9:2006          ESTABLISHED\r\n"
     "  TCP    10.0.0.5:49801         host2007:https         ESTABLISHED\r\n",
     "LLLLL-"},
    // Seen through a host name first, named as the local port further down.
    {"MatchAfterSeen",
     "  TCP    10.0.0.5:49802         pc2002:https           ESTABLISHED\r\n"
     "  TCP    0.0.0.0:2002           DESKTOP-7Q:0           LISTENING\r\n",
     "NLLLLL"},
    // A bracketed IPv6 address holds colons of its own: the line does not match.
    {"Ipv6LineDoesNotMatch",
     "  TCP    [::]:2003              DESKTOP-7Q:0           LISTENING\r\n"
     "  TCP    0.0.0.0:2004\r\n",
     "LLLLLL"},
    // net-tools' form on posix, LF only: IPv4 lines count, ":::" lines do not.
    {"NetToolsList",
     "Active Internet connections (servers and established)\n"
     "Proto Recv-Q Send-Q Local Address           Foreign Address         State      \n"
     "tcp        0      0 0.0.0.0:2004            0.0.0.0:*               LISTEN     \n"
     "tcp6       0      0 :::2005                 :::*                    LISTEN     \n"
     "udp        0      0 127.0.0.1:2007          0.0.0.0:*                          \n",
     "LLNLLN"},
    {"EmptyList", "", "LLLLLL"},
    {"NoList", nullptr, "LLLLLL"},
};

TEST_F(PortwatchRun, ListCasesGiveLogAndOutput) {
  for (const ListCase& c : kListCases) {
    SCOPED_TRACE(c.name);
    plat::deleteFile(file("AllPorts.txt"), true);
    if (c.list != nullptr) {
      const bool windowsForm = std::string(c.list).find("\r\n") != std::string::npos;
      zuvoze::testing::writeFile(file("AllPorts.txt"), (windowsForm ? kHeader : "") + std::string(c.list));
    }
    Main();
    EXPECT_EQ(log(), expectedLog(c.verdicts, entry("MSG : Output file created ")));
    EXPECT_EQ(zuvoze::testing::readFile(file("LMIportwatch.txt")), expectedOutput(c.verdicts));
  }
}

// The batch file, its start and the wait, with netstat on the search path.
TEST_F(PortwatchRun, WritesAndStartsTheBatchFileAndWaits) {
#ifndef _WIN32
  // A netstat on PATH keeps the command as it is on Windows.
  TempDir bin;
  zuvoze::testing::writeFile(bin.sub("netstat"), "#!/bin/sh\n");
  const std::string oldPath = plat::getEnv("PATH");
  zuvoze::testing::setEnv("PATH", bin.path());
#endif
  Main();
#ifndef _WIN32
  zuvoze::testing::setEnv("PATH", oldPath);
#endif
  EXPECT_EQ(zuvoze::testing::readFile(file("LMIportwatch.bat")),
            "netstat -a >\"" + install + "\\AllPorts.txt\"\r\n");
  EXPECT_EQ(started, std::vector<std::string>{"\"" + install + "\\LMIportwatch.bat\""});
  EXPECT_EQ(slept, std::vector<uint32_t>{20000});
  EXPECT_TRUE(plat::folderExists(install + "\\ApplicationLog\\portwatch_Log"));
}

#ifndef _WIN32
// Without netstat on the search path, the batch file runs the lister that is
// installed beside the program (here: beside the test executable).
TEST_F(PortwatchRun, UsesTheListerWhereNetstatIsMissing) {
  const std::string lister = plat::programFolder() + "/zuvoze-netstat";
  if (!plat::fileExists(lister)) GTEST_SKIP() << "zuvoze-netstat is not built beside the tests";
  TempDir bin;
  const std::string oldPath = plat::getEnv("PATH");
  zuvoze::testing::setEnv("PATH", bin.path());
  Main();
  zuvoze::testing::setEnv("PATH", oldPath);
  EXPECT_EQ(zuvoze::testing::readFile(file("LMIportwatch.bat")),
            "\"" + plat::hostPath(lister) + "\" -a >\"" + install + "\\AllPorts.txt\"\r\n");
}
#endif

// A list that exists but cannot be read: no port is handed out, each check
// logs an error, and the run ends normally.
TEST_F(PortwatchRun, UnreadableListHandsOutNoPort) {
  const std::string list = file("AllPorts.txt");
#ifdef _WIN32
  zuvoze::testing::writeFile(list, std::string(kHeader));
  HANDLE h = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
#else
  // A file that exists and opens, but whose reading fails (EIO), also for root.
  ASSERT_EQ(symlink("/proc/self/mem", plat::hostPath(list).c_str()), 0);
#endif
  Main();
#ifdef _WIN32
  CloseHandle(h);
#endif
  const std::string text = log();
  for (int p = 2002; p <= 2007; ++p) {
    const std::string port = std::to_string(p);
    EXPECT_NE(text.find("MSG : Checking Port  :" + port + "\r\n" + kStamp + "ERR : Cannot read "),
              std::string::npos)
        << port;
    EXPECT_NE(text.find("Port " + port + " is taken as in use.\r\n"), std::string::npos) << port;
    EXPECT_EQ(text.find("listening : " + port), std::string::npos) << port;
  }
  EXPECT_NE(text.find("MSG : Application Stopped"), std::string::npos);
  EXPECT_EQ(zuvoze::testing::readFile(file("LMIportwatch.txt")), "");
}

// Failing steps after the start are logged and skipped: no output file, no
// batch file (so no start), and the list an earlier run left is read.
TEST_F(PortwatchRun, FailingStepsAreSkipped) {
  zuvoze::testing::makeDirs(file("LMIportwatch.txt"));
  zuvoze::testing::makeDirs(file("LMIportwatch.bat"));
  zuvoze::testing::writeFile(file("AllPorts.txt"),
                             std::string(kHeader) +
                                 "  TCP    0.0.0.0:2003           DESKTOP-7Q:0           LISTENING\r\n");
  Main();
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(slept, std::vector<uint32_t>{20000});
  std::string text = log();
  // Apart from the two error entries the log is that of a normal run.
  for (const std::string& err : {"ERR : Cannot create " + file("LMIportwatch.txt") + " - ",
                                 "ERR : Cannot write " + file("LMIportwatch.bat") + " - "}) {
    std::string::size_type at = text.find(err);
    ASSERT_NE(at, std::string::npos) << err << "\n" << text;
    std::string::size_type begin = text.rfind("\r\n", at) + 2;
    text.erase(begin, text.find("\r\n", at) + 2 - begin);
  }
  EXPECT_EQ(text, expectedLog("LNLLLL", ""));
}

// Without an ApplicationLog folder the run ends at once: no log, no files.
TEST_F(PortwatchRun, NoApplicationLogFolderEndsAtOnce) {
  TempDir other;
  reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", other.path() + "\\");
  Main();
  EXPECT_TRUE(zuvoze::testing::listDir(other.path()).empty());
  EXPECT_TRUE(started.empty());
  EXPECT_TRUE(slept.empty());
}

}  // namespace
}  // namespace zuvoze::portwatch

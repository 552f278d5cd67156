// rcdeploy run as a program, with nothing installed: on posix the system
// folder is one of the test's own, whose msiexec.exe is a script that records
// its arguments; under Wine the system's msiexec runs without a package (the
// deployment folder holds none), fails at once, and leaves only the installer
// log that the command line names, which shows that lmi.bat was started.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;
namespace plat = zuvoze::plat;

const char* const kK = "p7wexk3mhq9tdz2vcs6rnj4lyb8gf5u0oaie1ytw";
const char* const kB = "m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r";

bool waitFor(const std::string& path, int seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (zuvoze::testing::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return zuvoze::testing::exists(path);
}

#ifndef _WIN32
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string::size_type start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}
#endif

class RcdeployProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    install = root.path() + "\\Agent";
    deploy = root.path() + "\\Deploy\\";
    zuvoze::testing::makeDirs(install + "\\SetupLogs");
    zuvoze::testing::makeDirs(deploy + "LMI");
    reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", install);
#ifdef _WIN32
    exe = root.path() + "\\Program\\rcdeploy.exe";
#else
    exe = root.path() + "/Program/rcdeploy";
    // The stand-in installer: one argument per line, the file appears whole.
    const std::string system = root.path() + "/Win/System32";
    zuvoze::testing::makeDirs(system);
    zuvoze::testing::writeFile(system + "/msiexec.exe",
                               "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                   root.path() + "/args.tmp\"\nmv \"" + root.path() + "/args.tmp\" \"" +
                                   root.path() + "/args.txt\"\n");
    chmod((system + "/msiexec.exe").c_str(), 0755);
    env.push_back({"ZUVOZE_WINDIR", root.path() + "/Win"});
#endif
    zuvoze::testing::makeDirs(root.path() + "\\Program");
    EXPECT_EQ(plat::copyFile(zuvoze::testing::builtProgram("rcdeploy"), exe), 0u);
  }

  void runWith(const std::string& args) {
    zuvoze::testing::RunResult r = zuvoze::testing::runProgram(exe, args, env, 60000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
  }

  TempDir root;
  TestRegistry reg;
  std::string install, deploy, exe;
  std::vector<std::pair<std::string, std::string>> env;
};

TEST_F(RcdeployProgram, StartsTheInstallerCommand) {
  reg.setString("SOFTWARE\\ZUVOZE", "SITEID", "1000");
  zuvoze::testing::writeFile(install + "\\VelkMobile.ini",
                             "[ProxySettings]\r\nProxyIP=proxy.local\r\nProxyPort=3128\r\n");
#ifndef _WIN32
  zuvoze::testing::writeFile(deploy + "LMI\\LogmeIn.msi", "package");
#endif
  runWith(deploy + ",KTRO,2002");

  const std::string logOption = " /L*V \"" + install + "\\SetupLogs\\LogmeinInstall.log\"\r\n";
#ifdef _WIN32
  // No package: its short form is empty. The installer's log shows the start.
  EXPECT_EQ(zuvoze::testing::readFile(deploy + "lmi.bat"),
            plat::shortPath(plat::systemFolder() + "\\msiexec.exe") + " /quiet /i \"\" DEPLOYID=" + kK +
                " RAPORT=2002 REBOOT=ReallySuppress proxyenabled=1 proxyserver=proxy.local proxyport=3128" +
                logOption);
  EXPECT_TRUE(waitFor(install + "\\SetupLogs\\LogmeinInstall.log", 60));
#else
  const std::string args = root.path() + "/args.txt";
  ASSERT_TRUE(waitFor(args, 20)) << "lmi.bat did not run the installer";
  EXPECT_EQ(lines(zuvoze::testing::readFile(args)),
            (std::vector<std::string>{"/quiet", "/i", plat::hostPath(deploy + "LMI\\LogmeIn.msi"),
                                      std::string("DEPLOYID=") + kK, "RAPORT=2002", "REBOOT=ReallySuppress",
                                      "proxyenabled=1", "proxyserver=proxy.local", "proxyport=3128", "/L*V",
                                      plat::hostPath(install + "\\SetupLogs\\LogmeinInstall.log")}));
  EXPECT_NE(zuvoze::testing::readFile(install + "\\rcdeployLog.txt").find("\tMSG : Application Started.\r\n"),
            std::string::npos);
#endif
}

#ifndef _WIN32
// The special site installs into the LogMeIn folder of the E: program files,
// which the run creates.
TEST_F(RcdeployProgram, SpecialSiteInstallsOnDriveE) {
  reg.setString("SOFTWARE\\ZUVOZE", "SITEID", "239248");
  zuvoze::testing::writeFile(deploy + "LMI\\LogmeIn.msi", "package");
  zuvoze::testing::makeDirs(root.path() + "/E/Program Files");
  env.push_back({"ZUVOZE_DRIVE_E", root.path() + "/E"});
  env.push_back({"Programfiles", "C:\\Program Files"});
  runWith(deploy + ",BLUV");

  const std::string args = root.path() + "/args.txt";
  ASSERT_TRUE(waitFor(args, 20)) << "lmi.bat did not run the installer";
  EXPECT_TRUE(zuvoze::testing::exists(root.path() + "/E/Program Files/LogMeIn"));
  std::vector<std::string> got = lines(zuvoze::testing::readFile(args));
  ASSERT_EQ(got.size(), 8u);
  EXPECT_EQ(got[2], plat::hostPath(deploy + "LMI\\LogmeIn.msi"));
  EXPECT_EQ(got[3], "INSTALLDIR=" + root.path() + "/E/Program Files/LogMeIn");
  EXPECT_EQ(got[4], std::string("DEPLOYID=") + kB);
  EXPECT_EQ(got[5], "REBOOT=ReallySuppress");
  EXPECT_EQ(got[6], "/L*V");
}
#endif

// A proxy address that would append a command of its own is refused: lmi.bat
// stays empty, nothing is started, and the command never runs.
TEST_F(RcdeployProgram, RefusesACommandInAValue) {
  reg.setString("SOFTWARE\\ZUVOZE", "SITEID", "1000");
  const std::string planted = root.path() + "\\planted";
  zuvoze::testing::writeFile(install + "\\VelkMobile.ini",
                             "[ProxySettings]\r\nProxyIP=1.2.3.4&mkdir " + plat::hostPath(planted) +
                                 "\r\nProxyPort=80\r\n");
  runWith(deploy + ",KTRO,2002");
  EXPECT_EQ(zuvoze::testing::readFile(deploy + "lmi.bat"), "");
  EXPECT_NE(zuvoze::testing::readFile(install + "\\rcdeployLog.txt").find("\tERR :Refused ProxyIP: "),
            std::string::npos);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_FALSE(zuvoze::testing::exists(planted));
  EXPECT_FALSE(zuvoze::testing::exists(install + "\\SetupLogs\\LogmeinInstall.log"));
#ifndef _WIN32
  EXPECT_FALSE(zuvoze::testing::exists(root.path() + "/args.txt"));
#endif
}

}  // namespace

// portwatch run as a program: the batch file runs the real socket list, the
// fixed wait (scaled down) lets it finish, and the output file agrees with the
// log. On posix the test opens listening sockets of its own; Wine's netstat
// lists no listening sockets, so there only the batch file, the wait and the
// agreement of log and output are checked.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;
namespace plat = zuvoze::plat;

#ifndef _WIN32
// A listening TCP socket on all IPv4 addresses; -1 when the port is taken.
class Listener {
 public:
  explicit Listener(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd_ >= 0 && (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 1) != 0)) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~Listener() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool netstatOnPath() {
  const std::string path = plat::getEnv("PATH");
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && access((dir + "/netstat").c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return false;
}
#endif

struct Agent {
  TempDir program;
  TempDir folder;
  TestRegistry reg;
  std::string install;
  std::string exe;

  explicit Agent(bool withInstallationPath = true) {
    install = folder.path() + "\\Agent Home";
    zuvoze::testing::makeDirs(install + "\\ApplicationLog");
    if (withInstallationPath) reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", install);
    reg.setString("SOFTWARE\\ZUVOZE", "REGID", "1001");
#ifdef _WIN32
    exe = program.path() + "\\portwatch.exe";
    EXPECT_EQ(plat::copyFile(zuvoze::testing::builtProgram("portwatch"), exe), 0u);
#else
    exe = program.path() + "/portwatch";
    EXPECT_EQ(plat::copyFile(zuvoze::testing::builtProgram("portwatch"), exe), 0u);
#endif
  }
  std::string file(const std::string& name) const { return install + "\\" + name; }
  std::string log() const {
    const std::string logFolder = install + "\\ApplicationLog\\portwatch_Log";
    std::vector<std::string> names = zuvoze::testing::listDir(logFolder);
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? "" : zuvoze::testing::readFile(logFolder + "\\" + names[0]);
  }
  void run(const std::vector<std::pair<std::string, std::string>>& extraEnv = {}) const {
    std::vector<std::pair<std::string, std::string>> env = {{"ZUVOZE_SLEEP_SCALE", "20"}};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    zuvoze::testing::RunResult r = zuvoze::testing::runProgram(exe, "", env, 60000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
  }
};

// Log and output file tell the same about every port, the output is ascending,
// and the busy ports are reported as such.
void checkFindings(const Agent& agent, const std::set<int>& busy) {
  const std::string log = agent.log();
  std::vector<std::string> lines;
  ASSERT_EQ(plat::readLines(agent.file("LMIportwatch.txt"), &lines), 0u);
  std::set<int> listed;
  int previous = 0;
  for (const std::string& line : lines) {
    int p = std::stoi(line);
    EXPECT_GT(p, previous) << "output not ascending";
    previous = p;
    listed.insert(p);
  }
  for (int p = 2002; p <= 2007; ++p) {
    const std::string port = std::to_string(p);
    EXPECT_NE(log.find("MSG : Checking Port  :" + port + "\r\n"), std::string::npos) << port;
    EXPECT_EQ(listed.count(p) == 1, log.find("MSG : Port listening : " + port + "\r\n") != std::string::npos)
        << port;
    if (busy.count(p) != 0) {
      EXPECT_NE(log.find("MSG : Port Not listening : " + port + "\r\n"), std::string::npos) << port;
      EXPECT_EQ(listed.count(p), 0u) << port;
    }
  }
  EXPECT_NE(log.find("MSG : Application Stopped\r\n"), std::string::npos);
}

TEST(PortwatchProgram, ListsTheSocketsAndWritesTheFreePorts) {
  std::set<int> busy;
#ifndef _WIN32
  if (!netstatOnPath()) GTEST_SKIP() << "netstat (net-tools) is not installed";
  Listener a(2003), b(2006);
  if (!a.ok() || !b.ok()) GTEST_SKIP() << "port 2003 or 2006 is in use on this machine";
  busy = {2003, 2006};
#endif
  Agent agent;
  agent.run();
  EXPECT_EQ(zuvoze::testing::readFile(agent.file("LMIportwatch.bat")),
            "netstat -a >\"" + agent.install + "\\AllPorts.txt\"\r\n");
  // The list was complete when the program read it after its wait.
  EXPECT_NE(zuvoze::testing::readFile(agent.file("AllPorts.txt")).find("Active "), std::string::npos);
  checkFindings(agent, busy);
}

#ifndef _WIN32
TEST(PortwatchProgram, UsesItsOwnListerWithoutNetstat) {
  Listener a(2004);
  if (!a.ok()) GTEST_SKIP() << "port 2004 is in use on this machine";
  Agent agent;
  const std::string lister = agent.program.path() + "/zuvoze-netstat";
  ASSERT_EQ(plat::copyFile(zuvoze::testing::builtProgram("zuvoze-netstat"), lister), 0u);
  // A search path without netstat (the batch runner still needs rm).
  TempDir bin;
  ASSERT_EQ(symlink("/bin/rm", (bin.path() + "/rm").c_str()), 0);
  agent.run({{"PATH", bin.path()}});
  EXPECT_EQ(zuvoze::testing::readFile(agent.file("LMIportwatch.bat")),
            "\"" + lister + "\" -a >\"" + agent.install + "\\AllPorts.txt\"\r\n");
  EXPECT_NE(zuvoze::testing::readFile(agent.file("AllPorts.txt"))
                .find("  TCP    0.0.0.0:2004           0.0.0.0:0              LISTENING"),
            std::string::npos);
  checkFindings(agent, {2004});
}

// A missing InstallationPath means the root folder, which has no ApplicationLog
// folder: the program ends without log and output.
TEST(PortwatchProgram, MissingInstallationPathEndsQuietly) {
  if (zuvoze::testing::exists("/ApplicationLog") || zuvoze::testing::exists("/LMIportwatch.txt"))
    GTEST_SKIP() << "the root folder holds files of an agent";
  Agent agent(false);
  agent.run();
  EXPECT_FALSE(zuvoze::testing::exists("/ApplicationLog"));
  EXPECT_FALSE(zuvoze::testing::exists("/LMIportwatch.txt"));
  EXPECT_FALSE(zuvoze::testing::exists("/LMIportwatch.bat"));
}
#endif

}  // namespace

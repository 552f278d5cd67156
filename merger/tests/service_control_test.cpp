// Stopping and starting the scheduler service: the answers, the log entries
// with the system's message text, and the 20-second pauses. Natively the
// service manager is a stand-in program named by ZUVOZE_SERVICECTL; under
// Wine a real service, served by this test program itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "merger/service.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

#include "test_service_host.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zuvoze::merger {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetRunState();
    setProgramFolderForTest(dir.path());
    plat::setSleepHook([this](uint32_t ms) { sleeps.push_back(ms); });
    ASSERT_EQ(openRunLog(), 0u);
  }
  void TearDown() override {
    plat::setSleepHook(nullptr);
    setProgramFolderForTest("");
    resetRunState();
  }
  // The log so far, each entry's time stamp replaced by "T".
  std::string logText() {
    std::string text = readFile(dir.sub("Add_Delete_IniLog.txt"));
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t tab = text.find('\t', pos);
      size_t nl = text.find("\r\n", pos);
      if (tab != std::string::npos && (nl == std::string::npos || tab < nl) &&
          (pos == 0 || text.compare(pos - 2, 2, "\r\n") == 0) && looksLikeStamp(text, pos, tab)) {
        out += "T\t";
        pos = tab + 1;
      } else {
        size_t end = nl == std::string::npos ? text.size() : nl + 2;
        out += text.substr(pos, end - pos);
        pos = end;
      }
    }
    return out;
  }
  static bool looksLikeStamp(const std::string& text, size_t from, size_t tab) {
    return tab > from && text.find('/', from) < tab && text.find(':', from) < tab;
  }
  static std::string fm(uint32_t code) { return plat::paddedSystemMessage(code); }

  TempDir dir;
  std::vector<uint32_t> sleeps;
};

#ifndef _WIN32

// A stand-in for systemctl: notes each call and ends with the status the test
// asks for.
class StandInServiceTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    script = dir.path() + "/servicectl";
    calls = dir.path() + "/calls.txt";
    writeFile(script,
              "#!/bin/sh\n"
              "echo \"$1 $2\" >> \"" + calls + "\"\n"
              "case \"$1\" in\n"
              "  stop) exit ${ZUVOZE_TEST_STOP_RC:-0} ;;\n"
              "  start) exit ${ZUVOZE_TEST_START_RC:-0} ;;\n"
              "esac\n"
              "exit 3\n");
    chmod(script.c_str(), 0755);
    testing::setEnv("ZUVOZE_SERVICECTL", script);
  }
  void TearDown() override {
    testing::unsetEnv("ZUVOZE_SERVICECTL");
    testing::unsetEnv("ZUVOZE_TEST_STOP_RC");
    testing::unsetEnv("ZUVOZE_TEST_START_RC");
    ServiceTest::TearDown();
  }
  std::string script, calls;
};

TEST_F(StandInServiceTest, StopAndStart) {
  struct Case {
    const char* what;
    bool stop;       // else start
    const char* rc;  // exit status of the stand-in
    bool answer;
    std::string log;
    std::vector<uint32_t> sleeps;
  } cases[] = {
      {"stop", true, "0", true, "T\tMSG : Service stopped VELKScheduler\r\n", {20000}},
      {"stop of a stopped service", true, "7", false,
       "T\t MSG : Unable to stop the service \r\n" + fm(1062) + "\r\n", {}},
      {"stop of an unknown service", true, "5", false,
       "T\t MSG : Unable to stop the service \r\n" + fm(1060) + "\r\n", {}},
      {"stop without the right", true, "4", false,
       "T\t MSG : Unable to stop the service \r\n" + fm(5) + "\r\n", {}},
      {"start", false, "0", true, "T\tMSG : Service started ::::::: VELKScheduler\r\n", {20000}},
      {"start that fails", false, "1", false,
       "T\t ERR : Unable to start the service VELKScheduler\r\n" + fm(1066) + "\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();  // a fresh log
    sleeps.clear();
    writeFile(calls, "");
    testing::setEnv(c.stop ? "ZUVOZE_TEST_STOP_RC" : "ZUVOZE_TEST_START_RC", c.rc);
    const bool answer = c.stop ? fncStopService("VELKScheduler") : fncStartService("VELKScheduler");
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(logText(), c.log);
    EXPECT_EQ(sleeps, c.sleeps);
    EXPECT_EQ(readFile(calls), std::string(c.stop ? "stop" : "start") + " VELKScheduler\n");
  }
}

TEST_F(StandInServiceTest, ServiceControlThatCannotBeStarted) {
  testing::setEnv("ZUVOZE_SERVICECTL", dir.path() + "/no-such-program");
  EXPECT_FALSE(fncStopService("VELKScheduler"));
  EXPECT_FALSE(fncStartService("VELKScheduler"));
  EXPECT_EQ(logText(), "T\t MSG : Unable to stop the service \r\n" + fm(2) + "\r\n" +
                           "T\t ERR : Unable to start the service VELKScheduler\r\n" + fm(2) +
                           "\r\n");
  EXPECT_TRUE(sleeps.empty());
}

// An unexpected error after the request went through: one entry of five lines,
// and the answer as it stood (the request had succeeded).
TEST_F(StandInServiceTest, UnexpectedErrorAfterTheRequest) {
  plat::setSleepHook([](uint32_t) { raise(5, "pause failed"); });
  const std::string entry =
      "T\tERR : 5\r\npause failed\r\ncfgmerge\r\n64\r\nALERT    :   System Administration Tool\r\n";
  EXPECT_TRUE(fncStopService("VELKScheduler"));
  EXPECT_TRUE(fncStartService("VELKScheduler"));
  EXPECT_EQ(logText(), entry + "T\tMSG : Service started ::::::: VELKScheduler\r\n" + entry);
}

#else  // _WIN32

const char* const kServiceName = "ZuvozeTestSvc";

class RealServiceTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    ASSERT_EQ(testservice::createTestService(kServiceName), 0u);
  }
  void TearDown() override {
    testservice::removeTestService(kServiceName);
    ServiceTest::TearDown();
  }
  static DWORD state() { return testservice::serviceState(kServiceName); }
};

TEST_F(RealServiceTest, StartStopAndTheirFailures) {
  // Stopping a service that does not run.
  EXPECT_FALSE(fncStopService(kServiceName));
  // Starting it, then starting it again while it runs.
  EXPECT_TRUE(fncStartService(kServiceName));
  EXPECT_EQ(state(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(fncStartService(kServiceName));
  // Stopping it.
  EXPECT_TRUE(fncStopService(kServiceName));
  EXPECT_EQ(state(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(sleeps, (std::vector<uint32_t>{20000, 20000}));

  const std::string name = kServiceName;
  EXPECT_EQ(logText(), "T\t MSG : Unable to stop the service \r\n" + fm(1062) + "\r\n" +
                           "T\tMSG : Service started ::::::: " + name + "\r\n" +
                           "T\t ERR : Unable to start the service " + name + "\r\n" + fm(1056) +
                           "\r\n" + "T\tMSG : Service stopped " + name + "\r\n");
}

TEST_F(RealServiceTest, UnknownService) {
  // Neither can be opened: both answer false (also the start) and say why.
  EXPECT_FALSE(fncStopService("ZuvozeNoSuchService"));
  EXPECT_FALSE(fncStartService("ZuvozeNoSuchService"));
  EXPECT_EQ(logText(), "T\tERR : Cannot open service ZuvozeNoSuchService\r\n" + fm(1060) + "\r\n" +
                           "T\tERR : Cannot open service ZuvozeNoSuchService\r\n" + fm(1060) +
                           "\r\n");
  EXPECT_TRUE(sleeps.empty());
}

#endif

}  // namespace
}  // namespace zuvoze::merger

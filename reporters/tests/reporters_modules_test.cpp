// The shared modules of the reporters, in process: the agent-key reader and
// the registry readers, the address lookup, the operating-system code and the
// web-post channel with a scripted component.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

#include "common/reporters.h"
#include "reporter_fixture.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/osversion.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/webpost.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zuvoze::testing {
namespace {

using namespace zuvoze::reporters;

class ModulesTest : public ::testing::Test {
 protected:
  void SetUp() override { start(Tool::HostIdPost); }
  void TearDown() override {
    runState().log.close();
    plat::setSleepHook(nullptr);
    plat::setWebPostFactoryForTest(nullptr);
    plat::setOsVersionForTest(nullptr);
  }
  void start(Tool tool) {
    initRun(tool);
    logPath_ = tmp_.sub("run.log");
    writeFile(logPath_, "");
    ASSERT_EQ(0u, runState().log.open(logPath_, plat::TextStream::Mode::Append));
  }
  std::vector<std::string> log() { return logTexts(readFile(logPath_)); }

  TempDir tmp_;
  TestRegistry registry_{{"SOFTWARE\\ZUVOZE", "SOFTWARE\\LogMeIn"}};
  std::string logPath_;
};

TEST(OsCode, FollowsThePlatformAndVersion) {
  struct {
    uint32_t platform, major, minor;
    const char* code;
  } cases[] = {{2, 3, 51, "NT"}, {2, 4, 0, "NT"},  {2, 5, 0, "2000"}, {2, 5, 1, "XP"},
               {2, 5, 2, "2003"}, {2, 6, 0, "2008"}, {2, 6, 1, ""},     {2, 10, 0, ""},
               {1, 4, 0, "95"},  {1, 4, 10, "98"},  {1, 4, 90, "ME"},  {1, 4, 3, ""},
               {0, 5, 0, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.code, osCodeFor(c.platform, c.major, c.minor))
        << c.platform << " " << c.major << "." << c.minor;
  }
}

TEST_F(ModulesTest, OsNameAndItsErrorLineDifferByTool) {
  plat::setOsVersionForTest([](plat::OsVersion* v) {
    v->platformId = plat::kOsPlatformNT;
    v->major = 5;
    v->minor = 0;
    return 0u;
  });
  EXPECT_EQ("2000", getOSName());
  plat::setOsVersionForTest([](plat::OsVersion*) { return 50u; });
  EXPECT_EQ("", getOSName());
  std::vector<std::string> lines = log();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(0u, lines[0].rfind("ERR : getOSName () -50", 0)) << lines[0];
  EXPECT_NE(std::string::npos, lines[0].find("Error Ln no.10"));

  start(Tool::GrantPost);
  EXPECT_EQ("", getOSName());
  std::string raw = readFile(logPath_);
  EXPECT_EQ(std::string::npos, raw.find("ERR : ")) << "grantpost writes its own line: " << raw;
  EXPECT_NE(std::string::npos, raw.find("\t50 ")) << raw;
}

TEST(TextHelpers, TrimNullEscapeAndLeadingNumber) {
  EXPECT_EQ("ab", fncTrimNull(std::string("ab\0cd", 5)));
  EXPECT_EQ("abc", fncTrimNull("abc"));
  EXPECT_EQ("plain value 1-2_3", xmlEscape("plain value 1-2_3"));
  EXPECT_EQ("&amp;&lt;&gt;&quot;&apos;", xmlEscape("&<>\"'"));
  EXPECT_EQ(0, leadingNumber(""));
  EXPECT_EQ(0, leadingNumber("abc"));
  EXPECT_EQ(12, leadingNumber("  12abc"));
  EXPECT_EQ("a", firstField("a,b,c"));
  EXPECT_EQ(" a b", firstField(" a b"));
}

TEST_F(ModulesTest, AgentKeyReaderFillsTheIdentity) {
  struct {
    const char* stored;
    const char* held;
  } paths[] = {{"C:\\Agent", "C:\\Agent\\"},
               {"C:\\Agent\\", "C:\\Agent\\"},
               {"", ""},
               {"C:\\Agent\\  ", "C:\\Agent\\  "},
               {"   ", "   "}};
  for (const auto& p : paths) {
    SCOPED_TRACE(p.stored);
    registry_.setString("SOFTWARE\\ZUVOZE", "InstallationPath", p.stored);
    AgentIdentity = AgentIdentityRecord{};
    EXPECT_TRUE(fncGetRegInfo("SOFTWARE\\ZUVOZE"));
    EXPECT_EQ(p.held, AgentIdentity.InstallationPath);
  }
  registry_.setDword("SOFTWARE\\ZUVOZE", "REGID", 77);
  registry_.setRaw("SOFTWARE\\ZUVOZE", "type", plat::kRegSz, std::string("T1\0rest\0", 8));
  start(Tool::GrantPost);
  registry_.setString("SOFTWARE\\ZUVOZE", "SiteId", "S9");
  EXPECT_TRUE(fncGetRegInfo("SOFTWARE\\ZUVOZE"));
  EXPECT_EQ("77", AgentIdentity.REGID);
  EXPECT_EQ("T1", AgentIdentity.Type);
  EXPECT_EQ("", AgentIdentity.MEMBERID);
  EXPECT_EQ("S9", AgentIdentity.SiteId) << "values after a missing one are still read";
  std::string raw = readFile(logPath_);
  EXPECT_NE(std::string::npos, raw.find("\tERR : Failed to read Registry key MEMBERID. ERRDesc :: " +
                                        plat::paddedSystemMessage(2) + "\r\n"));
  EXPECT_EQ(std::string::npos, raw.find("End ZUVOZE Registry"));
}

TEST_F(ModulesTest, AgentKeyReaderReportsAMissingKey) {
  TestRegistry empty({"SOFTWARE\\ZUVOZE"});
  EXPECT_FALSE(fncGetRegInfo("SOFTWARE\\ZUVOZE"));
  EXPECT_EQ("", AgentIdentity.InstallationPath);
  std::string raw = readFile(logPath_);
  EXPECT_NE(std::string::npos, raw.find("\tMSG : Opening Registry key SOFTWARE\\ZUVOZE\r\n"));
  EXPECT_NE(std::string::npos,
            raw.find("\tERR : Unable to locate VelkMobile registry entries for SOFTWARE\\ZUVOZE. "
                     "ERRDesc : " + plat::paddedSystemMessage(2) + "\r\n"));
}

TEST_F(ModulesTest, ViewProbingReaderUsesTheFirstViewThatOpens) {
  registry_.setString("SOFTWARE\\LogMeIn\\Only32", "V", "from32", plat::RegView::View32);
  EXPECT_EQ("from32", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\Only32", "V", 1));
  registry_.setString("SOFTWARE\\LogMeIn\\Both", "Other", "x", plat::RegView::View64);
  registry_.setString("SOFTWARE\\LogMeIn\\Both", "V", "from32", plat::RegView::View32);
  EXPECT_EQ("", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\Both", "V", 1));
  registry_.setDword("SOFTWARE\\LogMeIn\\Both", "N", 4294967295u, plat::RegView::View64);
  EXPECT_EQ("-1", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\Both", "N", 4));
  EXPECT_EQ("", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\Both", "N", 7));
  registry_.setString("SOFTWARE\\LogMeIn\\Both", "Empty", "", plat::RegView::View64);
  EXPECT_EQ("", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\Both", "Empty", 1));
  EXPECT_EQ("", fncReadRegistry(plat::hklm(), "SOFTWARE\\LogMeIn\\None", "V", 1));
  EXPECT_EQ("", readFile(logPath_)) << "the view-probing reader logs nothing";
}

TEST_F(ModulesTest, HostIdentifierReadersPerTool) {
  const std::string key = "SOFTWARE\\LogMeIn\\V5\\WebSvc";
  for (Tool tool : {Tool::HostIdPost, Tool::GrantPost}) {
    SCOPED_TRACE(tool == Tool::HostIdPost ? "hostidpost" : "grantpost");
    plat::regDeleteTree(plat::hklm(), "SOFTWARE\\LogMeIn", plat::RegView::View64);
    plat::regDeleteTree(plat::hklm(), "SOFTWARE\\LogMeIn", plat::RegView::View32);
    start(tool);
    EXPECT_FALSE(fncGetNumHostID2000(key));
    EXPECT_FALSE(fncGetNumHostID(key));
    std::string raw = readFile(logPath_);
    const std::string notFound = "\tMSG : Registry Not Found " + key + "\r\n";
    const std::string unable = "\tERR : Unable to locate registry entries for " + key +
                               ". ERRDesc : " + plat::paddedSystemMessage(2) + "\r\n";
    size_t first = raw.find(unable);
    EXPECT_NE(std::string::npos, raw.find(notFound));
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, raw.find(unable, first + 1)) << "both readers report it";
    EXPECT_EQ("", AgentIdentity.NumHostID);

    registry_.setDword(key, "NumHostID", 31337, plat::RegView::View64);
    start(tool);
    EXPECT_TRUE(fncGetNumHostID2000(key));
    EXPECT_EQ("31337", AgentIdentity.NumHostID);
    registry_.setString(key, "NumHostID", "abc", plat::RegView::View64);
    EXPECT_TRUE(fncGetNumHostID(key));
    EXPECT_EQ("abc", AgentIdentity.NumHostID);
    EXPECT_EQ((std::vector<std::string>{"MSG : Opening Registry key " + key, "MSG : Registry Found " + key,
                                        "MSG : NumHostID :: 31337", "MSG : Opening Registry key " + key,
                                        "MSG : Registry Found " + key, "MSG : NumHostID :: abc"}),
              log());

    // A key that opens without the value still counts as read.
    registry_.setString(key, "Other", "x", plat::RegView::View64);
    plat::RegKey k = 0;
    ASSERT_EQ(0u, plat::regOpenKey(plat::hklm(), key, plat::RegAccess::Full, plat::RegView::View64, &k));
    plat::regDeleteValue(k, "NumHostID");
    plat::regCloseKey(k);
    start(tool);
    EXPECT_TRUE(fncGetNumHostID(key));
    EXPECT_EQ("", AgentIdentity.NumHostID);
    EXPECT_NE(std::string::npos, readFile(logPath_).find("\tERR : Failed to read Registry key NumHostID. ERRDesc :: "));
  }
}

TEST_F(ModulesTest, BaseAddressFromTheConfiguration) {
  std::string inst = tmp_.sub("inst");
  makeDirs(tmp_.sub("inst/Configuration"));
  registry_.setString("SOFTWARE\\ZUVOZE", "InstallationPath", inst);
  EXPECT_EQ("", fncGetURL("wplmiagntinstallstatus")) << "missing file";
  writeFile(tmp_.sub("inst/Configuration/MorvaneDNS.ini"),
            "[wplmiagntinstallstatus]\r\nURL=   https://a.example/x   \r\n"
            "[wplmiinstallpermission]\r\nURL=https://b.example/y/\r\n[other]\r\nHost=h\r\n");
  EXPECT_EQ("https://a.example/x/", fncGetURL("wplmiagntinstallstatus"));
  EXPECT_EQ("https://b.example/y/", fncGetURL("WPLMIINSTALLPERMISSION"));
  EXPECT_EQ("", fncGetURL("other")) << "section without URL";
  EXPECT_EQ("h", fncReadINI("other", "Host", tmp_.sub("inst/Configuration/MorvaneDNS.ini")));
}

// A component whose creations and calls answer from scripts.
struct ScriptedComponent {
  std::deque<plat::WebPostError> creations;  // empty: created
  std::deque<std::pair<plat::WebPostError, bool>> calls;  // the last one repeats
  int created = 0;
  int called = 0;
  std::vector<uint32_t> sleeps;

  void install() {
    plat::setWebPostFactoryForTest([this](const std::string& progId,
                                          std::unique_ptr<plat::WebPostObject>* out) {
      EXPECT_EQ("Quillon.WebPost", progId);
      if (!creations.empty()) {
        plat::WebPostError e = creations.front();
        creations.pop_front();
        if (e) return e;
      }
      ++created;
      out->reset(new Object(this));
      return plat::WebPostError{};
    });
    plat::setSleepHook([this](uint32_t ms) { sleeps.push_back(ms); });
  }

  struct Object : plat::WebPostObject {
    explicit Object(ScriptedComponent* o) : owner(o) {}
    plat::WebPostError postXMLString(plat::PostXMLArgs& a, bool* result) override {
      ++owner->called;
      EXPECT_FALSE(a.flag);
      EXPECT_EQ("", a.arg4);
      EXPECT_EQ("", a.arg5);
      auto step = owner->calls.front();
      if (owner->calls.size() > 1) owner->calls.pop_front();
      a.answer = "answer " + std::to_string(owner->called);
      a.second = "second";
      a.third = "third";
      *result = step.second;
      return step.first;
    }
    ScriptedComponent* owner;
  };
};

TEST_F(ModulesTest, ChannelRetriesWithTenSecondWaitsPerTool) {
  struct {
    Tool tool;
    std::vector<bool> results;
    int calls, creations;
    size_t waits;
    const char* status;
  } cases[] = {
      {Tool::HostIdPost, {false, true}, 2, 1, 1, "SUCCESS\r\n"},
      {Tool::GrantPost, {false, true}, 2, 2, 1, "SUCCESS\r\n"},
      {Tool::HostIdPost, {false}, 3, 1, 3, "FAILED\r\n"},
      {Tool::GrantPost, {false}, 5, 5, 5, "FAILED\r\n"},
  };
  AgentIdentity.InstallationPath = tmp_.path() + "\\";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tool == Tool::HostIdPost ? "hostidpost" : "grantpost");
    start(c.tool);
    AgentIdentity.InstallationPath = tmp_.path() + "\\";
    ScriptedComponent comp;
    for (bool r : c.results) comp.calls.push_back({plat::WebPostError{}, r});
    comp.install();
    subPostXML("<x/>", "http://h/p");
    EXPECT_EQ(c.calls, comp.called);
    EXPECT_EQ(c.creations, comp.created);
    EXPECT_EQ(std::vector<uint32_t>(c.waits, 10000), comp.sleeps);
    EXPECT_EQ(c.results.back(), runState().post.success);
    EXPECT_EQ("answer " + std::to_string(c.calls), runState().post.answer);
    EXPECT_EQ(c.status, readFile(tmp_.sub("WebPostStatus.txt")));
  }
}

TEST_F(ModulesTest, ChannelRegistersTheComponentABoundedNumberOfTimes) {
  AgentIdentity.InstallationPath = tmp_.sub("Agent Home") + "\\";
  makeDirs(tmp_.sub("Agent Home"));
#ifndef _WIN32
  // A regsvr32 of our own records the command it was started with.
  makeDirs(tmp_.sub("bin"));
  // The registrations run at the same time: each writes its line at once.
  writeFile(tmp_.sub("bin/regsvr32"),
            "#!/bin/sh\nline=\nfor a in \"$@\"; do line=\"$line[$a]\"; done\nprintf '%s\\n' \"$line\" >> \"" +
                tmp_.sub("regsvr32.txt") + "\"\n");
  chmod(tmp_.sub("bin/regsvr32").c_str(), 0755);
  std::string path = plat::getEnv("PATH");
  setEnv("PATH", tmp_.sub("bin") + ":" + path);
#endif
  {
    ScriptedComponent comp;
    comp.creations = {{plat::kWebPostCannotCreate, "cannot create"},
                      {plat::kWebPostLibNotRegistered, "not registered"}};
    comp.calls = {{plat::WebPostError{}, true}};
    comp.install();
    subPostXML("<x/>", "http://h/p");
    EXPECT_TRUE(runState().post.success);
    EXPECT_EQ(1, comp.created);
    EXPECT_EQ((std::vector<uint32_t>{kWebPostRegisterWaitMs, kWebPostRegisterWaitMs}), comp.sleeps);
  }
  {
    // The type library is missing at the call: registered, and the call repeated.
    ScriptedComponent comp;
    comp.calls = {{{plat::kWebPostLibNotRegistered, "not registered"}, false},
                  {plat::WebPostError{}, true}};
    comp.install();
    subPostXML("<x/>", "http://h/p");
    EXPECT_TRUE(runState().post.success);
    EXPECT_EQ(2, comp.called);
  }
  {
    ScriptedComponent comp;
    for (int i = 0; i < 10; ++i) comp.creations.push_back({plat::kWebPostCannotCreate, "no"});
    comp.install();
    subPostXML("<x/>", "http://h/p");
    EXPECT_FALSE(runState().post.success);
    EXPECT_EQ(0, comp.created);
    EXPECT_EQ(std::vector<uint32_t>(kWebPostRegistrations, kWebPostRegisterWaitMs), comp.sleeps);
    EXPECT_EQ("FAILED\r\n", readFile(tmp_.sub("Agent Home/WebPostStatus.txt")));
    std::vector<std::string> lines = log();
    EXPECT_EQ("ERR : Unable to create the web-post component Quillon.WebPost after 3 registrations",
              lines.back());
  }
#ifndef _WIN32
  setEnv("PATH", path);
  // 3 + 1 + 2 registrations, each with the quoted path as one argument.
  std::string expected;
  for (int i = 0; i < 6; ++i) expected += "[-s][" + tmp_.sub("Agent Home") + "\\Quillon.dll]\n";
  std::string got;
  for (int i = 0; i < 500 && got != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    got = readFile(tmp_.sub("regsvr32.txt"));
  }
  EXPECT_EQ(expected, got);
#endif
}

#ifndef _WIN32
TEST_F(ModulesTest, AnyOtherErrorEndsTheProcessWithFailedStatus) {
  for (Tool tool : {Tool::HostIdPost, Tool::GrantPost}) {
    start(tool);
    AgentIdentity.InstallationPath = tmp_.path() + "\\";
    ScriptedComponent comp;
    comp.calls = {{{6, "Overflow"}, false}};
    comp.install();
    EXPECT_EXIT(subPostXML("<x/>", "http://h/p"), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ("FAILED\r\n", readFile(tmp_.sub("WebPostStatus.txt")));
    std::vector<std::string> lines = log();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(tool == Tool::HostIdPost
                  ? "MSG : error in webpost : third: second Err.num 6 ERR DESC Overflow line no .70"
                  : "MSG : error in webpost : third: second",
              lines.back());
  }
}

TEST_F(ModulesTest, AStatusFileThatCannotBeCreatedEndsThePostBeforeAnyCall) {
  AgentIdentity.InstallationPath = tmp_.sub("missing") + "\\";
  ScriptedComponent comp;
  comp.calls = {{plat::WebPostError{}, true}};
  comp.install();
  EXPECT_EXIT(subPostXML("<x/>", "http://h/p"), ::testing::ExitedWithCode(1), "");
  EXPECT_FALSE(exists(tmp_.sub("missing")));
  std::vector<std::string> lines = log();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(0u, lines.back().rfind("MSG : error in webpost : :  Err.num 3 ERR DESC ", 0)) << lines.back();
  EXPECT_NE(std::string::npos, lines.back().find(" line no .20"));
}
#endif

}  // namespace
}  // namespace zuvoze::testing

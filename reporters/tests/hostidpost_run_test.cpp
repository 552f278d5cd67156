// hostidpost run end to end: the install-status message in its three cases as
// the far end receives it, the retries, WebPostStatus.txt and the run log.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "reporter_fixture.h"
#include "zuvoze/platform/message.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zuvoze::testing {
namespace {

const char* const kWebSvc = "SOFTWARE\\LogMeIn\\V5\\WebSvc";

class HostIdPostRun : public ReporterRun {
 protected:
  std::string address() const { return farEnd_.baseUrl() + "/tfr_wplmiagntinstallstatus.asp"; }
  static std::string message(const std::string& regid, const std::string& type,
                             const std::string& numhostid, const std::string& status) {
    return "<wplmiagntinstallstatus><regid>" + regid + "</regid><regtype>" + type +
           "</regtype><numhostid>" + numhostid + "</numhostid><proxy>NO</proxy><status>" + status +
           "</status></wplmiagntinstallstatus>";
  }
};

struct MessageCase {
  const char* name;
  const char* args;
  std::function<void(TestRegistry&)> setup;
  const char* numhostid;
  const char* status;
};

TEST_F(HostIdPostRun, ReportsTheInstallStatusOfEachCase) {
  const MessageCase cases[] = {
      {"no LogMeIn key", "", [](TestRegistry&) {}, "0", "FAILED"},
      {"identifier of blanks only", "",
       [](TestRegistry& r) { r.setString(kWebSvc, "NumHostID", "   "); }, "0", "FAILED"},
      {"same identifier, rest after the comma ignored", "123456789,other,x",
       [](TestRegistry& r) { r.setString(kWebSvc, "NumHostID", "123456789"); }, "123456789",
       "FAILED"},
      {"identifier differing in letter case only", "abc123",
       [](TestRegistry& r) { r.setString(kWebSvc, "NumHostID", "ABC123"); }, "ABC123", "SUCCESS"},
      {"empty command line, 32-bit number", "",
       [](TestRegistry& r) { r.setDword(kWebSvc, "NumHostID", 305419896); }, "305419896",
       "SUCCESS"},
      {"string cut at its NUL", "77",
       [](TestRegistry& r) {
         r.setRaw(kWebSvc, "NumHostID", plat::kRegSz, std::string("881\0tail\0", 9));
       },
       "881", "SUCCESS"},
      {"only in the 32-bit view: read by the fallback as a signed number", "",
       [](TestRegistry& r) {
         r.setDword(kWebSvc, "NumHostID", 4294967295u, plat::RegView::View32);
       },
       "-1", "SUCCESS"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    plat::regDeleteTree(plat::hklm(), "SOFTWARE\\LogMeIn", plat::RegView::View64);
    plat::regDeleteTree(plat::hklm(), "SOFTWARE\\LogMeIn", plat::RegView::View32);
    c.setup(registry_);
    farEnd_.script({{true, "OK"}});
    size_t before = farEnd_.received().size();
    run("hostidpost", c.args);
    std::vector<Received> got = farEnd_.received();
    ASSERT_EQ(before + 1, got.size());
    EXPECT_EQ(message("4711", "2", c.numhostid, c.status), got.back().xml);
    EXPECT_EQ(address(), got.back().address);
#ifndef _WIN32
    EXPECT_EQ("text/xml", got.back().contentType);
#endif
    EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
  }
}

TEST_F(HostIdPostRun, WritesTheRunLogLineByLineAndMovesIt) {
  registry_.setString(kWebSvc, "NumHostID", "222");
  writeFile(instFile("WebPostStatus.txt"), "stale");
  farEnd_.script({{true, "Thanks"}});
  run("hostidpost", "111,9");
  std::string name;
  std::string log = movedLog("hostidpost", &name);
  EXPECT_TRUE(std::regex_match(name, std::regex("hostidpost_[0-9]{14}\\.txt"))) << name;
  const std::string xml = message("4711", "2", "222", "SUCCESS");
  const std::string stars(80, '*'), dashes(80, '-');
  std::vector<std::string> expected = {
      stars,
      "MSG : Application started...",
      "MSG : Opening Registry key SOFTWARE\\ZUVOZE",
      "MSG : InstallationPath :: " + inst_,
      "MSG : REGID :: 4711",
      "MSG : RegType :: 2",
      "MSG : End ZUVOZE Registry",
      "MSG : ZUVOZE PAth " + instPathHeld(),
      "MSG : Deleging WebPostStatus.txt file",
      "MSG : NumHostID Passed : --> 111",
      "MSG : MSG : Calling subExecute()function",
      "MSG : Reading the registry for data needed to create xml.",
      "MSG : Opening Registry key SOFTWARE\\LogMeIn\\V5\\WebSvc",
      "MSG : Registry Found SOFTWARE\\LogMeIn\\V5\\WebSvc",
      "MSG : NumHostID :: 222",
      "MSG : Completed reading  the registry.",
      "MSG : Previous NumHostID[ 111 ] and Current NumHostID[ 222 ] .",
      "MSG : Trying to web post string",
      "MSG : webpost successfully",
      "MSG : webpost String is :" + xml,
      "MSG : Webpost Return String : Thanks",
      dashes,
      "MSG : Application stopped",
      dashes,
  };
  EXPECT_EQ(expected, logTexts(log));
  // Every line ends with CR LF; a written line starts with the 12-hour stamp.
  EXPECT_EQ(std::string::npos, std::regex_replace(log, std::regex("\r\n"), "").find('\n'));
  std::regex stamp("[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} (AM|PM)\tMSG : Application started\\.\\.\\.\r");
  bool found = false;
  for (const std::string& line : splitOn(log, '\n')) found = found || std::regex_match(line, stamp);
  EXPECT_TRUE(found) << log;
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
}

TEST_F(HostIdPostRun, RetriesUntilTheSecondAttemptSucceeds) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({{false, "busy"}, {true, "done"}});
  run("hostidpost", "");
  ASSERT_EQ(2u, farEnd_.received().size());
  std::vector<std::string> texts = logTexts(movedLog("hostidpost"));
  EXPECT_EQ(2, std::count(texts.begin(), texts.end(), "MSG : Trying to web post string"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : webpost successfully"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : Webpost Return String : done"));
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
}

TEST_F(HostIdPostRun, GivesUpAfterThreeFailedAttempts) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({{false, "busy"}});
  run("hostidpost", "");
  EXPECT_EQ(3u, farEnd_.received().size());
  std::vector<std::string> texts = logTexts(movedLog("hostidpost"));
  EXPECT_EQ(3, std::count(texts.begin(), texts.end(), "MSG : Trying to web post string"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "ERR : Webpost Failed"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(),
                          "MSG : webpost String is :" + message("4711", "2", "5", "SUCCESS")));
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
}

TEST_F(HostIdPostRun, EscapesTheRegistryValuesInTheMessage) {
  registry_.setString("SOFTWARE\\ZUVOZE", "REGID", "47&<11>");
  registry_.setString("SOFTWARE\\ZUVOZE", "Type", "\"a'");
  registry_.setString(kWebSvc, "NumHostID", "x<y");
  farEnd_.script({{true, ""}});
  run("hostidpost", "");
  ASSERT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ(message("47&amp;&lt;11&gt;", "&quot;a&apos;", "x&lt;y", "SUCCESS"),
            farEnd_.received()[0].xml);
}

TEST_F(HostIdPostRun, CreatesItsLogFolderWhenMissing) {
  std::string bare = tmp_.sub("bare");
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "", {}, "", bare);
  EXPECT_EQ(std::vector<std::string>{}, listDir(bare + sep() + "ApplicationLog"));
  std::vector<std::string> logs = listDir(inst_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size());
  EXPECT_EQ(1u, farEnd_.received().size());
}

TEST_F(HostIdPostRun, WithoutAgentRegistrationClosesTheLogAndPostsNothing) {
  TestRegistry empty({"SOFTWARE\\ZUVOZE"});
  std::string cwd = tmp_.sub("cwd");
  makeDirs(cwd + sep() + "ApplicationLog");
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "", {}, cwd);
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_FALSE(exists(cwd + sep() + "WebPostStatus.txt"));
  EXPECT_FALSE(exists(instFile("WebPostStatus.txt")));
  EXPECT_EQ(std::vector<std::string>{}, listDir(prog_ + sep() + "ApplicationLog"));
  std::vector<std::string> logs = listDir(cwd + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size()) << "the log moves to ApplicationLog of the current folder";
  std::string log = readFile(cwd + sep() + "ApplicationLog" + sep() + logs[0]);
  EXPECT_NE(std::string::npos,
            log.find("\tERR : Unable to locate VelkMobile registry entries for SOFTWARE\\ZUVOZE. "
                     "ERRDesc : " + plat::paddedSystemMessage(2) + "\r\n"));
  std::vector<std::string> texts = logTexts(log);
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ("MSG : ZUVOZE PAth ", texts[texts.size() - 4]);
  EXPECT_EQ("MSG : Application stopped", texts[texts.size() - 2]);
}

TEST_F(HostIdPostRun, RunFromTheInstallationFolderKeepsItsLogThere) {
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "", {}, "", inst_);
  std::vector<std::string> logs = listDir(inst_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size());
  std::vector<std::string> texts = logTexts(readFile(inst_ + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ("MSG : Application stopped", texts[texts.size() - 2]);
}

#ifndef _WIN32
// Natively the clock of both runs is fixed to the same second.
TEST_F(HostIdPostRun, RunsInTheSameSecondShareOneLog) {
  const std::vector<std::pair<std::string, std::string>> clock = {
      {"LD_PRELOAD", "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"},
      {"FAKETIME", "@2026-02-01 09:05:03"}, {"TZ", "UTC"}};
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "first", clock);
  run("hostidpost", "second", clock);
  std::string name;
  std::vector<std::string> texts = logTexts(movedLog("hostidpost", &name));
  EXPECT_EQ("hostidpost_02012026090503.txt", name);
  EXPECT_EQ(2, std::count(texts.begin(), texts.end(), "MSG : Application started..."));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : NumHostID Passed : --> first"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : NumHostID Passed : --> second"));
  EXPECT_EQ("MSG : Application stopped", texts[texts.size() - 2]);
}
#endif

#ifdef _WIN32
TEST_F(HostIdPostRun, AnyOtherComponentErrorEndsTheRunAtOnce) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({Reply::raising("800A0006 Overflow")});
  run("hostidpost", "");
  EXPECT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
  EXPECT_EQ(std::vector<std::string>{}, listDir(inst_ + sep() + "ApplicationLog"));
  std::vector<std::string> logs = listDir(prog_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size()) << "the log is neither closed nor moved";
  std::vector<std::string> texts =
      logTexts(readFile(prog_ + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ("MSG : error in webpost : stub third output: stub second output Err.num 6 ERR DESC "
            "Overflow line no .70",
            texts.back());
}

TEST_F(HostIdPostRun, TheComponentRecordsItsNineArguments) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "");
  ASSERT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("&" + message("4711", "2", "5", "SUCCESS") + "\t=false\t&" + address() +
                "\t=\t=\t&\t&\t&\t&",
            farEnd_.received()[0].raw);
}

// The component is not registered: the run registers Quillon.dll of the
// installation folder (whose path has a blank) and creates it again.
TEST_F(HostIdPostRun, RegistersTheComponentWhenItCannotBeCreated) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({{true, "ok"}});
  FarEnd::registerStub(false);
  ASSERT_EQ(0u, plat::copyFile(FarEnd::stubDll(), instFile("Quillon.dll")));
  run("hostidpost", "", {{"ZUVOZE_SLEEP_SCALE", "40"}});
  EXPECT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
  FarEnd::registerStub(true);
}

TEST_F(HostIdPostRun, GivesUpWhenRegistrationDoesNotHelp) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  FarEnd::registerStub(false);
  run("hostidpost", "");
  FarEnd::registerStub(true);
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
  std::vector<std::string> texts = logTexts(movedLog("hostidpost"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(),
                          "ERR : Unable to create the web-post component Quillon.WebPost after 3 "
                          "registrations"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "ERR : Webpost Failed"));
}

// An old status file that another process holds open cannot be deleted: the
// run ends there with its error line, posts nothing and leaves its log.
TEST_F(HostIdPostRun, AnOldStatusFileThatCannotBeDeletedEndsTheRun) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  writeFile(instFile("WebPostStatus.txt"), "stale");
  farEnd_.script({{true, "ok"}});
  HANDLE held = CreateFileA(instFile("WebPostStatus.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  run("hostidpost", "");
  CloseHandle(held);
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_EQ("stale", readFile(instFile("WebPostStatus.txt")));
  std::vector<std::string> logs = listDir(prog_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size()) << "the log is neither closed nor moved";
  std::vector<std::string> texts =
      logTexts(readFile(prog_ + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ("MSG : Deleging WebPostStatus.txt file", texts[texts.size() - 2]);
  EXPECT_EQ(0u, texts.back().rfind("ERR : Main ()- 32-", 0)) << texts.back();
}

// A component created without its type library registered fails when the
// method's name is looked up: that counts as "not registered", not as a
// missing method, so the run registers it again instead of ending at once.
TEST_F(HostIdPostRun, ATypeLibraryMissingAtTheCallLeadsToRegistration) {
  registry_.setString(kWebSvc, "NumHostID", "5");
  farEnd_.script({{true, "ok"}});
  run("hostidpost", "", {{"QUILLON_STUB_NAMES_ERROR", "8002801D"}});
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
  std::vector<std::string> texts = logTexts(movedLog("hostidpost"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(),
                          "ERR : Unable to create the web-post component Quillon.WebPost after 3 "
                          "registrations"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "ERR : Webpost Failed"));
}
#endif

}  // namespace
}  // namespace zuvoze::testing

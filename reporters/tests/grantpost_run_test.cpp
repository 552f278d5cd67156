// grantpost run end to end: the permission message with its time element, the
// answer kept in grantpost.txt, the retries and the runs that end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "reporter_fixture.h"

namespace zuvoze::testing {
namespace {

const char* const kWebSvc = "SOFTWARE\\LogMeIn\\V5\\WebSvc";

class GrantPostRun : public ReporterRun {
 protected:
  std::string address() const { return farEnd_.baseUrl() + "/tfr_wplmiinstallpermission.asp"; }
  static std::string message(const std::string& numhostid, const std::string& time) {
    return "<wplmiinstallpermission><regid>4711</regid><memberid>m-77</memberid><siteid>site-9"
           "</siteid><regtype>2</regtype><numhostid>" + numhostid + "</numhostid><mndtime>" + time +
           "</mndtime></wplmiinstallpermission>";
  }
  // Natively the clock of the run is fixed with libfaketime.
  std::vector<std::pair<std::string, std::string>> fixedClock() const {
#ifdef _WIN32
    return {};
#else
    return {{"LD_PRELOAD", "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"},
            {"FAKETIME", "@2026-02-01 09:05:03"}, {"TZ", "UTC"}, {"FAKETIME_DONT_RESET", "1"}};
#endif
  }
  // The message as received, with its time checked (exactly where the clock is
  // fixed) and replaced by "T".
  std::string withoutTime(const std::string& xml) {
    std::smatch m;
    std::regex time("<mndtime>([^<]*)</mndtime>");
    if (!std::regex_search(xml, m, time)) return xml;
#ifdef _WIN32
    EXPECT_TRUE(std::regex_match(m[1].str(), std::regex("[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}")))
        << m[1].str();
#else
    EXPECT_EQ("2/1/2026 9:5:3", m[1].str());
#endif
    return std::regex_replace(xml, time, "<mndtime>T</mndtime>");
  }
};

TEST_F(GrantPostRun, PostsThePermissionRequestAndKeepsTheAnswerExactly) {
  registry_.setString(kWebSvc, "NumHostID", "987");
  const std::string answer = "<permission>YES</permission>\r\nline two\nlast line";
  farEnd_.script({{true, answer}});
  run("grantpost", "42,rest", fixedClock());
  std::vector<Received> got = farEnd_.received();
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(message("987", "T"), withoutTime(got[0].xml));
  EXPECT_EQ(address(), got[0].address);
  EXPECT_EQ(answer, readFile(instFile("grantpost.txt")));
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));

  std::string name;
  std::string log = movedLog("grantpost", &name);
#ifndef _WIN32
  EXPECT_EQ("grantpost_02012026090503.txt", name);
#endif
  std::vector<std::string> texts = logTexts(log);
  const std::vector<std::string> head = {
      std::string(80, '*'),
      "MSG : Application started...",
      "MSG : Opening Registry key SOFTWARE\\ZUVOZE",
      "MSG : InstallationPath :: " + inst_,
      "MSG : REGID :: 4711",
      "MSG : RegType :: 2",
      "MSG : MEMBERID :: m-77",
      "MSG : SITEID :: site-9",
      "MSG : NumHostID Passed : --> 42",
      "MSG : Reading the registry for NumhostId",
      "MSG : Opening Registry key SOFTWARE\\LogMeIn\\V5\\WebSvc",
      "MSG : Registry Found SOFTWARE\\LogMeIn\\V5\\WebSvc",
      "MSG : NumHostID :: 987",
      "MSG : Completed reading  the registry.",
      "MSG : Webpost URL : " + address(),
  };
  ASSERT_GE(texts.size(), head.size() + 1);
  EXPECT_EQ(head, std::vector<std::string>(texts.begin(), texts.begin() + head.size()));
  EXPECT_EQ("MSG : Webpost String : " + message("987", "T"), withoutTime(texts[head.size()]));
  EXPECT_NE(std::string::npos, log.find("\tMSG : webposted successfully\r\n"));
  EXPECT_NE(std::string::npos, log.find("\tMSG : Webpost Return String : " + answer + "\r\n"));
  EXPECT_NE(std::string::npos, log.find("\tMSG : Creating OUTPUT file grantpost.txt\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("\tMSG : Successfully created OUTPUT file grantpost.txt at location : " +
                     instPathHeld() + "\r\n"));
  std::vector<std::string> tail(texts.end() - 3, texts.end());
  EXPECT_EQ((std::vector<std::string>{std::string(80, '-'), "MSG : Application stopped",
                                      std::string(80, '-')}),
            tail);
}

TEST_F(GrantPostRun, WithoutIdentifierSendsAnEmptyElement) {
  farEnd_.script({{true, "ok"}});
  run("grantpost", "", fixedClock());
  ASSERT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ(message("", "T"), withoutTime(farEnd_.received()[0].xml));
  std::vector<std::string> texts = logTexts(movedLog("grantpost"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : NumHostID not found."));
  EXPECT_EQ(texts.end(), std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
              return t.rfind("MSG : NumHostID Passed", 0) == 0;
            })) << "an empty command line is not logged";
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "MSG : Registry Not Found " + std::string(kWebSvc)));
}

TEST_F(GrantPostRun, EscapesTheIdentityValuesInTheMessage) {
  registry_.setString("SOFTWARE\\ZUVOZE", "REGID", "47&<11>");
  registry_.setString("SOFTWARE\\ZUVOZE", "MEMBERID", "m\"1'");
  registry_.setString("SOFTWARE\\ZUVOZE", "SiteId", "a&b");
  registry_.setString("SOFTWARE\\ZUVOZE", "Type", "<t>");
  registry_.setString(kWebSvc, "NumHostID", "x>y");
  farEnd_.script({{true, ""}});
  run("grantpost", "", fixedClock());
  ASSERT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("<wplmiinstallpermission><regid>47&amp;&lt;11&gt;</regid><memberid>m&quot;1&apos;"
            "</memberid><siteid>a&amp;b</siteid><regtype>&lt;t&gt;</regtype><numhostid>x&gt;y"
            "</numhostid><mndtime>T</mndtime></wplmiinstallpermission>",
            withoutTime(farEnd_.received()[0].xml));
}

TEST_F(GrantPostRun, AnEmptyAnswerLeavesTheOlderFile) {
  writeFile(instFile("grantpost.txt"), "older answer");
  farEnd_.script({{true, ""}});
  run("grantpost", "");
  EXPECT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("older answer", readFile(instFile("grantpost.txt")));
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
}

TEST_F(GrantPostRun, FiveFailedAttemptsStillKeepTheAnswer) {
  writeFile(instFile("grantpost.txt"), "older answer");
  farEnd_.script({{false, "try later"}});
  run("grantpost", "");
  EXPECT_EQ(5u, farEnd_.received().size());
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
  EXPECT_EQ("try later", readFile(instFile("grantpost.txt")));
  std::vector<std::string> texts = logTexts(movedLog("grantpost"));
  EXPECT_EQ(5, std::count(texts.begin(), texts.end(), "MSG : Trying to web post string"));
  EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "ERR : Webpost Failed"));
  EXPECT_EQ(0, std::count(texts.begin(), texts.end(), "MSG : webposted successfully"));
}

TEST_F(GrantPostRun, SucceedsOnTheSecondAttempt) {
  farEnd_.script({{false, "busy"}, {true, "granted"}});
  run("grantpost", "");
  EXPECT_EQ(2u, farEnd_.received().size());
  EXPECT_EQ("granted", readFile(instFile("grantpost.txt")));
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
}

TEST_F(GrantPostRun, WithoutApplicationLogFolderEndsSilently) {
  std::string bare = tmp_.sub("bare");
  farEnd_.script({{true, "granted"}});
  run("grantpost", "", {}, "", bare);
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_EQ(std::vector<std::string>{exeName("grantpost")}, listDir(bare));
  EXPECT_FALSE(exists(instFile("WebPostStatus.txt")));
  EXPECT_FALSE(exists(instFile("grantpost.txt")));
  EXPECT_EQ(std::vector<std::string>{}, listDir(inst_ + sep() + "ApplicationLog"));
}

TEST_F(GrantPostRun, WithoutAgentRegistrationPostsNothing) {
  TestRegistry empty({"SOFTWARE\\ZUVOZE"});
  std::string cwd = tmp_.sub("cwd");
  makeDirs(cwd + sep() + "ApplicationLog");
  farEnd_.script({{true, "granted"}});
  run("grantpost", "", {}, cwd);
  EXPECT_TRUE(farEnd_.received().empty());
  EXPECT_FALSE(exists(cwd + sep() + "WebPostStatus.txt"));
  EXPECT_FALSE(exists(cwd + sep() + "grantpost.txt"));
  std::vector<std::string> logs = listDir(cwd + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size());
  std::vector<std::string> texts = logTexts(readFile(cwd + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(std::string(80, '-'), texts.back());
}

TEST_F(GrantPostRun, AnOutputFileThatCannotBeWrittenEndsTheRunWithItsError) {
  makeDirs(instFile("grantpost.txt"));  // a folder in the way of the file
  farEnd_.script({{true, "granted"}});
  run("grantpost", "");
  EXPECT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("SUCCESS\r\n", readFile(instFile("WebPostStatus.txt")));
  EXPECT_EQ(std::vector<std::string>{}, listDir(inst_ + sep() + "ApplicationLog"));
  std::vector<std::string> logs = listDir(prog_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size()) << "the log is neither closed nor moved";
  std::vector<std::string> texts = logTexts(readFile(prog_ + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(0u, texts.back().rfind("ERR : Main ()- 5-", 0)) << texts.back();
  EXPECT_EQ("MSG : Creating OUTPUT file grantpost.txt", texts[texts.size() - 2]);
}

#ifndef _WIN32
// A server that accepts and never answers costs one attempt of at most the
// total time-out; the next attempt goes through.
TEST_F(GrantPostRun, AServerThatNeverAnswersEndsTheAttemptInTime) {
  farEnd_.script({Reply::hanging(), {true, "granted"}});
  RunResult r = run("grantpost", "");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(2u, farEnd_.received().size());
  EXPECT_EQ("granted", readFile(instFile("grantpost.txt")));
}
#else
TEST_F(GrantPostRun, AnyOtherComponentErrorEndsTheRunWithoutOutput) {
  farEnd_.script({Reply::raising("80004005 Unspecified")});
  run("grantpost", "");
  EXPECT_EQ(1u, farEnd_.received().size());
  EXPECT_EQ("FAILED\r\n", readFile(instFile("WebPostStatus.txt")));
  EXPECT_FALSE(exists(instFile("grantpost.txt")));
  std::vector<std::string> logs = listDir(prog_ + sep() + "ApplicationLog");
  ASSERT_EQ(1u, logs.size());
  std::vector<std::string> texts = logTexts(readFile(prog_ + sep() + "ApplicationLog" + sep() + logs[0]));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ("MSG : error in webpost : stub third output: stub second output", texts.back());
}
#endif

}  // namespace
}  // namespace zuvoze::testing

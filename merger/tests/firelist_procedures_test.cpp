// The fire list of VELKMobile.ini: lookup, adder, deleter and regeneration,
// called in-process on a fire list in a TempDir (the request files and the run
// log lie in a program folder beside it).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "merger/env.h"
#include "merger/firelist.h"
#include "merger/requests.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;
using Entry = std::array<std::string, 3>;

const std::string kStars(40, '*');
std::string banner(const std::string& title) { return kStars + title + kStars; }

// The connection keys with values as the agent stores them.
std::string connLines() {
  std::string s;
  for (const std::string& k : mobileConnectionKeys()) s += k + "=" + "v_" + k + "\r\n";
  return s;
}

std::string entryLines(int n, const Entry& e) {
  std::string x = "Exe" + std::to_string(n);
  return x + "=" + e[0] + "\r\n" + x + "TO=" + e[1] + "\r\n" + x + "PM=" + e[2] + "\r\n";
}

// A canonical VELKMobile.ini: DCConnURL with the connection keys, the count and
// the entries numbered from 1.
std::string mobileIni(const std::string& count, const std::vector<Entry>& entries) {
  std::string s = "[DCConnURL]\r\n" + connLines() + "Exe2Fire=" + count + "\r\n";
  for (size_t i = 0; i < entries.size(); ++i) s += entryLines(static_cast<int>(i) + 1, entries[i]);
  return s;
}

// A request file: count section INI with both table counts, then DCConnURL.
std::string requestIni(const std::string& fireCount, const std::vector<Entry>& requests,
                       const std::string& schedulerCount = "0") {
  std::string s = "[INI]\r\nVELKScheduler=" + schedulerCount + "\r\nVELKDefaultExe=0\r\n";
  s += "[DCConnURL]\r\n";
  if (!fireCount.empty()) s += "Exe2Fire=" + fireCount + "\r\n";
  for (size_t i = 0; i < requests.size(); ++i) s += entryLines(static_cast<int>(i) + 1, requests[i]);
  return s;
}

class FireList : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::setSleepHook([](uint32_t) {});
    resetRunState();
    testing::makeDirs(dir_.sub("prog"));
    setProgramFolderForTest(dir_.sub("prog"));
    plat::deleteFile(addSectionFile(), true);
    plat::deleteFile(deleteSectionFile(), true);
    run().installationPath = dir_.path() + "\\";
    run().success = true;
    run().summary = "S";
    ASSERT_EQ(0u, openRunLog());
  }
  void TearDown() override {
    resetRunState();
    setProgramFolderForTest("");
    plat::setSleepHook(nullptr);
  }

  // The fire list as the run found it: the file, its backup, and the counter
  // the driver read at the start.
  void setMobile(const std::string& content, const std::string& counter) {
    writeFile(dir_.sub("VELKMobile.ini"), content);
    writeFile(dir_.sub("Bkp_VELKMobile.ini"), content);
    run().nextNumberCounter = counter;
  }
  std::string mobile() const { return readFile(dir_.sub("VELKMobile.ini")); }
  std::string mobilePath() const { return run().installationPath + "VELKMobile.ini"; }
  void setAdd(const std::string& content) { writeFile(dir_.sub("prog\\AddSection.ini"), content); }
  void setDelete(const std::string& content) {
    writeFile(dir_.sub("prog\\DeleteSection.ini"), content);
  }

  // A value of DCConnURL in VELKMobile.ini, "<missing>" when the key is absent.
  std::string value(const std::string& key, const std::string& section = "DCConnURL") const {
    std::vector<char> buf(65536, '\0');
    uint32_t n = plat::getPrivateProfileString(section.c_str(), key.c_str(), "<missing>",
                                               buf.data(), 65536, mobilePath());
    return std::string(buf.data(), n);
  }
  Entry entry(int n) const {
    std::string x = "Exe" + std::to_string(n);
    return {value(x), value(x + "TO"), value(x + "PM")};
  }
  std::vector<Entry> entries() const {
    std::vector<Entry> v;
    const std::string count = value("Exe2Fire");
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) return v;
    int n = std::stoi(count);
    for (int i = 1; i <= n; ++i) v.push_back(entry(i));
    return v;
  }

  // The run log as lines: entries without their time stamp, plain lines as
  // they stand (a separator shows as two empty lines).
  std::vector<std::string> logLines() const {
    std::string text = readFile(dir_.sub("prog\\Add_Delete_IniLog.txt"));
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      size_t tab = line.find('\t');
      lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
      pos = end + 2;
    }
    return lines;
  }
  bool logged(const std::string& message) const {
    for (const std::string& l : logLines())
      if (l == message) return true;
    return false;
  }
  bool loggedPrefix(const std::string& prefix) const {
    for (const std::string& l : logLines())
      if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }

  const std::string& ip() const { return run().installationPath; }

  TempDir dir_;
};

// ---------------------------------------------------------------- lookup

TEST_F(FireList, LookupFindsEntriesAndHandsOutGrowingNumbers) {
  setMobile(mobileIni("2", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}), "2");
  struct Case {
    Entry ask;
    std::string answer, counter;
  };
  const std::vector<Case> cases = {
      {{"A.EXE", "30", "X"}, "TRUE,Exe1,Exe1TO,Exe1PM", "2"},  // letter case does not count
      {{"b.exe", "60", "Y"}, "TRUE,Exe2,Exe2TO,Exe2PM", "2"},
      {{"c.exe", "30", "x"}, "FALSE,Exe3,Exe3TO,Exe3PM", "3"},
      {{"c.exe", "30", "x"}, "FALSE,Exe4,Exe4TO,Exe4PM", "4"},  // asked again: next number
      {{"a.exe", "31", "x"}, "FALSE,Exe5,Exe5TO,Exe5PM", "5"},  // TO differs
      {{"a.exe", "30", "z"}, "FALSE,Exe6,Exe6TO,Exe6PM", "6"},  // PM differs
      {{" a.exe", "30", "x"}, "FALSE,Exe7,Exe7TO,Exe7PM", "7"},  // arguments are not trimmed
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.answer, chkMobile(c.ask[0], c.ask[1], c.ask[2])) << c.ask[0] << "," << c.ask[1];
    EXPECT_EQ(c.counter, run().nextNumberCounter) << c.ask[0] << "," << c.ask[1];
  }
  EXPECT_EQ(mobileIni("2", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}), mobile());
}

TEST_F(FireList, LookupWithoutAUsableCountHandsOutNothing) {
  struct Case {
    std::string count, counter, errorEntry;
  };
  const std::vector<Case> cases = {
      {"0", "0", ""},
      {"-3", "-3", ""},
      {"abc", "abc", "ERR : Error in chkMobile() 13 Type mismatch"},
      {"40000", "40000", "ERR : Error in chkMobile() 6 Overflow"},
      {"1", "32767", "ERR : Error in chkMobile() 6 Overflow"},  // no number left to hand out
  };
  for (const Case& c : cases) {
    setMobile(mobileIni(c.count, {{"a.exe", "30", "x"}}), c.counter);
    EXPECT_EQ("FALSE,-1", chkMobile("c.exe", "30", "x")) << c.count;
    EXPECT_EQ(c.counter, run().nextNumberCounter) << c.count;
    if (!c.errorEntry.empty()) {
      EXPECT_TRUE(logged(c.errorEntry)) << c.count;
    }
    EXPECT_TRUE(run().success) << "the lookup never fails the run";
  }
}

TEST_F(FireList, LookupCountRoundsHalvesToEven) {
  // Exe2Fire 2.5 is 2: entry 3 is not searched, and the counter 2.5 hands out 3.
  setMobile(mobileIni("2.5", {{"a.exe", "1", "x"}, {"b.exe", "2", "y"}, {"c.exe", "3", "z"}}),
            "2.5");
  EXPECT_EQ("FALSE,Exe3,Exe3TO,Exe3PM", chkMobile("c.exe", "3", "z"));
  EXPECT_EQ("3", run().nextNumberCounter);
  EXPECT_EQ("TRUE,Exe2,Exe2TO,Exe2PM", chkMobile("b.exe", "2", "y"));
}

TEST_F(FireList, EmptiedSlotIsNoEntryButStoredDefaultValuesAre) {
  // Slot 1 was emptied by a deletion; slot 2 really holds Default three times.
  std::string content = "[DCConnURL]\r\n" + connLines() + "Exe2Fire=3\r\n" +
                        entryLines(2, {"Default", "Default", "Default"}) +
                        entryLines(3, {"c.exe", "3", "z"});
  setMobile(content, "3");
  EXPECT_EQ("TRUE,Exe2,Exe2TO,Exe2PM", chkMobile("Default", "Default", "Default"));
  content = "[DCConnURL]\r\n" + connLines() + "Exe2Fire=2\r\n" + entryLines(2, {"c.exe", "3", "z"});
  setMobile(content, "2");
  EXPECT_EQ("FALSE,Exe3,Exe3TO,Exe3PM", chkMobile("Default", "Default", "Default"));
}

TEST_F(FireList, ValuesAreComparedWhole) {
  const std::string longA = std::string(99, 'p') + "-one" + std::string(300, 'q');
  const std::string longB = std::string(99, 'p') + "-two" + std::string(300, 'q');
  setMobile(mobileIni("1", {{longA, longA, longA}}), "1");
  EXPECT_EQ("TRUE,Exe1,Exe1TO,Exe1PM", chkMobile(longA, longA, longA));
  EXPECT_EQ("FALSE,Exe2,Exe2TO,Exe2PM", chkMobile(longB, longA, longA));
  EXPECT_EQ("FALSE,Exe3,Exe3TO,Exe3PM", chkMobile(longA, longA, longA.substr(0, 99)));
}

// ---------------------------------------------------------------- adding

TEST_F(FireList, AdderWritesNewEntriesAboveTheCount) {
  setMobile(mobileIni("2", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}), "2");
  const std::string longExe = std::string(150, 'L') + ".exe";
  setAdd(requestIni("4", {{"c.exe", "45", "z"},
                          {"A.EXE", "30", "X"},
                          {"c.exe", "45", "z"},  // same again: not searched above the count
                          {longExe, "1", "w"}}));
  addMobile();

  EXPECT_EQ(3, run().fireAdded);
  EXPECT_EQ("2", value("Exe2Fire"));
  EXPECT_EQ((Entry{"c.exe", "45", "z"}), entry(3));
  EXPECT_EQ((Entry{"c.exe", "45", "z"}), entry(4));
  EXPECT_EQ((Entry{longExe, "1", "w"}), entry(5)) << "stored whole";
  EXPECT_EQ("5", run().nextNumberCounter);
  EXPECT_TRUE(run().success);
  EXPECT_EQ("S", run().summary);
  const std::vector<std::string> expected = {
      banner("Adding Exe2Fire."), "", "",
      "MSG : Total Sections in " + ip() + "VELKMobile.ini is 1",
      "MSG :Checking c.exe exists.", "MSG :Adding c.exe into VELKMobile.ini",
      "MSG :Checking A.EXE exists.", "MSG : A.EXE exists.",
      "MSG :Checking c.exe exists.", "MSG :Adding c.exe into VELKMobile.ini",
      "MSG :Checking " + longExe + " exists.", "MSG :Adding " + longExe + " into VELKMobile.ini",
      "", "", banner("End Of Add Exe2Fire")};
  EXPECT_EQ(expected, logLines());
}

TEST_F(FireList, AdderRequestCountTakesItsLeadingNumber) {
  std::vector<Entry> requests;
  for (int i = 1; i <= 12; ++i) requests.push_back({"r" + std::to_string(i) + ".exe", "1", "p"});
  struct Case {
    std::string count;
    int added;
  };
  const std::vector<Case> cases = {{"2.5", 2}, {"3.5", 4}, {"12abc", 12}, {"1.5", 2},
                                   {"abc", 0}, {"", 0},    {"-4", 0}};
  for (const Case& c : cases) {
    setMobile(mobileIni("1", {{"a.exe", "30", "x"}}), "1");
    setAdd(requestIni(c.count, requests));
    run().fireAdded = 0;
    addMobile();
    EXPECT_EQ(c.added, run().fireAdded) << c.count;
    for (int i = 1; i <= 12; ++i)
      EXPECT_EQ(i <= c.added ? "r" + std::to_string(i) + ".exe" : "<missing>",
                value("Exe" + std::to_string(i + 1)))
          << c.count << " request " << i;
  }
  EXPECT_TRUE(run().success);
  EXPECT_TRUE(logged("MSG : Exe2Fire count in AddSection.ini is blank."));
}

TEST_F(FireList, AdderTakesMissingKeysAsDefaultAndSkipsARequestWithNone) {
  setMobile(mobileIni("1", {{"a.exe", "30", "x"}}), "1");
  // Request 2 has only its executable; request 3 is not there at all.
  setAdd("[INI]\r\nVELKScheduler=0\r\nVELKDefaultExe=0\r\n[DCConnURL]\r\nExe2Fire=3\r\n" +
         entryLines(1, {"b.exe", "5", "y"}) + "Exe2=c.exe\r\n");
  addMobile();
  EXPECT_EQ(2, run().fireAdded);
  EXPECT_EQ((Entry{"b.exe", "5", "y"}), entry(2));
  EXPECT_EQ((Entry{"c.exe", "Default", "Default"}), entry(3));
  EXPECT_EQ("<missing>", value("Exe4"));
  EXPECT_TRUE(logged("MSG : Exe3, Exe3TO and Exe3PM are missing in AddSection.ini. No request."));
  EXPECT_FALSE(logged("MSG :Checking Default exists."));
}

TEST_F(FireList, AdderFailureRestoresTheBackup) {
  struct Case {
    std::string mobileCount, schedulerCount, fireCount;
    int errNumber;
    std::string description;
    bool looked;  // whether a request was looked at before the failure
  };
  const std::vector<Case> cases = {
      {"0", "0", "1", 9, "Subscript out of range", true},  // no number to store it under
      {"abc", "0", "1", 9, "Subscript out of range", true},
      {"1", "", "1", 13, "Type mismatch", false},
      {"1", "x7", "1", 13, "Type mismatch", false},
      {"1", "32768", "1", 6, "Overflow", false},
      {"1", "0", "40000", 6, "Overflow", false},
  };
  for (const Case& c : cases) {
    SetUp();
    const std::string start = mobileIni(c.mobileCount, {{"a.exe", "30", "x"}});
    setMobile(start, c.mobileCount);
    // What earlier steps of the run changed: undone by the restore.
    writeFile(dir_.sub("VELKMobile.ini"), start + "[Changed]\r\nk=1\r\n");
    run().fireDeleted = 1;
    setAdd(requestIni(c.fireCount, {{"c.exe", "1", "z"}}, c.schedulerCount));
    addMobile();

    const std::string what = c.mobileCount + "/" + c.schedulerCount + "/" + c.fireCount;
    EXPECT_EQ(start, mobile()) << what;
    EXPECT_FALSE(run().success) << what;
    EXPECT_EQ("S " + c.description, run().summary) << what;
    EXPECT_EQ(0, run().fireAdded) << what;
    EXPECT_EQ(0, run().fireDeleted) << "the restored file holds no change of the run: " << what;
    std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 5u) << what;
    EXPECT_EQ((std::vector<std::string>{
                  "ERR : Error in addMobile() " + std::to_string(c.errNumber) + " " + c.description,
                  "MSG : copying Bkp_VELKMobile.ini to VELKMobile.ini", "", "",
                  banner("end of Adding Exe2Fire.")}),
              std::vector<std::string>(lines.end() - 5, lines.end()))
        << what;
    EXPECT_EQ(c.looked, logged("MSG :Adding c.exe into VELKMobile.ini")) << what;
    TearDown();
  }
}

TEST_F(FireList, AdderWithBlankFiles) {
  // No request file at all, then one without sections.
  for (bool present : {false, true}) {
    SetUp();
    setMobile(mobileIni("1", {{"a.exe", "30", "x"}}), "1");
    if (present) setAdd("");
    addMobile();
    EXPECT_EQ((std::vector<std::string>{banner("Adding Exe2Fire."), "", "",
                                        "MSG : Total Sections in " + ip() + "VELKMobile.ini is 1",
                                        "MSG : AddSection.ini is blank. Application end.", "", "",
                                        banner("End Of Adding Exe2Fire.")}),
              logLines());
    EXPECT_TRUE(run().success);
    TearDown();
  }
  // A fire list without sections: no closing banner.
  SetUp();
  setMobile("", "");
  setAdd(requestIni("1", {{"c.exe", "1", "z"}}));
  addMobile();
  EXPECT_EQ((std::vector<std::string>{banner("Adding Exe2Fire."), "", "",
                                      "MSG : VELKMobile.ini is blank."}),
            logLines());
  EXPECT_EQ("", mobile());
}

// ---------------------------------------------------------------- deletion

TEST_F(FireList, DeleterRemovesTheMatchingEntryAndLeavesAHole) {
  setMobile(mobileIni("3", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}, {"c.exe", "90", "z"}}),
            "3");
  setDelete(requestIni("3", {{"B.EXE", "60", "Y"}, {"b.exe", "60", "y"}, {"nope.exe", "1", "q"}}));
  deleteMobile();

  EXPECT_EQ(1, run().fireDeleted);
  EXPECT_EQ("3", value("Exe2Fire"));
  EXPECT_EQ((Entry{"<missing>", "<missing>", "<missing>"}), entry(2));
  EXPECT_EQ((Entry{"a.exe", "30", "x"}), entry(1));
  EXPECT_EQ((Entry{"c.exe", "90", "z"}), entry(3));
  EXPECT_EQ("5", run().nextNumberCounter) << "each request not found hands out a number";
  EXPECT_TRUE(run().success);
  const std::vector<std::string> expected = {
      banner("Deleting Exe2Fire."), "", "",
      "MSG : Total Sections in " + ip() + "VELKMobile.ini is 1",
      "MSG : Exe2Fire=3 in VELKMobile.ini",
      "MSG :Checking B.EXE exists or not.", "MSG : B.EXE exists.",
      "MSG :Deleting B.EXE" + std::string(95, ' '),
      "MSG :Checking b.exe exists or not.", "MSG : b.exe does not exist.",
      "MSG :Checking nope.exe exists or not.", "MSG : nope.exe does not exist.",
      "", "", banner("End Of Deleting Exe2Fire")};
  EXPECT_EQ(expected, logLines());
}

TEST_F(FireList, DeleterSkipsARequestWithoutKeysInsteadOfCountingAHole) {
  setMobile(mobileIni("3", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}, {"c.exe", "90", "z"}}),
            "3");
  // Two requests named, three counted: request 3 names no key.
  setDelete(requestIni("3", {{"a.exe", "30", "x"}, {"Default", "Default", "Default"}}));
  deleteMobile();
  EXPECT_EQ(1, run().fireDeleted);
  EXPECT_TRUE(logged("MSG : Exe3, Exe3TO and Exe3PM are missing in DeleteSection.ini. No request."));
  EXPECT_TRUE(logged("MSG : Default does not exist.")) << "a named Default request matches no hole";
}

TEST_F(FireList, DeleterFailureAndBlankRequests) {
  struct Case {
    std::string request;
    std::vector<std::string> tail;
    bool failed;
  };
  const std::vector<Case> cases = {
      {"[INI]\r\nVELKDefaultExe=0\r\n[DCConnURL]\r\nExe2Fire=1\r\n" +
           entryLines(1, {"a.exe", "30", "x"}),
       {"MSG : Total Sections in " + ip() + "VELKMobile.ini is 2",
        "ERR : Error in deleteMobile() 13 Type mismatch",
        "MSG : Copying Bkp_VELKMobile.ini to VELKMobile.ini", "", "",
        banner("end of Deleting Exe2Fire.")},
       true},
      {requestIni("40000", {{"a.exe", "30", "x"}}),
       {"MSG : Total Sections in " + ip() + "VELKMobile.ini is 2",
        "ERR : Error in deleteMobile() 6 Overflow",
        "MSG : Copying Bkp_VELKMobile.ini to VELKMobile.ini", "", "",
        banner("end of Deleting Exe2Fire.")},
       true},
      {requestIni("", {{"a.exe", "30", "x"}}),
       {"MSG : Exe2Fire=0 in VELKMobile.ini", "MSG : Exe2Fire count in DeleteSection.ini is blank.",
        "", "", banner("End Of deleting Exe2Fire.")},
       false},
      {"",
       {"MSG : DeleteSection.ini is blank. Application end.", "", "",
        banner("End Of deleting Exe2Fire.")},
       false},
  };
  for (const Case& c : cases) {
    SetUp();
    const std::string start = mobileIni("1", {{"a.exe", "30", "x"}});
    setMobile(start, "1");
    writeFile(dir_.sub("VELKMobile.ini"), start + "[Changed]\r\nk=1\r\n");
    setDelete(c.request);
    deleteMobile();
    std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), c.tail.size());
    EXPECT_EQ(c.tail, std::vector<std::string>(lines.end() - static_cast<long>(c.tail.size()),
                                               lines.end()));
    EXPECT_EQ(c.failed, !run().success);
    EXPECT_EQ(c.failed, mobile() == start) << "restored only on failure";
    EXPECT_EQ(0, run().fireDeleted);
    TearDown();
  }
}

TEST_F(FireList, DeleterOnACountOfZeroFindsNothing) {
  setMobile(mobileIni("0", {{"a.exe", "30", "x"}}), "0");
  setDelete(requestIni("1", {{"a.exe", "30", "x"}}));
  deleteMobile();
  EXPECT_EQ(0, run().fireDeleted);
  EXPECT_EQ("0", run().nextNumberCounter);
  EXPECT_EQ(mobileIni("0", {{"a.exe", "30", "x"}}), mobile());
  EXPECT_TRUE(logged("MSG : a.exe does not exist."));
}

// ---------------------------------------------------------------- regeneration

TEST_F(FireList, RegenerationRenumbersAndKeepsOtherSectionsInPlace) {
  // As the deleter (entry 2 removed) and the adder (entry 4 above the count)
  // left it; the connection keys out of order, one missing, one with blanks.
  std::string dc = "[DCConnURL]\r\n";
  std::vector<std::string> keys = mobileConnectionKeys();
  for (size_t i = keys.size(); i-- > 0;) {
    if (keys[i] == "DataSSitePwd") continue;
    dc += keys[i] + (keys[i] == "JobPSitePwd" ? "=  s3cr;et pw  " : "=v_" + keys[i]) + "\r\n";
  }
  dc += "Exe2Fire=3\r\n" + entryLines(1, {"a.exe", "30", "x"}) + entryLines(3, {"c.exe", "90", "z"}) +
        entryLines(4, {"d.exe", "15", "w"});
  const std::string source = "[General]\r\nName=Agent\r\nMode=1\r\n" + dc +
                             "[ProxySettings]\r\nProxyIP=10.0.0.1\r\nProxyPort=8080\r\n[Empty]\r\n";
  setMobile(source, "4");
  writeFile(dir_.sub("Old_VELKMobile.ini"), "leftover");
  run().fireDeleted = 1;
  run().fireAdded = 1;
  ReGenMobileFile();

  EXPECT_TRUE(run().success);
  EXPECT_EQ((std::vector<Entry>{{"a.exe", "30", "x"}, {"c.exe", "90", "z"}, {"d.exe", "15", "w"}}),
            entries());
  EXPECT_EQ("s3cr;et pw", value("JobPSitePwd"));
  EXPECT_EQ("", value("DataSSitePwd"));
  EXPECT_EQ("Agent", value("Name", "General"));
  EXPECT_EQ("8080", value("ProxyPort", "ProxySettings"));
  std::string names(1000, '\0');
  names.resize(plat::getPrivateProfileSectionNames(&names[0], 1000, mobilePath()));
  EXPECT_EQ(std::string("General\0DCConnURL\0ProxySettings\0Empty\0", 38), names);
  EXPECT_FALSE(testing::exists(dir_.sub("Old_VELKMobile.ini")));
  EXPECT_FALSE(testing::exists(dir_.sub("New_VELKMobile.ini")));
#ifndef _WIN32
  std::string conn;
  for (const std::string& k : mobileConnectionKeys())
    conn += k + "=" +
            (k == "DataSSitePwd" ? "" : k == "JobPSitePwd" ? "s3cr;et pw" : "v_" + k) + "\r\n";
  EXPECT_EQ("[General]\r\nName=Agent\r\nMode=1\r\n\r\n\r\n[DCConnURL]\r\n" + conn +
                "Exe2Fire=3\r\n" + entryLines(1, {"a.exe", "30", "x"}) +
                entryLines(2, {"c.exe", "90", "z"}) + entryLines(3, {"d.exe", "15", "w"}) +
                "\r\n\r\n[ProxySettings]\r\nProxyIP=10.0.0.1\r\nProxyPort=8080\r\n\r\n\r\n"
                "[Empty]\r\n\r\n\r\n",
            mobile());
#endif
  const std::vector<std::string> expected = {
      banner("Regenerating VELKMobile.ini"), "", "",
      "MSG : Checking whether New_VELKMobile.ini exists or not.",
      "MSG : Checking whether Old_VELKMobile.ini exists or not.",
      "MSG : Successfully deleted " + ip() + "Old_VELKMobile.ini",
      "MSG : Renaming " + ip() + "VELKMobile.ini" + "to" + ip() + "Old_VELKMobile.ini",
      "MSG : Successfully renamed " + ip() + "VELKMobile.ini to" + ip() + "Old_VELKMobile.ini",
      "MSG : Renaming " + ip() + "New_VELKMobile.ini" + "to" + ip() + "VELKMobile.ini",
      "MSG : Successfully renamed " + ip() + "New_VELKMobile.ini to" + ip() + "VELKMobile.ini",
      "MSG : Successfully deleted " + ip() + "Old_VELKMobile.ini ",
      "MSG : Successfully deleted " + ip() + "New_VELKMobile.ini ",
      "", "", banner("End Of Regenerating VELKMobile.ini")};
  EXPECT_EQ(expected, logLines());
}

TEST_F(FireList, RegenerationTakesEntriesByPositionUpToTheBound) {
  struct Case {
    std::string name, afterCount;  // DCConnURL lines after the count line
    std::string count;
    int added, deleted;
    std::vector<Entry> result;  // empty with failed: the backup is restored
    bool failed;
  };
  const std::string e1 = entryLines(1, {"a.exe", "30", "x"});
  const std::string e2 = entryLines(2, {"b.exe", "60", "y"});
  const std::string e3 = entryLines(3, {"c.exe", "90", "z"});
  const std::vector<Case> cases = {
      {"TO and PM in the other order", "Exe1=a.exe\r\nExe1PM=x\r\nExe1TO=30\r\n", "1", 0, 0,
       {{"a.exe", "x", "30"}}, false},
      {"more entries than the bound", e1 + e2 + e3, "2", 0, 0,
       {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}, false},
      {"fewer entries than the bound", e1 + e2, "3", 1, 0,
       {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}, false},
      {"entry lines run out within the bound", e1 + "Exe2=b.exe\r\nExe2TO=60\r\n", "2", 0, 0, {},
       true},
      {"count not a number", e1, "abc", 1, 0, {}, true},
      {"bound overflows", e1, "32767", 1, 0, {}, true},
      {"count of 0 with one added", e1, "0", 1, 0, {{"a.exe", "30", "x"}}, false},
  };
  for (const Case& c : cases) {
    SetUp();
    const std::string start = "[DCConnURL]\r\n" + connLines() + "Exe2Fire=" + c.count + "\r\n" +
                              c.afterCount + "[Other]\r\nk=v\r\n";
    setMobile(start, c.count);
    writeFile(dir_.sub("VELKMobile.ini"), start + "[Changed]\r\nk=1\r\n");
    run().fireAdded = static_cast<Count>(c.added);
    run().fireDeleted = static_cast<Count>(c.deleted);
    ReGenMobileFile();
    EXPECT_EQ(c.failed, !run().success) << c.name;
    if (c.failed) {
      EXPECT_EQ(start, mobile()) << c.name;
      EXPECT_TRUE(loggedPrefix("ERR : Error in ReGenMobileFile() ")) << c.name;
      std::vector<std::string> lines = logLines();
      EXPECT_EQ((std::vector<std::string>{"MSG : Copying Bkp_VELKMobile.ini to VELKMobile.ini", "",
                                          "", banner("End Of Renumbering VELKMobile.ini")}),
                std::vector<std::string>(lines.end() - 4, lines.end()))
          << c.name;
    } else {
      EXPECT_EQ(c.result, entries()) << c.name;
      EXPECT_EQ("<missing>", value("Exe" + std::to_string(c.result.size() + 1))) << c.name;
      EXPECT_EQ("v", value("k", "Other")) << c.name;
      EXPECT_EQ("1", value("k", "Changed")) << c.name;
    }
    TearDown();
  }
}

TEST_F(FireList, RegenerationFindsTheCountLineInAnyLetterCase) {
  // dcconnurl and EXE2FIRE as someone wrote them by hand: rebuilt as DCConnURL,
  // the entries taken from after the count line, not from the connection keys.
  const std::string start = "[dcconnurl]\r\n" + connLines() + "EXE2FIRE=2\r\n" +
                            entryLines(1, {"a.exe", "30", "x"}) +
                            entryLines(2, {"b.exe", "60", "y"});
  setMobile(start, "2");
  run().fireDeleted = 0;
  run().fireAdded = 1;  // entry 3 requested but not written: the bound allows 3
  ReGenMobileFile();
  EXPECT_TRUE(run().success);
  EXPECT_EQ((std::vector<Entry>{{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}), entries());
  EXPECT_EQ("v_ControllerPSitePwd", value("ControllerPSitePwd"));
#ifndef _WIN32
  EXPECT_EQ(0u, mobile().find("[DCConnURL]\r\nControllerPSite=v_ControllerPSite\r\n"));
#endif
}

TEST_F(FireList, RegenerationCarriesLargeSectionsWhole) {
  std::string general = "[General]\r\n";
  for (int i = 0; i < 400; ++i)
    general += "Key" + std::to_string(i) + "=" + std::string(20, 'g') + std::to_string(i) + "\r\n";
  std::vector<Entry> many;
  for (int i = 1; i <= 300; ++i)
    many.push_back({"prog" + std::to_string(i) + ".exe", std::to_string(i), "pm" + std::to_string(i)});
  const std::string longValue(5000, 'V');
  setMobile(general + mobileIni("300", many) + "[Tail]\r\nBig=" + longValue + "\r\n", "300");
  run().fireAdded = 0;
  run().fireDeleted = 0;
  // A hole in the middle: entry 150 is removed.
  ASSERT_TRUE(plat::writePrivateProfileString("DCConnURL", "Exe150", nullptr, mobilePath()));
  ASSERT_TRUE(plat::writePrivateProfileString("DCConnURL", "Exe150TO", nullptr, mobilePath()));
  ASSERT_TRUE(plat::writePrivateProfileString("DCConnURL", "Exe150PM", nullptr, mobilePath()));
  run().fireDeleted = 1;
  ReGenMobileFile();
  ASSERT_TRUE(run().success);
  std::vector<Entry> expected = many;
  expected.erase(expected.begin() + 149);
  EXPECT_EQ(expected, entries());
  for (int i = 0; i < 400; ++i)
    ASSERT_EQ(std::string(20, 'g') + std::to_string(i), value("Key" + std::to_string(i), "General"))
        << i;
  EXPECT_EQ(longValue, value("Big", "Tail"));
}

TEST_F(FireList, FailedSwapCopyFailsTheRun) {
  const std::string start = mobileIni("1", {{"a.exe", "30", "x"}});
  setMobile(start, "1");
  run().fireAdded = 1;
  // A folder where the copy of the source should go.
  testing::makeDirs(dir_.sub("Old_VELKMobile.ini"));
  ReGenMobileFile();
  EXPECT_FALSE(run().success);
  EXPECT_NE("S", run().summary);
  EXPECT_EQ(0u, run().summary.find("S "));
  EXPECT_TRUE(loggedPrefix(" ERR : while renaming VELKMobile.ini to Old_VELKMobile.ini Error :--> "));
  EXPECT_FALSE(loggedPrefix("MSG : Successfully renamed "));
  EXPECT_EQ(start, mobile());
  std::vector<std::string> lines = logLines();
  EXPECT_EQ(banner("End Of Regenerating VELKMobile.ini"), lines.back());
}

// ---------------------------------------------------------------- the fire-list phase

// The driver's order: deleter, adder, and the regeneration when either counted.
void firePhase() {
  deleteMobile();
  addMobile();
  if (run().fireAdded > 0 || run().fireDeleted > 0) ReGenMobileFile();
}

TEST_F(FireList, NoEntryIsLostWhenTheAdderRestoresAfterDeletions) {
  const std::string start =
      mobileIni("3", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}, {"c.exe", "90", "z"}});
  setMobile(start, "3");
  setDelete(requestIni("2", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}}));
  // The adder fails on its count section, after the deleter removed two entries.
  setAdd("[INI]\r\nVELKScheduler=0\r\nVELKDefaultExe=abc\r\n[DCConnURL]\r\nExe2Fire=1\r\n" +
         entryLines(1, {"d.exe", "1", "w"}));
  firePhase();
  EXPECT_FALSE(run().success);
  EXPECT_EQ(start, mobile()) << "the backup stands; no regeneration cut it down";
  EXPECT_EQ(3u, entries().size());
}

TEST_F(FireList, NoEntryIsLostToRequestsWithoutKeys) {
  setMobile(mobileIni("3", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}, {"c.exe", "90", "z"}}),
            "3");
  // Delete a.exe; the count says 3, so requests 2 and 3 read all their keys as
  // missing: they must neither match the hole of a.exe nor be added.
  setDelete(requestIni("3", {{"a.exe", "30", "x"}}));
  setAdd(requestIni("2", {{"d.exe", "1", "w"}}));
  firePhase();
  EXPECT_TRUE(run().success);
  EXPECT_EQ(1, run().fireDeleted);
  EXPECT_EQ(1, run().fireAdded);
  EXPECT_EQ((std::vector<Entry>{{"b.exe", "60", "y"}, {"c.exe", "90", "z"}, {"d.exe", "1", "w"}}),
            entries());
}

TEST_F(FireList, DeleterRestoreLeavesTheAdderItsWholeBound) {
  const std::string start = mobileIni("2", {{"a.exe", "30", "x"}, {"b.exe", "60", "y"}});
  setMobile(start, "2");
  setDelete("[INI]\r\nVELKScheduler=zz\r\nVELKDefaultExe=0\r\n[DCConnURL]\r\nExe2Fire=1\r\n" +
            entryLines(1, {"a.exe", "30", "x"}));
  setAdd(requestIni("1", {{"d.exe", "1", "w"}}));
  firePhase();
  EXPECT_FALSE(run().success);
  EXPECT_EQ((std::vector<Entry>{{"a.exe", "30", "x"}, {"b.exe", "60", "y"}, {"d.exe", "1", "w"}}),
            entries());
}

}  // namespace
}  // namespace zuvoze::merger

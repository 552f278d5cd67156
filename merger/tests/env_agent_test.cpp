// The agent environment: the agent key, the INI helpers, the text helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "merger/driver.h"
#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "test_util.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::TestRegistry;
using testing::writeFile;
using testutil::ini;
using testutil::messages;

const char* const kKey = "SOFTWARE\\ZUVOZE";
constexpr plat::RegView k32 = plat::RegView::View32;

class EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetRunState();
    setProgramFolderForTest(dir.path());
    plat::setSleepHook([this](uint32_t ms) { sleeps.push_back(ms); });
  }
  void TearDown() override {
    plat::setSleepHook(nullptr);
    setProgramFolderForTest("");
    resetRunState();
  }
  // ReadRegistry with the log open; returns the exit code of an early end
  // (-1 when it returned) and the messages logged.
  int readRegistry(std::vector<std::string>* logged) {
    EXPECT_EQ(openRunLog(), 0u);
    int code = -1;
    try {
      ReadRegistry();
    } catch (const ProgramEnd& e) {
      code = e.exitCode;
    }
    run().log.close();
    *logged = messages(readFile(dir.sub("Add_Delete_IniLog.txt")));
    return code;
  }
  TempDir dir;
  std::vector<uint32_t> sleeps;
};

TEST_F(EnvTest, RegistryValueTypes) {
  TestRegistry reg;
  reg.setString(kKey, "Text", "  C:\\Agent  ", k32);
  reg.setRaw(kKey, "Expand", plat::kRegExpandSz, std::string("%WINDIR%\\x\0", 11), k32);
  reg.setRaw(kKey, "Raw4", plat::kRegBinary, std::string("\xFF\xFF\x01\x00", 4), k32);
  reg.setRaw(kKey, "Raw4pos", plat::kRegBinary, std::string("\x39\x30\x00\x80", 4), k32);
  reg.setRaw(kKey, "Raw2", plat::kRegBinary, std::string("\x2A\x00", 2), k32);
  reg.setRaw(kKey, "Raw8", plat::kRegBinary, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8), k32);
  reg.setDword(kKey, "Number", 1234, k32);
  reg.setString(kKey, "Only64", "x", plat::RegView::View64);
  reg.setRaw(kKey, "Cut", plat::kRegSz, std::string("ab\0cd\0", 6), k32);

  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"Text", "  C:\\Agent  "},  // untrimmed here; ReadRegistry trims
      {"text", "  C:\\Agent  "},  // value names match without regard to case
      {"Expand", "%WINDIR%\\x"},  // no expansion of variables
      {"Raw4", "-1"},             // low 16 bits, signed
      {"Raw4pos", "12345"},
      {"Raw2", "42"},
      {"Raw8", ""},               // does not fit a 32-bit number
      {"Number", ""},             // other types read as empty
      {"Only64", ""},             // read in the 32-bit view only
      {"Missing", ""},
      {"Cut", "ab"},              // up to the first NUL
  };
  for (const Case& c : cases)
    EXPECT_EQ(fncRegQueryKey(plat::hklm(), kKey, c.name), c.expected) << c.name;
  EXPECT_EQ(fncRegQueryKey(plat::hklm(), "SOFTWARE\\NoSuchKeyHere", "Text"), "");
}

TEST_F(EnvTest, ReadRegistryFillsTheRunState) {
  struct Case {
    const char* stored;
    const char* path;
  } cases[] = {
      {"C:\\Agent", "C:\\Agent\\"},
      {"C:\\Agent\\", "C:\\Agent\\"},
      {"  C:\\My Agent  ", "C:\\My Agent\\"},
      {" \\ ", "\\"},
  };
  for (const Case& c : cases) {
    TestRegistry reg;
    reg.setString(kKey, "TYPE", " Desktop ", k32);
    reg.setString(kKey, "REGID", " R-77 ", k32);
    reg.setString(kKey, "InstallationPath", c.stored, k32);
    resetRunState();
    std::vector<std::string> logged;
    ASSERT_EQ(readRegistry(&logged), -1) << c.stored;
    EXPECT_EQ(run().installationPath, c.path);
    EXPECT_EQ(run().regid, "R-77");
    EXPECT_EQ(run().agentType, "Desktop");
    EXPECT_EQ(logged, (std::vector<std::string>{
                          std::string("MSG : ZUVOZE Installation Path :--> ") + c.path,
                          "MSG : REGID :--> R-77", "MSG : Agent Type :--> Desktop"}));
  }
}

TEST_F(EnvTest, ReadRegistryEndsOnAMissingValue) {
  struct Case {
    const char *type, *regid, *path;
    std::vector<std::string> logged;
  } cases[] = {
      {"   ", "R", "C:\\A", {"MSG : Agent Type is missing in Registry. ", "MSG : Application End."}},
      {nullptr, "R", "C:\\A", {"MSG : Agent Type is missing in Registry. ", "MSG : Application End."}},
      {"T", "", "C:\\A", {"MSG : Regid path is missing", "MSG : Application stopped"}},
      {"T", "R", " ", {"MSG : ZUVOZE Installation path is missing", "MSG : Application stopped"}},
      {"T", "R", nullptr, {"MSG : ZUVOZE Installation path is missing", "MSG : Application stopped"}},
  };
  for (const Case& c : cases) {
    TestRegistry reg;
    if (c.type) reg.setString(kKey, "TYPE", c.type, k32);
    if (c.regid) reg.setString(kKey, "REGID", c.regid, k32);
    if (c.path) reg.setString(kKey, "InstallationPath", c.path, k32);
    resetRunState();
    std::vector<std::string> logged;
    EXPECT_EQ(readRegistry(&logged), kExitRegistryEnd);
    EXPECT_EQ(logged, c.logged);
  }
}

TEST_F(EnvTest, ReadRegistryTakesARawByteRegid) {
  struct Case {
    bool raw;
    int code;
    const char* regid;
  } cases[] = {{true, -1, "10000"}, {false, kExitRegistryEnd, ""}};
  for (const Case& c : cases) {
    TestRegistry reg;
    reg.setString(kKey, "TYPE", "T", k32);
    if (c.raw)
      reg.setRaw(kKey, "REGID", plat::kRegBinary, std::string("\x10\x27\x00\x00", 4), k32);
    else
      reg.setDword(kKey, "REGID", 10000, k32);  // a 32-bit number reads as empty
    reg.setString(kKey, "InstallationPath", "C:\\A", k32);
    resetRunState();
    std::vector<std::string> logged;
    EXPECT_EQ(readRegistry(&logged), c.code);
    EXPECT_EQ(run().regid, c.regid);
  }
}

TEST_F(EnvTest, ReadIniTrimsAndPauses) {
  const std::string file = dir.sub("t.ini");
  const std::string longValue(12000, 'v');
  writeFile(file, ini({"[S]", "Blank=   ", "Inner=  a  b  ", "Plain=x", "Long=" + longValue,
                       "Long4998=" + std::string(4998, 'w')}));
  EXPECT_EQ(fncReadINI("S", "Blank", file), "");
  EXPECT_EQ(fncReadINI("s", "inner", file), "a  b");
  EXPECT_EQ(fncReadINI("S", "Missing", file), "");
  EXPECT_EQ(fncReadINI("S", "Plain", dir.sub("none.ini")), "");
  EXPECT_EQ(fncReadINI("S", "Long", file), longValue);  // the whole value, beyond 5000
  EXPECT_EQ(fncReadINI("S", "Long4998", file), std::string(4998, 'w'));
  EXPECT_EQ(sleeps, std::vector<uint32_t>(6, 5u));
}

TEST_F(EnvTest, SectionNamesListing) {
  const std::string file = dir.sub("t.ini");
  writeFile(file, ini({"[INI]", "a=1", "[1]", "b=2", "[2]", "c=3"}));
  const std::string listing = fncGetSectionNames(file);
  EXPECT_EQ(listing, std::string("INI\0" "1\0" "2\0", 8));
  std::vector<std::string> parts = splitNames(listing);
  EXPECT_EQ(parts, (std::vector<std::string>{"INI", "1", "2", ""}));
  EXPECT_EQ(fncGetSectionNames(dir.sub("none.ini")), "");
  EXPECT_TRUE(splitNames("").empty());

  // A listing far beyond 5000 characters comes back whole.
  std::vector<std::string> big;
  std::string expected;
  for (int i = 0; i < 900; ++i) {
    std::string name = "Section" + std::to_string(100000 + i);
    big.push_back("[" + name + "]");
    big.push_back("k=v");
    expected += name + '\0';
  }
  writeFile(file, ini(big));
  EXPECT_EQ(fncGetSectionNames(file), expected);
}

TEST_F(EnvTest, TextHelpers) {
  EXPECT_EQ(fncTrimNull("abc"), "abc");
  EXPECT_EQ(fncTrimNull(std::string("ab\0c\0", 5)), "ab");
  EXPECT_EQ(fncTrimNull(std::string("\0x", 2)), "");
  EXPECT_EQ(trim("  a b  "), "a b");
  EXPECT_EQ(trim("\ta\t"), "\ta\t");  // blanks only
  EXPECT_EQ(trim("    "), "");
  EXPECT_EQ(upper("Exe1to.EXE"), "EXE1TO.EXE");
  EXPECT_TRUE(equalsNoCase("VELKScheduler", "velkscheduler"));
  EXPECT_FALSE(equalsNoCase("abc", "abcd"));
  EXPECT_EQ(splitAt("TRUE,Exe1,Exe1TO,Exe1PM", ','),
            (std::vector<std::string>{"TRUE", "Exe1", "Exe1TO", "Exe1PM"}));
  EXPECT_EQ(splitAt("FALSE,-1", ','), (std::vector<std::string>{"FALSE", "-1"}));
  EXPECT_EQ(splitAt("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(splitAt("", ','), (std::vector<std::string>{""}));
}

TEST_F(EnvTest, ShortPathOfAMissingPathIsEmpty) {
  EXPECT_EQ(GetShortpath(dir.sub("no such folder")), "");
  EXPECT_NE(GetShortpath(dir.path()), "");
  EXPECT_EQ(programFile("x.txt"), GetShortpath(dir.path()) + "\\x.txt");
}

TEST_F(EnvTest, FormatMessageIsPaddedTo200) {
  const std::string text = fncFormatMessage("5");
  ASSERT_EQ(text.size(), 200u);
  const size_t crlf = text.find("\r\n");
  ASSERT_NE(crlf, std::string::npos);
  EXPECT_GT(crlf, 0u);
  EXPECT_EQ(text[crlf + 2], '\0');
  EXPECT_EQ(text.back(), ' ');

  ASSERT_EQ(openRunLog(), 0u);
  EXPECT_EQ(fncFormatMessage("five"), "");
  run().log.close();
  EXPECT_EQ(messages(readFile(dir.sub("Add_Delete_IniLog.txt"))),
            (std::vector<std::string>{"fncFormatMessage () - ErrDesc :: 13 Type mismatch"}));
}

}  // namespace
}  // namespace zuvoze::merger

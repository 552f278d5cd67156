// The profile (INI) calls: what the Windows functions and our posix engine do
// alike. The same table runs on both backends, so it holds only canonical files
// (CR LF, unique sections and keys, key=value without blanks, no comments) and
// results that do not depend on how a writer lays out the rest of the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/testsupport.h"
#include "profile_cases.h"

namespace zt = zuvoze::testing;
using namespace zuvoze::plat;
using namespace std::string_literals;

namespace {

using namespace profile_cases;

const std::string kCanon =
    "[General]\r\nName=Value\r\nQuoted=\"q v\"\r\nSingle='s'\r\nInner='\"m\"'\r\nUnbal=\"x'\r\n"
    "Semi=a;b\r\n#h=v\r\n[Second]\r\nk1=1\r\nk2=2\r\n";
const std::string kAbc = "[a]\r\n[bb]\r\n[ccc]\r\n";
const std::string kSec = "[s]\r\nk1=v1\r\nk2=v2\r\n";
const std::string kAB = "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nb=1\r\n";

const Case kCases[] = {
    // Reading values
    {"NamesIgnoreLetterCase", kCanon, Op::Get, "general", "NAME", "", 100, 5, "Value\0"s},
    {"ParametersLoseSpaces", kCanon, Op::Get, "  General  ", "  Name  ", "", 100, 5, "Value\0"s},
    {"DoubleQuotePairRemoved", kCanon, Op::Get, "General", "Quoted", "", 100, 3, "q v\0"s},
    {"SingleQuotePairRemoved", kCanon, Op::Get, "General", "Single", "", 100, 1, "s\0"s},
    {"OnlyOuterQuotePairRemoved", kCanon, Op::Get, "General", "Inner", "", 100, 3, "\"m\"\0"s},
    {"UnequalQuotesStay", kCanon, Op::Get, "General", "Unbal", "", 100, 3, "\"x'\0"s},
    {"SemicolonInValueIsKept", kCanon, Op::Get, "General", "Semi", "", 100, 3, "a;b\0"s},
    {"HashIsAnOrdinaryKey", kCanon, Op::Get, "General", "#h", "", 100, 1, "v\0"s},
    {"KeyOfOtherSectionIsMissing", kCanon, Op::Get, "Second", "Name", "def", 100, 3, "def\0"s},
    {"DefaultLosesTrailingSpaces", kCanon, Op::Get, "General", "None", "d  ", 100, 1, "d\0"s},
    {"DefaultKeepsLeadingSpaces", kCanon, Op::Get, "General", "None", "  d", 100, 3, "  d\0"s},
    {"NullDefaultIsEmpty", kCanon, Op::Get, "Nowhere", "None", nullptr, 100, 0, "\0"s},
    {"MissingFileGivesDefault", kNoFile, Op::Get, "s", "k", "dflt", 100, 4, "dflt\0"s, kNoFile,
     kErrFileNotFound},
    {"EmptyFileGivesDefault", "", Op::Get, "s", "k", "dflt", 100, 4, "dflt\0"s},
    {"LfLineEnds", "[s]\nk=v\nj=w\n", Op::Get, "s", "j", "", 100, 1, "w\0"s},
    {"CrLineEnds", "[s]\rk=v\rj=w\r", Op::Get, "s", "j", "", 100, 1, "w\0"s},
    {"Utf16File", "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0a\0l\0\r\0\n\0"s, Op::Get, "s", "k", "", 100, 3,
     "val\0"s},
    // Buffer rules of a single value
    {"ValueTruncated", kCanon, Op::Get, "General", "Name", "", 4, 3, "Val\0"s},
    {"SizeZeroLeavesBuffer", kCanon, Op::Get, "General", "Name", "", 0, 0, "X"s},
    {"SizeOneGivesEmpty", kCanon, Op::Get, "General", "Name", "", 1, 0, "\0X"s},
    // Listings
    {"NullSectionListsSections", kCanon, Op::Get, nullptr, "Name", "", 100, 15,
     "General\0Second\0\0"s},
    {"NullKeyListsKeys", kCanon, Op::Get, "Second", nullptr, "", 100, 6, "k1\0k2\0\0"s},
    {"NamesFit", kAbc, Op::Names, nullptr, nullptr, nullptr, 20, 9, "a\0bb\0ccc\0\0"s},
    {"NamesFitWithOneSpare", kAbc, Op::Names, nullptr, nullptr, nullptr, 11, 9, "a\0bb\0ccc\0\0"s},
    {"NamesExactFitCountsAsOverflow", kAbc, Op::Names, nullptr, nullptr, nullptr, 10, 8,
     "a\0bb\0ccc\0"s},
    {"NamesOverflowMidName", kAbc, Op::Names, nullptr, nullptr, nullptr, 8, 6, "a\0bb\0c\0"s},
    {"NamesOverflowAtNul", kAbc, Op::Names, nullptr, nullptr, nullptr, 7, 5, "a\0bb\0\0"s},
    {"NamesOverflowSmallest", kAbc, Op::Names, nullptr, nullptr, nullptr, 3, 1, "a\0"s},
    {"NamesOfMissingFile", kNoFile, Op::Names, nullptr, nullptr, nullptr, 10, 0, "\0X"s},
    {"SectionFits", kSec, Op::Section, "S", nullptr, nullptr, 14, 12, "k1=v1\0k2=v2\0\0"s},
    {"SectionExactFitCountsAsOverflow", kSec, Op::Section, "s", nullptr, nullptr, 13, 11,
     "k1=v1\0k2=v2\0"s},
    {"SectionOverflow", kSec, Op::Section, "s", nullptr, nullptr, 8, 6, "k1=v1\0\0"s},
    {"MissingSectionReadsEmpty", kSec, Op::Section, "t", nullptr, nullptr, 10, 0, "\0\0"s},
    {"SectionOfMissingFile", kNoFile, Op::Section, "s", nullptr, nullptr, 10, 0, "\0\0"s},
    // Writing
    {"WriteCreatesMissingFile", kNoFile, Op::Write, "s", "k", "v", 0, 1, "", "[s]\r\nk=v\r\n"},
    {"WriteIntoEmptyFile", "", Op::Write, "s", "k", "v", 0, 1, "", "[s]\r\nk=v\r\n"},
    {"NewKeyEndsItsSection", kAB, Op::Write, "a", "k3", "3", 0, 1, "",
     "[A]\r\nk1=1\r\nk2=2\r\nk3=3\r\n[B]\r\nb=1\r\n"},
    {"NewSectionEndsTheFile", kAB, Op::Write, "C", "c", "x y", 0, 1, "",
     "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nb=1\r\n[C]\r\nc=x y\r\n"},
    {"ValueReplacedKeepingSpelling", "[Sec]\r\nKey=1\r\nNext=2\r\n", Op::Write, "SEC", "KEY", "22", 0,
     1, "", "[Sec]\r\nKey=22\r\nNext=2\r\n"},
    {"EmptyValueWritten", kAB, Op::Write, "B", "b", "", 0, 1, "", "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nb=\r\n"},
    {"SameValueLeavesFile", kAB, Op::Write, "A", "k2", "2", 0, 1, "", kUnchanged},
    {"NullSectionFails", kNoFile, Op::Write, nullptr, "k", "v", 0, 0, "", kNoFile, kErrFileNotFound},
    {"MissingFolderFails", kNoFile, Op::Write, "s", "k", "v", 0, 0, "", kNoFile, kErrPathNotFound},
    {"NullValueDeletesKey", kAB, Op::Write, "A", "K1", nullptr, 0, 1, "",
     "[A]\r\nk2=2\r\n[B]\r\nb=1\r\n"},
    {"DeletingAbsentKeyLeavesFile", kAB, Op::Write, "A", "k9", nullptr, 0, 1, "", kUnchanged},
    {"NullKeyDeletesSection", kAB, Op::Write, "a", nullptr, nullptr, 0, 1, "", "[B]\r\nb=1\r\n"},
    {"NullKeyWithValueDeletesSection", kAB, Op::Write, "B", nullptr, "x", 0, 1, "",
     "[A]\r\nk1=1\r\nk2=2\r\n"},
    {"SectionLinesReplaced", kAB, Op::WriteSection, "A", nullptr, nullptr, 0, 1, "",
     "[A]\r\np=1\r\nq=2\r\n[B]\r\nb=1\r\n", 0, "p=1\0q=2\0\0"s},
    {"SectionWrittenAtEnd", kAB, Op::WriteSection, "C", nullptr, nullptr, 0, 1, "",
     "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nb=1\r\n[C]\r\np=1\r\n", 0, "p=1\0\0"s},
};

class ProfileContract : public ::testing::TestWithParam<Case> {};

TEST_P(ProfileContract, BothBackendsAgree) {
  const Case& c = GetParam();
  zt::TempDir dir;
  std::string file = std::string(c.name) == "MissingFolderFails" ? dir.sub("NoFolder\\t.ini")
                                                                 : dir.sub("t.ini");
  runCase(c, file);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileContract, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// Every read sees the last write, also when the file was replaced or removed
// behind the reader's back.
TEST(ProfileContractReads, SeeEveryChange) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  char buf[64];
  for (int i = 0; i < 20; ++i) {
    std::string v = "value" + std::to_string(i);
    ASSERT_TRUE(writePrivateProfileString("s", "k", v.c_str(), file));
    ASSERT_EQ(v.size(), getPrivateProfileString("s", "k", "", buf, sizeof buf, file));
    EXPECT_EQ(v, buf);
  }
  zt::writeFile(file, "[s]\r\nk=other99\r\n");  // same size, written by plain file I/O
  getPrivateProfileString("s", "k", "", buf, sizeof buf, file);
  EXPECT_STREQ("other99", buf);
  zt::writeFile(file, "[s]\r\nk=other77\r\n");
  getPrivateProfileString("s", "k", "", buf, sizeof buf, file);
  EXPECT_STREQ("other77", buf);
  ASSERT_TRUE(zt::exists(file));
  std::remove(zuvoze::plat::hostPath(file).c_str());
  EXPECT_EQ(4u, getPrivateProfileString("s", "k", "gone", buf, sizeof buf, file));
  EXPECT_STREQ("gone", buf);
}

}  // namespace

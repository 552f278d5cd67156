// The posix profile engine where it follows the Windows rules that Wine does not
// share (in-place edits that keep every other line byte for byte, comments kept,
// a UTF-8 mark read as plain bytes, ...), its handling of damaged input, access
// and folders, and readers and writers in several processes. Posix only: under
// Wine the real functions rewrite the whole file, so these results differ there.
#include <gtest/gtest.h>

#ifdef _WIN32

TEST(ProfilePosixOnly, SkippedOnWindows) {
  GTEST_SKIP() << "posix engine only: the Windows build uses the system's profile functions";
}

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/testsupport.h"
#include "profile_cases.h"

namespace zt = zuvoze::testing;
using namespace zuvoze::plat;
using namespace std::string_literals;

namespace {

using namespace profile_cases;

const std::string kAbc = "[a]\r\n[bb]\r\n[ccc]\r\n";
const std::string kAB = "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nb=1\r\n";
const std::string kUtf16 = "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s;

const Case kPosixCases[] = {
    // Reading
    {"BlanksTabsVerticalTabsTrimmed", "[s]\r\n \t k \v=\t v w \v\r\n", Op::Get, "s", "k", "", 100, 3,
     "v w\0"s},
    {"BlanksInsideQuotesKept", "[s]\r\nk=  \"  p  \"  \r\n", Op::Get, "s", "k", "", 100, 5, "  p  \0"s},
    {"TabInSectionParameterStays", "[s]\r\nk=v\r\n", Op::Get, "\ts", "k", "d", 100, 1, "d\0"s},
    {"TabInKeyParameterStays", "[s]\r\nk=v\r\n", Op::Get, "s", "\tk", "d", 100, 1, "d\0"s},
    {"CommentLineIsNoKey", "[s]\r\n  ;c=x\r\n", Op::Get, "s", ";c", "d", 100, 1, "d\0"s},
    {"LineWithoutEqualsIsNoKey", "[s]\r\nnoeq\r\n", Op::Get, "s", "noeq", "d", 100, 1, "d\0"s},
    {"SplitAtFirstEquals", "[s]\r\nk=a=b\r\n", Op::Get, "s", "k", "", 100, 3, "a=b\0"s},
    {"FirstDuplicateKeyWins", "[s]\r\nk=1\r\nk=2\r\n", Op::Get, "s", "k", "", 100, 1, "1\0"s},
    {"OnlyFirstDuplicateSectionSearched", "[s]\r\nk=1\r\n[t]\r\n[S]\r\nk=3\r\nj=4\r\n", Op::Get, "s",
     "j", "d", 100, 1, "d\0"s},
    {"HeaderBlanksAndTrailingText", "  [ t ]  junk\r\nk=v\r\n", Op::Get, "t", "k", "", 100, 1, "v\0"s},
    {"NameEndsAtFirstBracket", "[a]b]\r\nk=v\r\n", Op::Names, nullptr, nullptr, nullptr, 100, 2,
     "a\0\0"s},
    {"HeaderWithoutClosingBracket", "[nobracket\r\nk=v\r\n", Op::Get, "nobracket", "k", "", 100, 1,
     "v\0"s},
    {"KeysBeforeFirstSectionUnreachable", "k=pre\r\n[]\r\nk=e\r\n", Op::Get, "", "k", "", 100, 1,
     "e\0"s},
    {"EmptyQuotes", "[s]\r\nk=\"\"\r\n", Op::Get, "s", "k", "d", 100, 0, "\0"s},
    {"LoneQuote", "[s]\r\nk=\"\r\n", Op::Get, "s", "k", "", 100, 1, "\"\0"s},
    {"TruncationSetsMoreData", "[s]\r\nk=Value\r\n", Op::Get, "s", "k", "", 4, 3, "Val\0"s, kUnchanged,
     kErrMoreData},
    {"QuotedValueExactFit", "[s]\r\nk=\"quoted\"\r\n", Op::Get, "s", "k", "", 7, 6, "quoted\0"s},
    {"KeyListSkipsCommentsAndBareLines", "[s]\r\nk1=a\r\n;c=x\r\nnoeq\r\nk2=b\r\nk1=c\r\n", Op::Get, "s",
     nullptr, "", 100, 9, "k1\0k2\0k1\0\0"s},
    {"KeyListOfMissingSectionIsDefault", "[s]\r\nk=v\r\n", Op::Get, "t", nullptr, "DEF", 100, 3,
     "DEF\0X"s},
    {"ListOverflowEndsInTwoNuls", kAbc, Op::Names, nullptr, nullptr, nullptr, 8, 6, "a\0bb\0c\0\0"s},
    {"NamesSizeTwo", kAbc, Op::Names, nullptr, nullptr, nullptr, 2, 0, "\0\0X"s},
    {"KeyListSizeTwo", kAbc, Op::Get, "a", nullptr, "DEF", 2, 0, "\0\0X"s},
    {"SectionSizeOne", kAB, Op::Section, "A", nullptr, nullptr, 1, 0, "\0X"s},
    {"SectionSizeZero", kAB, Op::Section, "A", nullptr, nullptr, 0, 0, "X"s},
    {"SectionLinesTrimmedQuotesKept", "[s]\r\n  k1 = v \r\nk2=\"q\"\r\n;c=x\r\nnoeq\r\n=v\r\n\r\n",
     Op::Section, "s", nullptr, nullptr, 100, 20, "k1=v\0k2=\"q\"\0noeq\0=v\0\0"s},
    {"DuplicateSectionsListedTwice", "[a]\r\n[ sp ]\r\n[A]\r\n", Op::Names, nullptr, nullptr, nullptr,
     100, 7, "a\0sp\0A\0\0"s},
    {"Utf8MarkIsPlainBytes", "\xEF\xBB\xBF[s]\r\nk=v\r\n", Op::Get, "s", "k", "d", 100, 1, "d\0"s},
    {"Utf8MarkLineIsNoSection", "\xEF\xBB\xBF[x]\r\n[s]\r\nk=v\r\n", Op::Names, nullptr, nullptr, nullptr,
     100, 2, "s\0\0"s},
    {"NulBytesBeforeFirstSection", "\0\0junk\r\n[s]\r\nk=v\r\n"s, Op::Get, "s", "k", "", 100, 1, "v\0"s},
    {"MixedLineEnds", "[s]\rk=1\n\r\nj=2\r\r\ni=3", Op::Section, "s", nullptr, nullptr, 100, 12,
     "k=1\0j=2\0i=3\0\0"s},
    {"Utf16ListedAsBytes", "\xFF\xFE[\0\xE9\0]\0"s, Op::Names, nullptr, nullptr, nullptr, 100, 2,
     "\xE9\0\0"s},
    // Writing: in-place edits
    {"NewKeyGoesToFirstDuplicateSection", "[s]\r\na=1\r\n[t]\r\n[s]\r\nk=2\r\n", Op::Write, "s", "k",
     "X", 0, 1, "", "[s]\r\na=1\r\nk=X\r\n[t]\r\n[s]\r\nk=2\r\n"},
    {"ValueWrittenVerbatim", kNoFile, Op::Write, "  s  ", "  k  ", " v ", 0, 1, "", "[s]\r\nk= v \r\n"},
    {"CommentKeyAddedAgain", "[s]\r\n;k=v\r\n", Op::Write, "s", ";k", "v", 0, 1, "",
     "[s]\r\n;k=v\r\n;k=v\r\n"},
    {"EmptySectionNameWritesBrackets", "[a]\r\nx=1\r\n", Op::Write, "", "k", "v", 0, 1, "",
     "[a]\r\nx=1\r\n[]\r\nk=v\r\n"},
    {"UntouchedLinesKeepTheirBytes", "\0\0pre\n\n[A]\n k = v \n\n; a = b\n[t] junk\r\nx = 1\r\n\r\ny=2"s,
     Op::Write, "T", "X", "9", 0, 1, "", "\0\0pre\n\n[A]\n k = v \n\n; a = b\n[t] junk\r\nx=9\r\n\r\ny=2"s},
    {"NewKeyBeforeTrailingComment", "[A]\r\nk=1\r\n;c\r\n\r\n[B]\r\n", Op::Write, "A", "n", "2", 0, 1,
     "", "[A]\r\nk=1\r\nn=2\r\n;c\r\n\r\n[B]\r\n"},
    {"NewKeyAfterCommentsOnly", "[A]\r\n;c1\r\n;c2\r\n\r\n[B]\r\n", Op::Write, "A", "n", "2", 0, 1, "",
     "[A]\r\n;c1\r\n;c2\r\nn=2\r\n\r\n[B]\r\n"},
    {"NewKeyInHeaderOnlySection", "[A]\r\n[B]\r\nb=1\r\n", Op::Write, "A", "n", "2", 0, 1, "",
     "[A]\r\nn=2\r\n[B]\r\nb=1\r\n"},
    {"NewSectionAfterUnendedLastLine", "[A]\r\nk=1", Op::Write, "B", "b", "1", 0, 1, "",
     "[A]\r\nk=1\r\n[B]\r\nb=1\r\n"},
    {"NewKeyAfterUnendedLastLine", "[A]\r\nk=1", Op::Write, "A", "j", "2", 0, 1, "",
     "[A]\r\nk=1\r\nj=2\r\n"},
    {"ReplacedLineKeepsLfEnd", "[A]\nk=1\nj=2\n", Op::Write, "A", "k", "5", 0, 1, "", "[A]\nk=5\nj=2\n"},
    {"SameValueWithBlanksLeavesFile", "[s]\r\nk = v\r\n", Op::Write, "s", "k", "v", 0, 1, "", kUnchanged},
    {"Utf16FileWrittenAsUtf16", kUtf16, Op::Write, "S", "j", "w\xE9", 0, 1, "",
     kUtf16 + "j\0=\0w\0\xE9\0\r\0\n\0"s},
    {"Utf8MarkKeptAndNotASection", "\xEF\xBB\xBF[s]\r\nk=v\r\n", Op::Write, "s", "k", "x", 0, 1, "",
     "\xEF\xBB\xBF[s]\r\nk=v\r\n[s]\r\nk=x\r\n"},
    {"BinaryBytesKept", "[s]\r\nk=v\r\n\xFF\0\x01junk\0\r\n"s, Op::Write, "s", "j", "1", 0, 1, "",
     "[s]\r\nk=v\r\n\xFF\0\x01junk\0\r\nj=1\r\n"s},
    // Writing: deletions
    {"DeleteSectionKeepsComments", "[A]\r\n;keep\r\nk=1\r\nnoeq\r\n\r\n[B]\r\nb=1\r\n", Op::Write, "A",
     nullptr, nullptr, 0, 1, "", ";keep\r\n\r\n[B]\r\nb=1\r\n"},
    {"DeleteOnMissingFileCreatesEmptyFile", kNoFile, Op::Write, "s", "k", nullptr, 0, 1, "", ""},
    {"DeleteFirstDuplicateKeyOnly", "[s]\r\nk=1\r\nk=2\r\n", Op::Write, "s", "k", nullptr, 0, 1, "",
     "[s]\r\nk=2\r\n"},
    {"FlushSucceedsAndCreatesNothing", kNoFile, Op::Write, nullptr, nullptr, nullptr, 0, 1, "", kNoFile},
    // Writing whole sections
    {"SectionWriteKeepsComments", "[A]\r\n;top\r\nk=1\r\n;mid\r\nj=2\r\n[B]\r\n", Op::WriteSection, "A",
     nullptr, nullptr, 0, 1, "", "[A]\r\n;top\r\np=1\r\nq=2\r\n;mid\r\n[B]\r\n", 0, "p=1\0q=2\0\0"s},
    {"SectionEntriesWithoutEqualsDropped", kAB, Op::WriteSection, "B", nullptr, nullptr, 0, 1, "",
     "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nq = 2 \r\n;c=3\r\n", 0, "noeq\0q = 2 \0;c=3\0\0"s},
    {"EmptySectionListKeepsHeader", kAB, Op::WriteSection, "A", nullptr, nullptr, 0, 1, "",
     "[A]\r\n[B]\r\nb=1\r\n", 0, "\0\0"s},
    {"NullSectionListDeletesSection", kAB, Op::WriteSection, "A", nullptr, nullptr, 0, 1, "",
     "[B]\r\nb=1\r\n", 0, kNullLines},
    {"SectionWriteEmptiesLaterDuplicates", "[A]\r\nk=1\r\n[B]\r\n[a]\r\nj=2\r\n", Op::WriteSection, "A",
     nullptr, nullptr, 0, 1, "", "[A]\r\np=1\r\n[B]\r\n[a]\r\n", 0, "p=1\0\0"s},
    {"SectionWriteIntoCommentOnlySection", "[A]\r\n;c\r\n[B]\r\n", Op::WriteSection, "A", nullptr,
     nullptr, 0, 1, "", "[A]\r\n;c\r\np=1\r\n[B]\r\n", 0, "p=1\0\0"s},
};

class ProfilePosixOnly : public ::testing::TestWithParam<Case> {};

TEST_P(ProfilePosixOnly, FollowsWindows) {
  const Case& c = GetParam();
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  const std::string expected = runCase(c, file);
  EXPECT_EQ(expected == kNoFile ? 0u : 1u, zt::listDir(dir.path()).size()) << "scratch files left";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfilePosixOnly, ::testing::ValuesIn(kPosixCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

std::string get(const std::string& file, const char* section, const char* key, uint32_t size = 256) {
  std::vector<char> buf(size, 'X');
  uint32_t n = getPrivateProfileString(section, key, "<none>", buf.data(), size, file);
  return std::string(buf.data(), n);
}

mode_t modeOf(const std::string& path) {
  struct stat st;
  return stat(hostPath(path).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Damaged or unusual input never throws or crashes, and what can be read still reads.
TEST(ProfilePosixOnlyInput, DamagedAndHugeFiles) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  std::string noise;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1103515245u + 12345u;
    noise += static_cast<char>(x >> 24);
  }
  const std::string samples[] = {noise, "\r\r\n\n\r", "[", "=", "[[]]]=]\r\n=\r\n[", "\0\0\0"s,
                                 "\xFF\xFE", "\xFF\xFE\x41", "[s]\r\nk", std::string(1 << 20, '[')};
  for (const std::string& s : samples) {
    zt::writeFile(file, s);
    char buf[64];
    getPrivateProfileString("s", "k", "d", buf, sizeof buf, file);
    getPrivateProfileString("s", nullptr, "d", buf, sizeof buf, file);
    getPrivateProfileSectionNames(buf, sizeof buf, file);
    getPrivateProfileSection("s", buf, sizeof buf, file);
    EXPECT_TRUE(writePrivateProfileString("new", "key", "val", file));
    EXPECT_EQ("val", get(file, "NEW", "KEY"));
    EXPECT_TRUE(writePrivateProfileSection("new", "a=1\0\0", file));
    EXPECT_EQ("1", get(file, "new", "a"));
    EXPECT_EQ("<none>", get(file, "new", "key"));
  }
  // A value of megabytes, read and written whole; the rest of the file stays.
  std::string big(3 << 20, 'v');
  zt::writeFile(file, "[s]\r\nk=" + big + "\r\nj=2\r\n");
  EXPECT_EQ(big, get(file, "s", "k", static_cast<uint32_t>(big.size() + 2)));
  std::string big2(2 << 20, 'w');
  ASSERT_TRUE(writePrivateProfileString("s", "j", big2.c_str(), file));
  EXPECT_EQ("[s]\r\nk=" + big + "\r\nj=" + big2 + "\r\n", zt::readFile(file));
}

// Null pointers where the calls take none give a neutral result.
TEST(ProfilePosixOnlyInput, NullPointers) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  zt::writeFile(file, "[s]\r\nk=v\r\n");
  EXPECT_EQ(0u, getPrivateProfileString("s", "k", "", nullptr, 10, file));
  EXPECT_EQ(0u, getPrivateProfileSectionNames(nullptr, 10, file));
  EXPECT_EQ(0u, getPrivateProfileSection("s", nullptr, 10, file));
  char buf[16] = "XXXXXXXXXXXXXXX";
  EXPECT_EQ(0u, getPrivateProfileSection(nullptr, buf, sizeof buf, file));
  EXPECT_EQ(std::string("\0\0X", 3), std::string(buf, 3));
  EXPECT_FALSE(writePrivateProfileSection(nullptr, "a=1\0", file));
  EXPECT_EQ("[s]\r\nk=v\r\n", zt::readFile(file));
}

TEST(ProfilePosixOnlyFiles, AccessFoldersAndPaths) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  // A read-only file is refused and stays as it was.
  zt::writeFile(file, "[s]\r\nk=v\r\n");
  ASSERT_EQ(0, chmod(hostPath(file).c_str(), 0444));
  EXPECT_FALSE(writePrivateProfileString("s", "k", "w", file));
  EXPECT_EQ(kErrAccessDenied, lastError());
  EXPECT_FALSE(writePrivateProfileString("s", nullptr, nullptr, file));
  EXPECT_EQ("[s]\r\nk=v\r\n", zt::readFile(file));
  EXPECT_EQ("v", get(file, "s", "k"));
  // A writable file keeps its permission bits through a change.
  ASSERT_EQ(0, chmod(hostPath(file).c_str(), 0640));
  ASSERT_TRUE(writePrivateProfileString("s", "k", "w", file));
  EXPECT_EQ(0640u, modeOf(file));
  // A folder where the file should be reads as unreadable.
  zt::makeDirs(dir.sub("Folder.ini"));
  setLastError(0);
  EXPECT_EQ("<none>", get(dir.sub("Folder.ini"), "s", "k"));
  EXPECT_EQ(kErrAccessDenied, lastError());
  EXPECT_FALSE(writePrivateProfileString("s", "k", "v", dir.sub("Folder.ini")));
  EXPECT_EQ(kErrAccessDenied, lastError());
  // A missing folder.
  EXPECT_EQ("<none>", get(dir.sub("Missing\\t.ini"), "s", "k"));
  EXPECT_EQ(kErrPathNotFound, lastError());
  // Windows paths: a drive letter, backslashes and other letter case find the file.
  zt::setEnv("ZUVOZE_DRIVE_Q", dir.path());
  ASSERT_TRUE(writePrivateProfileString("S", "n", "1", "q:\\T.INI"));
  EXPECT_EQ("[s]\r\nk=w\r\nn=1\r\n", zt::readFile(file));
  // A bare name lives in the Windows folder.
  zt::makeDirs(dir.sub("Win"));
  zt::setEnv("ZUVOZE_WINDIR", "Q:\\Win");
  ASSERT_TRUE(writePrivateProfileString("s", "k", "v", "bare.ini"));
  EXPECT_EQ("[s]\r\nk=v\r\n", zt::readFile(dir.sub("Win/bare.ini")));
  EXPECT_EQ("v", get("bare.ini", "s", "k"));
  zt::unsetEnv("ZUVOZE_WINDIR");
  zt::unsetEnv("ZUVOZE_DRIVE_Q");
  EXPECT_EQ((std::vector<std::string>{"Folder.ini", "Win", "t.ini"}), zt::listDir(dir.path()));
}

// A change that a crash test can stop: the hook runs before a changing write,
// and not for one that changes nothing.
TEST(ProfilePosixOnlyFiles, MutationHookSeesChangingWrites) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  int calls = 0;
  setMutationHook([&](const char* op, const std::string& path) {
    if (std::string(op) == "profile" && path == hostPath(file)) ++calls;
  });
  EXPECT_TRUE(writePrivateProfileString("s", "k", "v", file));
  EXPECT_TRUE(writePrivateProfileString("s", "k", "v", file));
  EXPECT_TRUE(writePrivateProfileString("s", "other", nullptr, file));
  EXPECT_TRUE(writePrivateProfileSection("s", "k=v\0\0", file));
  setMutationHook(nullptr);
  EXPECT_EQ(1, calls);
}

// Runs body in a child process; returns its exit status (0 when it succeeded).
template <typename F>
int inChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  int status = -1;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A read sees what another process wrote just before: through this engine, or
// in place with the same size (the case that stamps alone can miss).
TEST(ProfilePosixOnlyProcesses, ReadSeesOtherProcessWrites) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  ASSERT_TRUE(writePrivateProfileString("s", "k", "AAAA", file));
  EXPECT_EQ("AAAA", get(file, "s", "k"));
  for (const char* v : {"BBBB", "CCCC", "DDDD"}) {
    ASSERT_EQ(0, inChild([&] { return writePrivateProfileString("s", "k", v, file); }));
    EXPECT_EQ(v, get(file, "s", "k"));
  }
  ASSERT_EQ(0, inChild([&] {
              zt::writeFile(file, "[s]\r\nk=EEEE\r\n");
              return true;
            }));
  EXPECT_EQ("EEEE", get(file, "s", "k"));
  // Once the file is older than any clock tick, the parse is reused on its
  // stamps alone: an in-place change of the same size must still be seen, even
  // when the writer puts the old modification time back.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  EXPECT_EQ("EEEE", get(file, "s", "k"));
  EXPECT_EQ("EEEE", get(file, "s", "k"));
  ASSERT_EQ(0, inChild([&] {
              struct stat st;
              if (stat(hostPath(file).c_str(), &st) != 0) return false;
              zt::writeFile(file, "[s]\r\nk=FFFF\r\n");
              struct timespec times[2] = {st.st_atim, st.st_mtim};
              return utimensat(AT_FDCWD, hostPath(file).c_str(), times, 0) == 0;
            }));
  EXPECT_EQ("FFFF", get(file, "s", "k"));
}

// Two processes adding keys to one file at the same time lose none, and a
// reader meanwhile always finds a whole file.
TEST(ProfilePosixOnlyProcesses, ConcurrentWritersLoseNothing) {
  zt::TempDir dir;
  std::string file = dir.sub("t.ini");
  ASSERT_TRUE(writePrivateProfileString("s", "seed", "0", file));
  const int kKeys = 150;
  std::vector<pid_t> kids;
  for (int w = 0; w < 2; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kKeys; ++i) {
        std::string key = "w" + std::to_string(w) + "k" + std::to_string(i);
        std::string section = i % 2 ? "s" : "t" + std::to_string(w);
        ok = writePrivateProfileString(section.c_str(), key.c_str(), key.c_str(), file) && ok;
      }
      _exit(ok ? 0 : 1);
    }
    kids.push_back(pid);
  }
  int torn = 0;
  for (int i = 0; i < 200; ++i) {
    if (get(file, "s", "seed") != "0") ++torn;
  }
  for (pid_t pid : kids) {
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(0, torn);
  int missing = 0;
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kKeys; ++i) {
      std::string key = "w" + std::to_string(w) + "k" + std::to_string(i);
      std::string section = i % 2 ? "s" : "t" + std::to_string(w);
      if (get(file, section.c_str(), key.c_str()) != key) ++missing;
    }
  }
  EXPECT_EQ(0, missing);
  // Two threads of one process are kept apart the same way.
  auto writeKeys = [&](int w) {
    for (int i = 0; i < 60; ++i) {
      std::string key = "thread" + std::to_string(w) + "k" + std::to_string(i);
      writePrivateProfileString("threads", key.c_str(), key.c_str(), file);
    }
  };
  std::thread a(writeKeys, 0), b(writeKeys, 1);
  a.join();
  b.join();
  std::vector<char> keys(65536);
  uint32_t n = getPrivateProfileString("threads", nullptr, "", keys.data(), 65536, file);
  EXPECT_EQ(120, std::count(keys.begin(), keys.begin() + n, '\0'));
  EXPECT_EQ(1u, zt::listDir(dir.path()).size()) << "scratch files left";
}

}  // namespace

#endif

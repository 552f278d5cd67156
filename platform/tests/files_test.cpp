// File and folder operations: replacing, moving, deleting, appending, reading
// lines, short paths and the log stream, with the codes of their failures.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/testsupport.h"

namespace zt = zuvoze::testing;
using namespace zuvoze::plat;
using zt::TempDir;

namespace {

void makeReadOnly(const std::string& path) {
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
#else
  ASSERT_EQ(0, chmod(hostPath(path).c_str(), 0444));
#endif
}

TEST(Files, ExistsTellsFilesFromFolders) {
  TempDir dir;
  zt::writeFile(dir.sub("f.txt"), "x");
  EXPECT_TRUE(fileExists(dir.sub("f.txt")));
  EXPECT_FALSE(folderExists(dir.sub("f.txt")));
  EXPECT_TRUE(folderExists(dir.path()));
  EXPECT_FALSE(fileExists(dir.path()));
  EXPECT_FALSE(fileExists(dir.sub("missing.txt")));
  EXPECT_FALSE(folderExists(dir.sub("missing")));

  EXPECT_EQ(kOk, createFolder(dir.sub("New")));
  EXPECT_TRUE(folderExists(dir.sub("New")));
  EXPECT_EQ(kErrAlreadyExists, createFolder(dir.sub("New")));
  EXPECT_EQ(kErrPathNotFound, createFolder(dir.sub("No\\Parent")));
  EXPECT_EQ(kErrPathNotFound, lastError());
}

TEST(Files, CopyReplacesTheTargetAndLeavesNoScratchFile) {
  TempDir dir;
  std::string from = dir.sub("VELKMobile.ini");
  std::string to = dir.sub("Bkp_VELKMobile.ini");
  std::string bytes("[A]\r\nk=v\n\0tail", 14);
  zt::writeFile(from, bytes);
  zt::writeFile(to, "older and longer content");
  ASSERT_EQ(kOk, copyFile(from, to));
  EXPECT_EQ(bytes, zt::readFile(to));
  EXPECT_EQ(bytes, zt::readFile(from));
  ASSERT_EQ(kOk, copyFile(from, dir.sub("Fresh.ini")));  // a new target
  EXPECT_EQ(bytes, zt::readFile(dir.sub("Fresh.ini")));
  EXPECT_EQ((std::vector<std::string>{"Bkp_VELKMobile.ini", "Fresh.ini", "VELKMobile.ini"}),
            zt::listDir(dir.path()));

  // Failures leave the target as it was.
  EXPECT_EQ(kErrFileNotFound, copyFile(dir.sub("missing.ini"), to));
  EXPECT_EQ(kErrFileNotFound, lastError());
  EXPECT_EQ(bytes, zt::readFile(to));
  EXPECT_EQ(kErrPathNotFound, copyFile(from, dir.sub("NoFolder\\x.ini")));
  EXPECT_EQ(3u, zt::listDir(dir.path()).size());
}

TEST(Files, MoveRefusesAnExistingTarget) {
  TempDir dir;
  zt::writeFile(dir.sub("a.txt"), "a");
  zt::writeFile(dir.sub("b.txt"), "b");
  EXPECT_EQ(kErrAlreadyExists, moveFile(dir.sub("a.txt"), dir.sub("b.txt")));
  EXPECT_EQ(kErrAlreadyExists, lastError());
  EXPECT_EQ("a", zt::readFile(dir.sub("a.txt")));
  EXPECT_EQ("b", zt::readFile(dir.sub("b.txt")));

  ASSERT_EQ(kOk, moveFile(dir.sub("a.txt"), dir.sub("c.txt")));
  EXPECT_FALSE(fileExists(dir.sub("a.txt")));
  EXPECT_EQ("a", zt::readFile(dir.sub("c.txt")));
  EXPECT_EQ(kErrFileNotFound, moveFile(dir.sub("a.txt"), dir.sub("d.txt")));
}

TEST(Files, ReadOnlyFileIsNotReplacedAndNeedsForceToDelete) {
  TempDir dir;
  std::string f = dir.sub("ro.txt");
  zt::writeFile(f, "keep");
  makeReadOnly(f);
  EXPECT_EQ(kErrAccessDenied, deleteFile(f, false));
  EXPECT_EQ(kErrAccessDenied, lastError());
  EXPECT_EQ("keep", zt::readFile(f));
  // Nor is it replaced.
  zt::writeFile(dir.sub("new.txt"), "new");
  EXPECT_EQ(kErrAccessDenied, copyFile(dir.sub("new.txt"), f));
  EXPECT_EQ(kErrAccessDenied, writeTextFile(f, "new"));
  EXPECT_EQ(kErrAccessDenied, appendTextFile(f, "x", false));
  EXPECT_EQ(kErrAccessDenied, appendTextFile(f, "x", true));
  {
    TextStream s;
    EXPECT_EQ(kErrAccessDenied, s.open(f, TextStream::Mode::Append));
    EXPECT_EQ(kErrAccessDenied, s.open(f, TextStream::Mode::AppendOrCreate));
    EXPECT_FALSE(s.isOpen());
  }
  EXPECT_EQ("keep", zt::readFile(f));
  EXPECT_FALSE(fileExists(f + "\\"));  // a trailing separator names a folder
  EXPECT_EQ(kOk, deleteFile(f, true));
  EXPECT_FALSE(zt::exists(f));
  EXPECT_EQ(kErrFileNotFound, deleteFile(f, true));
  EXPECT_EQ(kErrFileNotFound, deleteFile(f, false));

  zt::writeFile(f, "plain");
  EXPECT_EQ(kOk, deleteFile(f, false));
  EXPECT_FALSE(zt::exists(f));
}

TEST(Files, WriteTextFileCreatesAndReplacesWithExactBytes) {
  TempDir dir;
  std::string f = dir.sub("status.txt");
  ASSERT_EQ(kOk, writeTextFile(f, "first version, the longer one\r\n"));
  EXPECT_EQ("first version, the longer one\r\n", zt::readFile(f));
  std::string bytes("SUCCESS\nno\rtranslation\0!", 25);
  ASSERT_EQ(kOk, writeTextFile(f, bytes));
  EXPECT_EQ(bytes, zt::readFile(f));
  ASSERT_EQ(kOk, writeTextFile(f, ""));
  EXPECT_TRUE(fileExists(f));
  EXPECT_EQ("", zt::readFile(f));
  EXPECT_EQ((std::vector<std::string>{"status.txt"}), zt::listDir(dir.path()));
  EXPECT_EQ(kErrPathNotFound, writeTextFile(dir.sub("No\\Folder\\x.txt"), "x"));
}

TEST(Files, AppendCreatesOnlyWhenAsked) {
  TempDir dir;
  std::string f = dir.sub("log.txt");
  EXPECT_EQ(kErrFileNotFound, appendTextFile(f, "lost", false));
  EXPECT_FALSE(zt::exists(f));
  ASSERT_EQ(kOk, appendTextFile(f, "one\r\n", true));
  ASSERT_EQ(kOk, appendTextFile(f, "two", false));
  ASSERT_EQ(kOk, appendTextFile(f, "\r\nthree", true));
  EXPECT_EQ("one\r\ntwo\r\nthree", zt::readFile(f));
  EXPECT_EQ(kErrPathNotFound, appendTextFile(dir.sub("No\\log.txt"), "x", true));
}

TEST(Files, ReadLinesEndsLinesAtCrLfLfAndCr) {
  TempDir dir;
  std::string f = dir.sub("lines.txt");
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\n", {"one"}},
      {"one\r\ntwo", {"one", "two"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR: two ends
      {"\r\n", {""}},
      {"  padded  \t\r\n", {"  padded  \t"}},
  };
  for (const Case& c : cases) {
    zt::writeFile(f, c.bytes);
    std::vector<std::string> lines{"stale"};
    ASSERT_EQ(kOk, readLines(f, &lines));
    EXPECT_EQ(c.lines, lines) << testing::PrintToString(c.bytes);
  }
  std::vector<std::string> lines;
  EXPECT_EQ(kErrFileNotFound, readLines(dir.sub("missing.txt"), &lines));
  std::string content;
  EXPECT_EQ(kErrFileNotFound, readTextFile(dir.sub("missing.txt"), &content));
  EXPECT_EQ(kErrPathNotFound, readTextFile(dir.sub("No\\missing.txt"), &content));
}

TEST(Files, ShortPathOfAMissingPathIsEmpty) {
  TempDir dir;
  zt::makeDirs(dir.sub("Program Files Folder"));
  std::string f = dir.sub("Program Files Folder\\A Long File Name.txt");
  zt::writeFile(f, "found");
  std::string s = shortPath(f);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ("found", zt::readFile(s));  // names the same file
  EXPECT_FALSE(shortPath(dir.sub("Program Files Folder")).empty());
  EXPECT_EQ("", shortPath(dir.sub("missing.txt")));
  EXPECT_EQ("", shortPath(dir.sub("Missing Folder\\x.txt")));
  EXPECT_EQ("", shortPath(""));
}

TEST(Files, TextStreamWritesReachTheFileAtOnce) {
  TempDir dir;
  std::string f = dir.sub("run.log");
  TextStream s;
  EXPECT_FALSE(s.isOpen());
  EXPECT_NE(kOk, s.write("nowhere"));
  EXPECT_EQ(kErrFileNotFound, s.open(f, TextStream::Mode::Append));
  EXPECT_FALSE(s.isOpen());

  ASSERT_EQ(kOk, s.open(f, TextStream::Mode::AppendOrCreate));
  ASSERT_EQ(kOk, s.writeLine("first"));
  EXPECT_EQ("first\r\n", zt::readFile(f));  // while still open
  ASSERT_EQ(kOk, s.write("second"));
  EXPECT_EQ("first\r\nsecond", zt::readFile(f));
  s.close();
  EXPECT_FALSE(s.isOpen());

  ASSERT_EQ(kOk, s.open(f, TextStream::Mode::Append));
  ASSERT_EQ(kOk, s.writeLine(""));
  s.close();
  EXPECT_EQ("first\r\nsecond\r\n", zt::readFile(f));

  ASSERT_EQ(kOk, s.open(f, TextStream::Mode::CreateOverwrite));
  EXPECT_EQ("", zt::readFile(f));
  ASSERT_EQ(kOk, s.writeLine("new"));
  {
    TextStream other;  // a second stream on the same file appends after it
    ASSERT_EQ(kOk, other.open(f, TextStream::Mode::Append));
    ASSERT_EQ(kOk, other.write("more"));
  }
  EXPECT_EQ("new\r\nmore", zt::readFile(f));
  EXPECT_EQ(kErrPathNotFound, s.open(dir.sub("No\\run.log"), TextStream::Mode::CreateOverwrite));
  EXPECT_FALSE(s.isOpen());
}

}  // namespace

// The posix file stand-ins: Windows paths, letter case, access kept on copies
// and replacements, the codes of failures.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/process.h"
#include "zuvoze/testsupport.h"

namespace zt = zuvoze::testing;
using namespace zuvoze::plat;
using zuvoze::testing::TempDir;

namespace {
mode_t modeOf(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}
}  // namespace

TEST(PosixPaths, WindowsPathsMapOntoTheHost) {
  TempDir dir;
  zt::makeDirs(dir.sub("Agent/Configuration"));
  zt::writeFile(dir.sub("Agent/VELKMobile.ini"), "x");
  zt::setEnv("ZUVOZE_DRIVE_E", dir.path());
  struct Case {
    std::string in, out;
  } cases[] = {
      {"\\", "/"},
      {dir.path() + "\\agent\\velkmobile.INI", dir.sub("Agent/VELKMobile.ini")},
      {dir.path() + "\\AGENT\\configuration\\", dir.sub("Agent/Configuration")},
      {dir.path() + "/Agent\\\\New.ini", dir.sub("Agent/New.ini")},  // new names stay as given
      {"e:\\Agent\\VelkMobile.ini", dir.sub("Agent/VELKMobile.ini")},
      {"E:\\Missing\\Sub\\f.txt", dir.path() + "/Missing/Sub/f.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, hostPath(c.in)) << c.in;
  EXPECT_TRUE(fileExists("E:\\agent\\VELKMOBILE.ini"));
  EXPECT_TRUE(folderExists("E:\\AGENT"));
  EXPECT_EQ("", shortPath("E:\\nothing"));
  EXPECT_EQ("E:\\agent", shortPath("E:\\agent"));
  zt::unsetEnv("ZUVOZE_DRIVE_E");
}

TEST(PosixFiles, CopiesAndReplacementsNeverWidenAccess) {
  TempDir dir;
  std::string secret = dir.sub("VELKMobile.ini");
  zt::writeFile(secret, "[DCConnURL]\r\nControllerPSitePwd=p\r\n");
  chmod(secret.c_str(), 0600);
  ASSERT_EQ(kOk, copyFile(secret, dir.sub("Bkp_VELKMobile.ini")));
  EXPECT_EQ(0600u, modeOf(dir.sub("Bkp_VELKMobile.ini")));

  std::string target = dir.sub("table.ini");
  zt::writeFile(target, "old");
  chmod(target.c_str(), 0640);
  ASSERT_EQ(kOk, writeTextFile(target, "new"));
  EXPECT_EQ(0640u, modeOf(target));
  EXPECT_EQ("new", zt::readFile(target));
  ASSERT_EQ(kOk, copyFile(secret, target));  // a copy takes the source's access
  EXPECT_EQ(0600u, modeOf(target));
  // No temporary file is left behind.
  EXPECT_EQ((std::vector<std::string>{"Bkp_VELKMobile.ini", "VELKMobile.ini", "table.ini"}),
            zt::listDir(dir.path()));
}

TEST(PosixFiles, FailuresGiveTheWindowsCodes) {
  TempDir dir;
  std::string f = dir.sub("a.txt");
  EXPECT_EQ(kErrFileNotFound, copyFile(f, dir.sub("b.txt")));
  EXPECT_EQ(kErrFileNotFound, lastError());
  EXPECT_EQ(kErrPathNotFound, writeTextFile(dir.sub("no/such/x.txt"), "x"));
  EXPECT_EQ(kErrPathNotFound, createFolder(dir.sub("no/such")));
  EXPECT_EQ(kErrFileNotFound, appendTextFile(f, "x", false));
  ASSERT_EQ(kOk, appendTextFile(f, "x", true));
  ASSERT_EQ(kOk, appendTextFile(f, "y", false));
  EXPECT_EQ("xy", zt::readFile(f));
  EXPECT_EQ(kErrAlreadyExists, createFolder(dir.path()));
  zt::writeFile(dir.sub("b.txt"), "b");
  EXPECT_EQ(kErrAlreadyExists, moveFile(f, dir.sub("b.txt")));
  chmod(f.c_str(), 0444);
  EXPECT_EQ(kErrAccessDenied, deleteFile(f, false));
  EXPECT_EQ(kOk, deleteFile(f, true));
  EXPECT_FALSE(fileExists(f));
}

TEST(PosixFiles, ReadsAnyLineEndsAndBinaryBytes) {
  TempDir dir;
  std::string f = dir.sub("mixed.txt");
  zt::writeFile(f, std::string("a\r\nb\nc\rd\0e\r\n\r\n", 14));
  std::vector<std::string> lines;
  ASSERT_EQ(kOk, readLines(f, &lines));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c", std::string("d\0e", 3), ""}), lines);
  std::string content;
  ASSERT_EQ(kOk, readTextFile(f, &content));
  EXPECT_EQ(14u, content.size());
  EXPECT_EQ(kErrAccessDenied, readTextFile(dir.path(), &content));
}

TEST(PosixProcess, BatchFilesRunThroughShWithTheirWindowsPathsMapped) {
  TempDir dir;
  zt::makeDirs(dir.sub("Agent Dir"));
  zt::setEnv("ZUVOZE_DRIVE_Q", dir.path());
  // The batch names its output with a Windows path on drive Q:.
  zt::writeFile(dir.sub("Agent Dir/job.bat"), "echo ran \"$1\" >\"Q:\\agent dir\\out.txt\"\r\n");
  ASSERT_EQ(kOk, startHidden("\"Q:\\Agent Dir\\JOB.BAT\" arg1"));
  std::string out;
  for (int i = 0; i < 400 && out.empty(); ++i) {  // started without waiting: poll, bounded
    usleep(10000);
    out = zt::readFile(dir.sub("Agent Dir/out.txt"));
  }
  EXPECT_EQ("ran arg1\n", out);
  EXPECT_EQ(kErrFileNotFound, startHidden("\"Q:\\Agent Dir\\missing.bat\""));
  EXPECT_EQ(kErrFileNotFound, startHidden("no-such-program-zuvoze.exe -s"));
  zt::unsetEnv("ZUVOZE_DRIVE_Q");
}

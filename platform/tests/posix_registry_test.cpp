// The posix registry store: its file format, views, access, damage and
// concurrent writers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/testsupport.h"

using namespace zuvoze;
using namespace zuvoze::plat;
using zuvoze::testing::readFile;
using zuvoze::testing::TestRegistry;
using zuvoze::testing::writeFile;

namespace {

std::string readBytes(const std::string& key, const std::string& name, uint32_t* type,
                      RegView view = RegView::Default) {
  RegKey k = 0;
  if (regOpenKey(hklm(), key, RegAccess::Read, view, &k) != 0) return "<nokey>";
  uint32_t size = 0;
  std::string out = "<novalue>";
  if (regGetValue(k, name, type, nullptr, &size) == 0) {
    std::string buf(size, '\0');
    if (regGetValue(k, name, type, &buf[0], &size) == 0) out = buf.substr(0, size);
  }
  regCloseKey(k);
  return out;
}

}  // namespace

TEST(PosixRegistryStore, ValuesRoundTripThroughTheExportFormat) {
  TestRegistry reg;
  reg.setString("SOFTWARE\\ZUVOZE", "InstallationPath", "C:\\Agent \"x\"\\");
  reg.setDword("SOFTWARE\\ZUVOZE", "REGID", 77);
  reg.setRaw("SOFTWARE\\ZUVOZE", "Bin", kRegBinary, std::string("\x01\xff", 2));
  reg.setRaw("SOFTWARE\\ZUVOZE", "Cut", kRegSz, std::string("ab\0cd\0", 6));
  reg.setRaw("SOFTWARE\\ZUVOZE", "Exp", kRegExpandSz, std::string("%TEMP%\0", 7));

  std::string text = readFile(reg.storePath());
  EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\r\n"));
  EXPECT_NE(std::string::npos, text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVOZE]\r\n"));
  EXPECT_NE(std::string::npos, text.find("\"InstallationPath\"=\"C:\\\\Agent \\\"x\\\"\\\\\"\r\n"));
  EXPECT_NE(std::string::npos, text.find("\"REGID\"=dword:0000004d\r\n"));
  EXPECT_NE(std::string::npos, text.find("\"Bin\"=hex:01,ff\r\n"));
  EXPECT_NE(std::string::npos, text.find("\"Cut\"=hex(1):61,62,00,63,64,00\r\n"));

  uint32_t type = 0;
  EXPECT_EQ(std::string("C:\\Agent \"x\"\\\0", 14), readBytes("SOFTWARE\\ZUVOZE", "installationpath", &type));
  EXPECT_EQ(kRegSz, type);
  EXPECT_EQ(std::string("\x4d\0\0\0", 4), readBytes("software\\zuvoze", "REGID", &type));
  EXPECT_EQ(kRegDword, type);
  EXPECT_EQ(std::string("ab\0cd\0", 6), readBytes("SOFTWARE\\ZUVOZE", "Cut", &type));
  EXPECT_EQ(std::string("%TEMP%\0", 7), readBytes("SOFTWARE\\ZUVOZE", "Exp", &type));
  EXPECT_EQ(kRegExpandSz, type);
}

TEST(PosixRegistryStore, ReadsHandWrittenAndUtf16Exports) {
  TestRegistry reg;
  writeFile(reg.storePath(),
            "Windows Registry Editor Version 5.00\n\n; a comment\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVOZE]\n"
            "\"Long\"=hex:41,42,\\\n  43,00\n@=\"default\"\n");
  uint32_t type = 0;
  EXPECT_EQ(std::string("ABC\0", 4), readBytes("SOFTWARE\\ZUVOZE", "Long", &type));
  EXPECT_EQ(std::string("default\0", 8), readBytes("SOFTWARE\\ZUVOZE", "", &type));

  std::string utf16 = "\xff\xfe";
  for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"A\"=\"b\"\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  writeFile(reg.storePath(), utf16);
  EXPECT_EQ(std::string("b\0", 2), readBytes("SOFTWARE\\X", "A", &type));
}

TEST(PosixRegistryStore, DamagedStoreNamesFileAndLineAndIsNeverOverwritten) {
  TestRegistry reg;
  const std::string damaged =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVOZE]\r\n"
      "\"REGID\"=dword:zz\r\n";
  writeFile(reg.storePath(), damaged);
  RegKey k = 0;
  EXPECT_EQ(kErrRegistryCorrupt, regOpenKey(hklm(), "SOFTWARE\\ZUVOZE", RegAccess::Read, RegView::Default, &k));
  EXPECT_NE(std::string::npos, registryStoreError().find(reg.storePath() + ":4:"));
  EXPECT_EQ(kErrRegistryCorrupt, regCreateKey(hklm(), "SOFTWARE\\Other", RegView::Default, &k));
  EXPECT_EQ(damaged, readFile(reg.storePath()));

  writeFile(reg.storePath(), "not a registry\r\n");
  EXPECT_EQ(kErrRegistryCorrupt, regOpenKey(hklm(), "SOFTWARE", RegAccess::Read, RegView::Default, &k));
  EXPECT_NE(std::string::npos, registryStoreError().find(":1:"));
}

TEST(PosixRegistryStore, ViewsAccessAndCodes) {
  TestRegistry reg;
  reg.setString("SOFTWARE\\ZUVOZE", "TYPE", "32bit", RegView::View32);
  EXPECT_NE(std::string::npos,
            readFile(reg.storePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ZUVOZE]"));
  uint32_t type = 0;
  EXPECT_EQ("<nokey>", readBytes("SOFTWARE\\ZUVOZE", "TYPE", &type, RegView::View64));
  EXPECT_EQ(std::string("32bit\0", 6), readBytes("SOFTWARE\\Wow6432Node\\ZUVOZE", "TYPE", &type));

  RegKey k = 0;
  EXPECT_EQ(kErrInvalidParameter, regOpenKey(hklm(), "SOFTWARE", RegAccess::Read, RegView::Both, &k));
  ASSERT_EQ(kOk, regOpenKey(hklm(), "SOFTWARE\\ZUVOZE", RegAccess::Read, RegView::View32, &k));
  char small[3];
  uint32_t size = sizeof small;
  EXPECT_EQ(kErrMoreData, regGetValue(k, "TYPE", &type, small, &size));
  EXPECT_EQ(6u, size);
  EXPECT_EQ(kErrFileNotFound, regQueryValue(k, "Missing", &type, &size));
  EXPECT_EQ(kErrAccessDenied, regSetString(k, "TYPE", "x"));  // opened for reading
  regCloseKey(k);

  if (geteuid() != 0) {  // root may write anything
    chmod(reg.storePath().c_str(), 0444);
    EXPECT_EQ(kErrAccessDenied, regOpenKey(hklm(), "SOFTWARE\\ZUVOZE", RegAccess::Full, RegView::View32, &k));
    EXPECT_EQ(kOk, regOpenKey(hklm(), "SOFTWARE\\ZUVOZE", RegAccess::Read, RegView::View32, &k));
    regCloseKey(k);
  }
}

TEST(PosixRegistryStore, ConcurrentWritersLoseNothingAndKeepPermissions) {
  TestRegistry reg;
  reg.setString("SOFTWARE\\ZUVOZE", "seed", "1");
  chmod(reg.storePath().c_str(), 0600);
  const int kChildren = 4, kValues = 25;
  for (int c = 0; c < kChildren; ++c) {
    if (fork() == 0) {
      for (int i = 0; i < kValues; ++i)
        reg.setString("SOFTWARE\\ZUVOZE", "v" + std::to_string(c) + "_" + std::to_string(i), "x");
      _exit(0);
    }
  }
  for (int c = 0; c < kChildren; ++c) {
    int status = 0;
    wait(&status);
  }
  for (int c = 0; c < kChildren; ++c)
    for (int i = 0; i < kValues; ++i)
      EXPECT_EQ("x", reg.getString("SOFTWARE\\ZUVOZE", "v" + std::to_string(c) + "_" + std::to_string(i)));
  struct stat st;
  ASSERT_EQ(0, stat(reg.storePath().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST(PosixRegistryStore, SoftwareExistsInAFreshStore) {
  TestRegistry reg;  // no store file yet
  RegKey software = 0, sub = 0;
  ASSERT_EQ(kOk, regOpenKey(hklm(), "SOFTWARE", RegAccess::Full, RegView::Default, &software));
  ASSERT_EQ(kOk, regCreateKey(software, "VelkVersion", RegView::Default, &sub));
  EXPECT_EQ(kOk, regSetString(sub, "strVersion", "6.1"));
  regCloseKey(sub);
  regCloseKey(software);
  EXPECT_EQ("6.1", reg.getString("SOFTWARE\\VelkVersion", "strVersion"));
  // A key removed while open reports that it was deleted.
  ASSERT_EQ(kOk, regOpenKey(hklm(), "SOFTWARE\\VelkVersion", RegAccess::Full, RegView::Default, &sub));
  ASSERT_EQ(kOk, regDeleteTree(hklm(), "SOFTWARE\\VelkVersion", RegView::Default));
  EXPECT_EQ(kErrKeyDeleted, regSetString(sub, "x", "y"));
  regCloseKey(sub);
  EXPECT_EQ(kErrBadPathname, regOpenKey(hklm(), "\\SOFTWARE", RegAccess::Read, RegView::Default, &sub));
}

// Registry access under HKLM: codes, the two views, value types and sizes.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/registry.h"
#include "zuvoze/testsupport.h"

using namespace zuvoze::plat;

namespace {

const char kKey[] = "SOFTWARE\\ZuvozePlatformTest";
const char kWowKey[] = "SOFTWARE\\Wow6432Node\\ZuvozePlatformTest";

bool underWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

class Registry : public ::testing::Test {
 protected:
  zuvoze::testing::TestRegistry reg_{{kKey}};

  RegKey create(const std::string& sub, RegView view = RegView::Default) {
    RegKey k = 0;
    EXPECT_EQ(kOk, regCreateKey(hklm(), sub, view, &k)) << sub;
    EXPECT_NE(0u, k);
    return k;
  }
  std::string read(const std::string& sub, RegView view, const std::string& name) {
    RegKey k = 0;
    if (regOpenKey(hklm(), sub, RegAccess::Read, view, &k) != kOk) return "<no key>";
    char buf[64] = {};
    uint32_t size = sizeof buf;
    uint32_t type = 0;
    uint32_t rc = regGetValue(k, name, &type, buf, &size);
    regCloseKey(k);
    return rc == kOk ? std::string(buf) : "<no value>";
  }
};

TEST_F(Registry, MissingKeysAndValuesGiveCode2) {
  RegKey k = 12345;
  EXPECT_EQ(kErrFileNotFound, regOpenKey(hklm(), std::string(kKey) + "\\Nope", RegAccess::Read,
                                         RegView::Default, &k));
  EXPECT_EQ(0u, k);
  EXPECT_EQ(kErrFileNotFound, lastError());
  EXPECT_EQ(kErrFileNotFound, regDeleteTree(hklm(), std::string(kKey) + "\\Nope", RegView::View64));

  k = create(kKey);
  uint32_t type = 99, size = 99;
  setLastError(0);
  EXPECT_EQ(kErrFileNotFound, regQueryValue(k, "Missing", &type, &size));
  EXPECT_EQ(kErrFileNotFound, lastError());
  char buf[8];
  size = sizeof buf;
  EXPECT_EQ(kErrFileNotFound, regGetValue(k, "Missing", &type, buf, &size));
  EXPECT_EQ(kErrFileNotFound, regDeleteValue(k, "Missing"));
  regCloseKey(k);
}

TEST_F(Registry, ThirtyTwoBitViewLivesUnderWow6432Node) {
  RegKey k32 = create(kKey, RegView::View32);
  ASSERT_EQ(kOk, regSetString(k32, "Where", "thirty-two"));
  regCloseKey(k32);
  // Only the 32-bit key exists so far.
  EXPECT_EQ("<no key>", read(kKey, RegView::View64, "Where"));
  EXPECT_EQ("<no key>", read(kKey, RegView::Default, "Where"));
  EXPECT_EQ("thirty-two", read(kWowKey, RegView::View64, "Where"));

  RegKey k64 = create(kKey, RegView::View64);
  ASSERT_EQ(kOk, regSetString(k64, "Where", "sixty-four"));
  regCloseKey(k64);
  EXPECT_EQ("thirty-two", read(kKey, RegView::View32, "Where"));
  EXPECT_EQ("sixty-four", read(kKey, RegView::View64, "Where"));
  EXPECT_EQ("sixty-four", read(kKey, RegView::Default, "Where"));
  EXPECT_EQ("sixty-four", reg_.getString(kKey, "Where"));
  EXPECT_EQ("thirty-two", reg_.getString(kKey, "Where", RegView::View32));

  // Deleting in one view leaves the other alone.
  ASSERT_EQ(kOk, regDeleteTree(hklm(), kKey, RegView::View32));
  EXPECT_EQ("<no key>", read(kKey, RegView::View32, "Where"));
  EXPECT_EQ("sixty-four", read(kKey, RegView::View64, "Where"));
}

TEST_F(Registry, ValuesKeepTypeAndSizeAndReportMoreData) {
  RegKey k = create(kKey);
  const uint32_t dword = 0x12345678;
  const uint64_t qword = 0x0102030405060708ull;
  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  } cases[] = {
      {"Text", kRegSz, std::string("abc\0", 4)},
      {"Empty", kRegSz, std::string("\0", 1)},
      {"Expand", kRegExpandSz, std::string("%PATH%\\x\0", 9)},  // stored, never expanded
      {"Raw", kRegBinary, std::string("\x01\x00\xFF\x7F", 4)},
      {"Long", kRegBinary, std::string("\x01\x02\x03\x04\x05\x06", 6)},
      {"Count", kRegDword, std::string(reinterpret_cast<const char*>(&dword), 4)},
      {"Big", kRegQword, std::string(reinterpret_cast<const char*>(&qword), 8)},
      {"Multi", kRegMultiSz, std::string("a\0bc\0\0", 6)},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(kOk, regSetValue(k, c.name, c.type, c.bytes.data(), static_cast<uint32_t>(c.bytes.size())))
        << c.name;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t type = 0, size = 0;
    ASSERT_EQ(kOk, regQueryValue(k, c.name, &type, &size));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.bytes.size(), size);
    // Size only (no buffer).
    size = 0;
    ASSERT_EQ(kOk, regGetValue(k, c.name, nullptr, nullptr, &size));
    EXPECT_EQ(c.bytes.size(), size);
    // A buffer one byte short: more data, and the size needed.
    std::string buf(c.bytes.size() + 4, '#');
    size = static_cast<uint32_t>(c.bytes.size() - 1);
    EXPECT_EQ(kErrMoreData, regGetValue(k, c.name, &type, &buf[0], &size));
    EXPECT_EQ(c.bytes.size(), size);
    // A large enough buffer: the exact bytes.
    size = static_cast<uint32_t>(buf.size());
    ASSERT_EQ(kOk, regGetValue(k, c.name, &type, &buf[0], &size));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.bytes, buf.substr(0, size));
  }
  // Value names match without regard to letter case; a new value replaces the old.
  uint32_t type = 0, size = 0;
  EXPECT_EQ(kOk, regQueryValue(k, "TEXT", &type, &size));
  ASSERT_EQ(kOk, regSetString(k, "text", "replaced"));
  EXPECT_EQ("replaced", read(kKey, RegView::Default, "Text"));
  ASSERT_EQ(kOk, regDeleteValue(k, "TeXt"));
  EXPECT_EQ(kErrFileNotFound, regQueryValue(k, "Text", &type, &size));
  regCloseKey(k);
}

TEST_F(Registry, BothViewSelectorsAtOnceAreRefused) {
  regCloseKey(create(kKey, RegView::View32));
  regCloseKey(create(kKey, RegView::View64));
  if (underWine()) GTEST_SKIP() << "Wine opens the 32-bit view when both selectors are set";
  RegKey k = 12345;
  EXPECT_EQ(kErrInvalidParameter, regOpenKey(hklm(), kKey, RegAccess::Read, RegView::Both, &k));
  EXPECT_EQ(0u, k);
  EXPECT_EQ(kErrInvalidParameter, regOpenKey(hklm(), kKey, RegAccess::Full, RegView::Both, &k));
  EXPECT_EQ(kErrInvalidParameter,
            regCreateKey(hklm(), std::string(kKey) + "\\New", RegView::Both, &k));
  EXPECT_EQ("<no key>", read(std::string(kKey) + "\\New", RegView::View64, "x"));
  EXPECT_EQ("<no key>", read(std::string(kKey) + "\\New", RegView::View32, "x"));
}

TEST_F(Registry, CreateMakesEveryLevelAndDeleteTreeRemovesThemAll) {
  std::string deep = std::string(kKey) + "\\A\\B\\C";
  RegKey k = create(deep);
  ASSERT_EQ(kOk, regSetString(k, "Leaf", "1"));
  regCloseKey(k);
  RegKey mid = create(std::string(kKey) + "\\A");  // opening an existing key through create
  ASSERT_EQ(kOk, regSetString(mid, "Mid", "2"));
  regCloseKey(mid);
  EXPECT_EQ("1", read(deep, RegView::Default, "Leaf"));
  EXPECT_EQ("2", read(std::string(kKey) + "\\a", RegView::Default, "mid"));  // key names too

  ASSERT_EQ(kOk, regDeleteTree(hklm(), std::string(kKey) + "\\A", RegView::Default));
  EXPECT_EQ("<no key>", read(deep, RegView::Default, "Leaf"));
  EXPECT_EQ("<no key>", read(std::string(kKey) + "\\A", RegView::Default, "Mid"));
  RegKey top = 0;
  EXPECT_EQ(kOk, regOpenKey(hklm(), kKey, RegAccess::Read, RegView::Default, &top));
  regCloseKey(top);
}

TEST_F(Registry, ReadAccessCannotWrite) {
  regCloseKey(create(kKey));
  RegKey k = 0;
  ASSERT_EQ(kOk, regOpenKey(hklm(), kKey, RegAccess::Read, RegView::Default, &k));
  EXPECT_EQ(kErrAccessDenied, regSetString(k, "Name", "x"));
  regCloseKey(k);
  ASSERT_EQ(kOk, regOpenKey(hklm(), kKey, RegAccess::Full, RegView::Default, &k));
  EXPECT_EQ(kOk, regSetString(k, "Name", "x"));
  regCloseKey(k);
  EXPECT_EQ("x", read(kKey, RegView::Default, "Name"));
}

TEST_F(Registry, TestRegistryHelpersWriteWhatTheCallsRead) {
  reg_.setString(kKey, "S", "text");
  reg_.setDword(kKey, "D", 7);
  reg_.setRaw(kKey, "R", kRegBinary, std::string("\x05\x00", 2), RegView::View32);
  EXPECT_EQ("text", reg_.getString(kKey, "S"));
  EXPECT_EQ("<missing>", reg_.getString(kKey, "Nope"));
  EXPECT_EQ("<missing>", reg_.getString(std::string(kKey) + "\\Nope", "S"));
  RegKey k = 0;
  ASSERT_EQ(kOk, regOpenKey(hklm(), kKey, RegAccess::Read, RegView::Default, &k));
  uint32_t value = 0, type = 0, size = sizeof value;
  ASSERT_EQ(kOk, regGetValue(k, "D", &type, &value, &size));
  EXPECT_EQ(kRegDword, type);
  EXPECT_EQ(7u, value);
  EXPECT_EQ(kErrFileNotFound, regQueryValue(k, "R", &type, &size));  // written to the other view
  regCloseKey(k);
  ASSERT_EQ(kOk, regOpenKey(hklm(), kKey, RegAccess::Read, RegView::View32, &k));
  EXPECT_EQ(kOk, regQueryValue(k, "R", &type, &size));
  EXPECT_EQ(kRegBinary, type);
  EXPECT_EQ(2u, size);
  regCloseKey(k);
}

}  // namespace

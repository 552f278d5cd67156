// One case of the profile (INI) call tables and how it is run: the file as it
// was, one call, and what the call answered, left in the buffer and left in
// the file. Shared by the table run on both backends and the posix-only one.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/testsupport.h"

namespace profile_cases {

enum class Op { Get, Names, Section, Write, WriteSection };

constexpr const char* kNoFile = "<no file>";
constexpr const char* kUnchanged = "<unchanged>";
constexpr const char* kNullLines = "<null>";

struct Case {
  const char* name;
  std::string file;  // content, or kNoFile
  Op op;
  const char* section;
  const char* key;
  const char* value;   // Get: the default; Write: the value; WriteSection: unused
  uint32_t size;       // Get/Names/Section: buffer size
  uint32_t ret;        // Write*: 1 for TRUE, 0 for FALSE
  std::string buffer;  // the first buffer bytes that must hold; 'X' = left untouched
  std::string after = kUnchanged;  // file content after the call, or kNoFile
  uint32_t error = 0;              // expected lastError() when not 0
  std::string lines = "";          // WriteSection: the NUL-separated entries, or kNullLines
};

// Writes the case's file at path, makes the call and checks its outcome.
// Returns the file content the case expects afterwards (or kNoFile).
inline std::string runCase(const Case& c, const std::string& path) {
  using namespace zuvoze::plat;
  namespace zt = zuvoze::testing;
  if (c.file != kNoFile) zt::writeFile(path, c.file);
  setLastError(0);
  uint32_t ret = 0;
  std::vector<char> buf(c.size + 16, 'X');
  switch (c.op) {
    case Op::Get:
      ret = getPrivateProfileString(c.section, c.key, c.value, buf.data(), c.size, path);
      break;
    case Op::Names: ret = getPrivateProfileSectionNames(buf.data(), c.size, path); break;
    case Op::Section: ret = getPrivateProfileSection(c.section, buf.data(), c.size, path); break;
    case Op::Write: ret = writePrivateProfileString(c.section, c.key, c.value, path) ? 1 : 0; break;
    case Op::WriteSection:
      ret = writePrivateProfileSection(c.section, c.lines == kNullLines ? nullptr : c.lines.data(),
                                       path)
                ? 1
                : 0;
      break;
  }
  EXPECT_EQ(c.ret, ret);
  if (c.error != 0) {
    EXPECT_EQ(c.error, lastError());
  }
  EXPECT_EQ(c.buffer, std::string(buf.data(), c.buffer.size()));
  std::string expected = c.after == kUnchanged ? c.file : c.after;
  if (expected == kNoFile) {
    EXPECT_FALSE(zt::exists(path));
  } else {
    EXPECT_EQ(expected, zt::readFile(path));
  }
  return expected;
}

}  // namespace profile_cases

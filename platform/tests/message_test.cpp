// System message texts and the 200-character padded form the logs carry.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>

#include "zuvoze/platform/message.h"

using namespace zuvoze::plat;

namespace {

// Wine has message texts of its own, shorter than those of Windows.
bool systemHasWindowsTexts() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
#else
  return true;
#endif
}

TEST(Message, KnownCodesGiveTheSystemTextWithCrLf) {
  struct Case {
    uint32_t code;
    const char* text;  // as Windows words it
  } cases[] = {
      {2, "The system cannot find the file specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    char buf[200];
    std::memset(buf, '#', sizeof buf);
    uint32_t n = systemMessage(c.code, buf, sizeof buf);
    ASSERT_GT(n, 2u);
    ASSERT_LT(n, 200u);
    std::string text(buf, n);
    EXPECT_EQ(n, std::strlen(buf));  // NUL right after the text
    EXPECT_EQ("\r\n", text.substr(n - 2));
    EXPECT_EQ(std::string::npos, text.substr(0, n - 2).find_first_of("\r\n"));
    if (systemHasWindowsTexts()) {
      EXPECT_EQ(c.text, text);
    }

    // The padded form: text, NUL, then blanks up to 200 characters, untrimmed.
    std::string padded = paddedSystemMessage(c.code);
    ASSERT_EQ(200u, padded.size());
    EXPECT_EQ(text, padded.substr(0, n));
    EXPECT_EQ('\0', padded[n]);
    EXPECT_EQ(std::string(200 - n - 1, ' '), padded.substr(n + 1));
  }
  // Two codes, two texts.
  EXPECT_NE(paddedSystemMessage(2), paddedSystemMessage(5));
}

TEST(Message, TextThatDoesNotFitGivesNothing) {
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  uint32_t n = systemMessage(5, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(0u, systemMessage(5, buf, n));  // no room for the NUL
  EXPECT_EQ(0u, systemMessage(5, buf, 0));
  // A code whose text does not fit into 200 characters (1015 on Windows), or
  // that has no text at all (Wine knows no text for an unassigned code): the
  // padded form stays blank.
  uint32_t blankCode = 0;
  for (uint32_t code : {1015u, 0x2FFFFFFFu}) {
    char big[2048];
    uint32_t len = systemMessage(code, big, sizeof big);
    if (len == 0 || len >= 200) {
      blankCode = code;
      break;
    }
  }
  ASSERT_NE(0u, blankCode);
  EXPECT_EQ(std::string(200, ' '), paddedSystemMessage(blankCode));
}

}  // namespace

// posix: Windows-1252 stands in for the system's ANSI code page.
#include <cstdint>

#include "zuvoze/platform/codepage.h"

namespace zuvoze::plat {

namespace {

// The characters of 0x80-0x9F; every other byte is the character of its own
// number (ISO 8859-1).
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t charOf(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
}

char byteOf(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string toAnsi(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out += byteOf(c);
  return out;
}

bool fromAnsi(const std::string& bytes, std::u16string* text) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char b : bytes) out += charOf(static_cast<unsigned char>(b));
  *text = std::move(out);
  return true;
}

bool isAnsiLeadByte(unsigned char) { return false; }

}  // namespace zuvoze::plat

// The string codec: a text as the decimal codes of its characters in the
// system's ANSI code page, joined by "H", and back.
//
// Texts are the code page's bytes (a double-byte character is its lead and
// trail byte). A code is a 16-bit signed number: 0 to 255 for a single-byte
// character, the value of lead and trail byte for a double-byte one (negative
// when the lead byte is 128 or above).
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::textcodec {

// The error numbers a late-bound caller sees for the failures.
constexpr int32_t kInvalidCall = 5;    // a code without a character
constexpr int32_t kOverflow = 6;       // too long a text, too many codes, too big a number
constexpr int32_t kTypeMismatch = 13;  // a part that is not a number

struct CodecError {
  int32_t number = 0;  // 0: none
  std::string description;
  explicit operator bool() const { return number != 0; }
};

// The code string of a text (at most 32767 characters). On failure *codes is
// left as it was.
CodecError EncryptString(const std::string& text, std::string* codes);

// The text of a code string: parts split at every capital H, each a decimal
// number with blanks around it allowed, each the code of a character of the
// code page; at most 32768 parts. On failure *text is left as it was.
CodecError DecryptString(const std::string& codes, std::string* text);

}  // namespace zuvoze::textcodec

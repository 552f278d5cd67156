// EncryptString and DecryptString over the code page of the platform layer.
#include "textcodec/codec.h"

#include <string>
#include <vector>

#include "zuvoze/platform/codepage.h"

namespace zuvoze::textcodec {

namespace {

// Characters and parts are counted in 16 bits.
constexpr size_t kMaxCharacters = 32767;
constexpr size_t kMaxParts = 32768;

CodecError fail(int32_t number, const std::string& detail) {
  const char* base = number == kInvalidCall ? "Invalid procedure call or argument"
                     : number == kOverflow  ? "Overflow"
                                            : "Type mismatch";
  return CodecError{number, std::string(base) + ": " + detail};
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal whole number with blanks around it; 13 for anything else, 6 when
// it does not fit 32 bits.
int32_t parsePart(const std::string& part, int32_t* value) {
  size_t i = 0, end = part.size();
  while (i < end && isBlank(part[i])) ++i;
  while (end > i && isBlank(part[end - 1])) --end;
  bool negative = false;
  if (i < end && (part[i] == '-' || part[i] == '+')) negative = part[i++] == '-';
  if (i == end) return kTypeMismatch;
  int64_t v = 0;
  for (; i < end; ++i) {
    if (part[i] < '0' || part[i] > '9') return kTypeMismatch;
    v = v * 10 + (part[i] - '0');
    if (v > 2147483648LL) return kOverflow;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return kOverflow;
  *value = static_cast<int32_t>(v);
  return 0;
}

// The bytes of the character with this code; false when the code page has none.
bool characterOf(int32_t code, std::string* bytes) {
  std::string b;
  if (code >= 0 && code <= 255) {
    b.assign(1, static_cast<char>(code));
  } else {
    const uint32_t u = static_cast<uint32_t>(code) & 0xFFFFu;
    const unsigned char lead = static_cast<unsigned char>(u >> 8);
    if (!plat::isAnsiLeadByte(lead)) return false;
    b += static_cast<char>(lead);
    b += static_cast<char>(u & 0xFFu);
  }
  std::u16string check;
  if (!plat::fromAnsi(b, &check) || check.size() != 1) return false;
  *bytes = b;
  return true;
}

}  // namespace

CodecError EncryptString(const std::string& text, std::string* codes) {
  std::string work;
  work.reserve(text.size() * 4);
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (++characters > kMaxCharacters) {
      return fail(kOverflow, "the text is longer than 32767 characters");
    }
    const unsigned char b = static_cast<unsigned char>(text[i]);
    int32_t code = b;
    if (plat::isAnsiLeadByte(b) && i + 1 < text.size()) {
      const unsigned char trail = static_cast<unsigned char>(text[++i]);
      code = static_cast<int16_t>(static_cast<uint16_t>((b << 8) | trail));
    }
    work += std::to_string(code);
    work += 'H';
  }
  if (!work.empty()) work.pop_back();  // the last H
  *codes = std::move(work);
  return CodecError{};
}

CodecError DecryptString(const std::string& codes, std::string* text) {
  if (codes.empty()) {
    text->clear();
    return CodecError{};
  }
  std::string work;
  size_t parts = 0;
  size_t start = 0;
  for (;;) {
    const size_t h = codes.find('H', start);
    const std::string part =
        codes.substr(start, h == std::string::npos ? std::string::npos : h - start);
    if (++parts > kMaxParts) return fail(kOverflow, "more than 32768 codes");
    int32_t code = 0;
    const std::string where = "code " + std::to_string(parts) + " \"" + part + "\"";
    if (int32_t rc = parsePart(part, &code)) {
      return fail(rc, rc == kOverflow ? where + " is too big" : where + " is not a number");
    }
    if (code < -32768 || code > 65535) return fail(kInvalidCall, where + " is out of range");
    std::string bytes;
    if (!characterOf(code, &bytes)) {
      return fail(kInvalidCall, where + " is no character of the code page");
    }
    work += bytes;
    if (h == std::string::npos) break;
    start = h + 1;
  }
  *text = std::move(work);
  return CodecError{};
}

}  // namespace zuvoze::textcodec

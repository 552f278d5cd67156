// The C interface of the codec: UTF-8 in and out, Windows-1252 between.
#include "textcodec.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "textcodec/codec.h"
#include "zuvoze/platform/codepage.h"

namespace {

namespace plat = zuvoze::plat;
namespace codec = zuvoze::textcodec;

constexpr int kBadArgument = 22;
constexpr int kNoMemory = 12;

int handOut(const std::string& s, char** out, size_t* length) {
  char* copy = static_cast<char*>(std::malloc(s.size() + 1));
  if (copy == nullptr) return kNoMemory;
  std::memcpy(copy, s.data(), s.size());
  copy[s.size()] = '\0';
  *out = copy;
  if (length != nullptr) *length = s.size();
  return 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int textcodec_encrypt_n(const char* text, size_t length,
                                                                char** codes) {
  if (codes == nullptr) return kBadArgument;
  *codes = nullptr;
  if (text == nullptr && length != 0) return kBadArgument;
  try {
    std::u16string wide;
    if (!plat::fromUtf8(std::string(text == nullptr ? "" : text, length), &wide)) {
      return kBadArgument;
    }
    std::string out;
    codec::CodecError e = codec::EncryptString(plat::toAnsi(wide), &out);
    if (e) return e.number;
    return handOut(out, codes, nullptr);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

__attribute__((visibility("default"))) int textcodec_encrypt(const char* text, char** codes) {
  if (text == nullptr) {
    if (codes != nullptr) *codes = nullptr;
    return kBadArgument;
  }
  return textcodec_encrypt_n(text, std::strlen(text), codes);
}

__attribute__((visibility("default"))) int textcodec_decrypt(const char* codes, char** text,
                                                              size_t* length) {
  if (text == nullptr) return kBadArgument;
  *text = nullptr;
  if (length != nullptr) *length = 0;
  if (codes == nullptr) return kBadArgument;
  try {
    std::string ansi;
    // A code string is ASCII; anything else is no number and fails as such.
    codec::CodecError e = codec::DecryptString(codes, &ansi);
    if (e) return e.number;
    std::u16string wide;
    if (!plat::fromAnsi(ansi, &wide)) return codec::kInvalidCall;
    return handOut(plat::toUtf8(wide), text, length);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

__attribute__((visibility("default"))) void textcodec_free(char* s) { std::free(s); }

__attribute__((visibility("default"))) const char* textcodec_message(int error) {
  switch (error) {
    case 0:
      return "Success";
    case codec::kInvalidCall:
      return "A code is out of range or no character of the code page";
    case codec::kOverflow:
      return "Too long a text, too many codes, or too big a number";
    case codec::kTypeMismatch:
      return "A part of the code string is empty or not a number";
    case kBadArgument:
      return "The argument is missing or not valid UTF-8";
    case kNoMemory:
      return "Out of memory";
    default:
      return "Unknown error";
  }
}

}  // extern "C"

// win32: the system's ANSI code page (CP_ACP).
#include <windows.h>

#include "zuvoze/platform/codepage.h"

namespace zuvoze::plat {

namespace {

// WC_NO_BEST_FIT_CHARS and a default character are refused for UTF-8.
bool acpIsUtf8() { return GetACP() == CP_UTF8; }

}  // namespace

std::string toAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const bool utf8 = acpIsUtf8();
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "?";
  int n = WideCharToMultiByte(CP_ACP, flags, w, len, nullptr, 0, fallback, nullptr);
  if (n <= 0) return std::string(text.size(), '?');
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, w, len, &out[0], n, fallback, nullptr);
  return out;
}

bool fromAnsi(const std::string& bytes, std::u16string* text) {
  if (bytes.empty()) {
    text->clear();
    return true;
  }
  const int len = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), len, nullptr, 0);
  if (n <= 0) return false;
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), len,
                      reinterpret_cast<wchar_t*>(&out[0]), n);
  *text = std::move(out);
  return true;
}

bool isAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace zuvoze::plat

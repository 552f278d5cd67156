// The system's ANSI code page: conversion between its bytes and UTF-16 text.
//
// win32: CP_ACP (WideCharToMultiByte / MultiByteToWideChar).
// posix: Windows-1252, the same table in both directions: all 256 byte values
// are characters (0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for the control
// characters of the same number, as on Windows).
#pragma once
#include <string>

namespace zuvoze::plat {

// The ANSI bytes of a UTF-16 text. A character that the code page cannot
// represent exactly (no best-fit replacement) becomes '?', as does each half
// of a surrogate pair in a single-byte code page.
std::string toAnsi(const std::u16string& text);

// The UTF-16 text of ANSI bytes; false (and *text untouched) when a byte or a
// byte pair stands for no character of the code page.
bool fromAnsi(const std::string& bytes, std::u16string* text);

// True when the byte starts a double-byte character (never on posix).
bool isAnsiLeadByte(unsigned char byte);

// UTF-8 <-> UTF-16 for the posix interfaces and tests. fromUtf8 is false for
// malformed UTF-8; toUtf8 writes an unpaired surrogate as U+FFFD.
bool fromUtf8(const std::string& utf8, std::u16string* text);
std::string toUtf8(const std::u16string& text);

}  // namespace zuvoze::plat

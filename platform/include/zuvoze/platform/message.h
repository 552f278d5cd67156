// System message texts of error codes.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::plat {

// FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS, default language) into buf of
// size characters: the text ends with CR LF and a NUL; returns its length, or 0
// when there is no text or it does not fit. posix: readable texts for the codes
// the tools meet, a generic text for any other code.
uint32_t systemMessage(uint32_t code, char* buf, uint32_t size);

// The 200-character form the logs carry: a buffer of 200 blanks into which the
// message (with its CR LF and NUL) is written; blank when it does not fit.
std::string paddedSystemMessage(uint32_t code);

}  // namespace zuvoze::plat

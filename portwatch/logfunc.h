// portwatch's log, its registry read and its short path.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::portwatch {

// Creates (overwrites) the log file; a Windows error code.
uint32_t OpenLog(const std::string& path);
void CloseLog();
bool LogIsOpen();
// Entries: "MM/DD/YY HH:NN:SS AM/PM", TAB, "MSG : " or "ERR : ", the text.
// Writing never fails the program; nothing is written while the log is closed.
void WriteLog(const std::string& text);
void WriteErrLog(const std::string& text);
// A line of 80 hyphens without date.
void WriteRule();

// The string value of HKEY_LOCAL_MACHINE\SOFTWARE\ZUVOZE without its
// terminating NUL; the empty text when the key or the value is missing.
std::string ReadReg(const std::string& valueName);
// The short form of an existing path as it fits a 164-character buffer; the
// empty text for a missing path (or one whose short form does not fit).
std::string GetShortPath(const std::string& path);

// The system's text for an error code, without its line end.
std::string ErrorText(uint32_t code);

}  // namespace zuvoze::portwatch

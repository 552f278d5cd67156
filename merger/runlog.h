// The run log Add_Delete_IniLog.txt and its archive in ApplicationLog.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::merger {

// Creates the run log in the program folder, replacing an earlier one; keeps
// the stream in the run state. Returns a Windows error code.
uint32_t openRunLog();
// A log entry: default date-and-time text, TAB, message. Does nothing while the
// log is closed; never fails.
void WriteLog(const std::string& message);
// A plain line (text and CR LF, no time stamp).
void writePlain(const std::string& text);
// The separator: a plain line whose text is CR LF.
void writeSeparator();
// 40 asterisks, the title, 40 asterisks, as a plain line.
void writeBanner(const std::string& title);
// Closing entries, close, move into ApplicationLog; then throws ProgramEnd{0}.
[[noreturn]] void MoveLogFile();

}  // namespace zuvoze::merger

// The merger's surroundings: the agent key, the INI access every table
// procedure uses, short paths and message texts.
#pragma once
#include <string>
#include <vector>

#include "zuvoze/platform/registry.h"

namespace zuvoze::merger {

// Fills installation path, REGID and agent type of the run state and logs them;
// a missing value logs and throws ProgramEnd (the log stays in the program folder).
void ReadRegistry();
std::string fncRegQueryKey(plat::RegKey root, const std::string& keyPath, const std::string& valueName);
std::string fncRegQueryValue(plat::RegKey key, const std::string& valueName);
void fncCheckScriptRuntime();

// The trimmed value of a key, or the empty text; the whole value whatever its
// length. Every call pauses 5 ms (plat::sleepMs) and reads the file anew.
std::string fncReadINI(const std::string& section, const std::string& key, const std::string& file);
// The section names, each followed by a NUL (no extra NUL at the end); the
// whole listing whatever its length; empty for a missing or empty file.
std::string fncGetSectionNames(const std::string& file);
// Split at NUL as the callers do: n sections give n + 1 elements (the last one
// empty); an empty listing gives none.
std::vector<std::string> splitNames(const std::string& listing);

std::string GetShortpath(const std::string& path);
std::string fncTrimNull(const std::string& text);
// The 200-character padded system message for an error code given as text.
std::string fncFormatMessage(const std::string& codeText);

// The short form of the program folder, a backslash and the file name
// (AddSection.ini, DeleteSection.ini, ScheduleUpdateStatus.txt, the run log).
std::string programFile(const std::string& name);
// Tests: use this folder as the program folder (empty restores the folder of
// the running executable).
void setProgramFolderForTest(const std::string& folder);

// Text helpers the procedures share.
std::string trim(const std::string& text);        // blanks (spaces) at both ends
std::string upper(const std::string& text);        // ASCII letters
bool equalsNoCase(const std::string& a, const std::string& b);
std::vector<std::string> splitAt(const std::string& text, char separator);

}  // namespace zuvoze::merger

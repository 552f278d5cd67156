// osstamp's one module: finds the operating system's name and version and
// records them under HKEY_LOCAL_MACHINE\SOFTWARE\VelkVersion, with a log of
// its own next to the program.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/registry.h"

namespace zuvoze::osstamp {

inline const char* const kSoftwareKey = "SOFTWARE";
inline const char* const kVersionKey = "VelkVersion";
inline const char* const kVersionValue = "strVersion";
inline const char* const kOSNameValue = "strOSName";
inline const char* const kLogSuffix = "_Log.txt";

// The registry operations the recorder makes; tests wrap or replace them to
// count the writes and to make single steps fail.
struct RegistryCalls {
  // Opens a key with full access (RegOpenKeyExA).
  std::function<uint32_t(plat::RegKey parent, const std::string& subkey, plat::RegKey* out)> open;
  // Creates or opens a subkey.
  std::function<uint32_t(plat::RegKey parent, const std::string& subkey, plat::RegKey* out)> create;
  // Sets a REG_SZ value.
  std::function<uint32_t(plat::RegKey key, const std::string& name, const std::string& text)> setString;
  std::function<void(plat::RegKey key)> close;
};
RegistryCalls systemRegistryCalls();

// The run: the two texts and the log, for the whole run.
struct VersionState {
  std::string strVersion;  // major.minor, e.g. 6.1
  std::string strOSName;   // e.g. Microsoft Windows XP
  plat::TextStream log;    // <program name>_Log.txt, open for the whole run
  std::string logFolder;   // empty: the program folder (tests name their own)
  RegistryCalls registry;  // systemRegistryCalls() unless a test sets others
};
VersionState& state();
void resetState();  // closes the log, empties both texts, system registry calls

// The entry procedure: the whole run.
void Main();

// Fills both texts from the management service; false when the query failed.
bool fncGetWMIVersion();
// Fills the version text from the version call and the OS name from its table.
void fncGetAPIVersion();
// Stores both texts as strVersion and strOSName.
void fncCreateRegistry();

// The log: opened anew at every start; a line is "MM/DD/YY HH:NN:SS AM/PM",
// a TAB and the text (which brings its own leading TAB). Never fails.
void subOpenLog();
void subWriteLog(const std::string& text);

// The OS name of a version text by the table of known versions; empty for a
// version text that is not in it.
std::string fncOSNameOfVersion(const std::string& version);

}  // namespace zuvoze::osstamp

// rcdeploy's run: the silent installer command for the remote-access host,
// written into lmi.bat and started hidden.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "zuvoze/platform/registry.h"

namespace zuvoze::deployer {

// The whole run for one command-line text ("folder,edition[,port]"). Ends
// early, without a log, when the agent key or one of its values is missing;
// every later failure is logged as an "ERR :" entry and ends the run.
void Main(const std::string& argumentText);

// The parts of the installer command, as the run has gathered them.
struct CommandParts {
  std::string installer;        // the short path of msiexec.exe
  std::string package;          // the package path as built
  std::string shortPackage;     // its short form (empty when it does not exist)
  std::string edition;          // "KTRO" or "BLUV"; anything else gives no command
  std::string port;             // the RAPORT value; empty when none was given
  bool specialSite = false;     // install into the E: program-files folder
  std::string shortInstallDir;  // the short form of that folder's LogMeIn\ subfolder
  std::string proxy;            // the proxy options, or empty
};
// The installer command; empty for an edition code that matches no row.
std::string fncInstallerCommand(const CommandParts& parts);
// The proxy options for an address and a port as read.
std::string fncProxyOptions(const std::string& address, const std::string& port);
// The E: program-files folder: the value of Programfiles with its first
// character replaced by "E" (empty when the variable is empty).
std::string fncProgramFilesE();

// True when the text holds a character that cmd acts on in a batch-file line:
// & | < > ^ % a double quote, or a line break.
bool fncUnsafeForBatch(const std::string& text);

// The value of a registry value when it is a plain string (up to its first
// NUL), the empty text for a value of another type; false when it is missing.
bool fncGetRegString(plat::RegKey key, const std::string& name, std::string* value);
// A value of VelkMobile.ini read into a 255-character buffer (empty default).
std::string fncReadINI(const std::string& section, const std::string& key, const std::string& file);
std::string GetShortpath(const std::string& path);
// A log entry: default date-and-time text, TAB, message; never fails.
void WriteLog(const std::string& message);
// The system's text for an error code, without its line end.
std::string fncErrorDescription(uint32_t code);

// Text helpers.
std::string trim(const std::string& text);  // blanks at both ends
std::vector<std::string> splitAt(const std::string& text, char separator);

}  // namespace zuvoze::deployer

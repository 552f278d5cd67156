// rcdeploy's declarations: the fixed texts of the installer command and the
// one record of a run.
#pragma once
#include <functional>
#include <string>

#include "zuvoze/platform/files.h"

namespace zuvoze::deployer {

// The agent key and what the program reads from it and beside it.
inline const char* const kAgentKey = "Software\\ZUVOZE";
inline const char* const kLogName = "rcdeployLog.txt";
inline const char* const kBatchName = "lmi.bat";
inline const char* const kPackage = "LMI\\LogmeIn.msi";
inline const char* const kMobileIni = "VelkMobile.ini";
inline const char* const kInstallerLog = "SetupLogs\\LogmeinInstall.log";

// The site whose machines get the host installed on drive E:.
inline const char* const kSpecialSite = "239248";

// The edition codes (compared exactly) and the pieces through which their
// deployment identifiers enter the command; every blank counts.
inline const char* const kEditionK = "KTRO";
inline const char* const kEditionB = "BLUV";
inline const char* const kKPort = " DEPLOYID=p7wexk3mhq9tdz2vcs6rnj4lyb8gf5u0oaie1ytw RAPORT=";
inline const char* const kKPlain = " DEPLOYID=p7wexk3mhq9tdz2vcs6rnj4lyb8gf5u0oaie1ytw ";
inline const char* const kKWide = "  DEPLOYID=p7wexk3mhq9tdz2vcs6rnj4lyb8gf5u0oaie1ytw ";
inline const char* const kBPort = " DEPLOYID=m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r RAPORT=";
inline const char* const kBPlain = " DEPLOYID=m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r ";
inline const char* const kBWidePort = "  DEPLOYID=m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r RAPORT=";
inline const char* const kBWide = "  DEPLOYID=m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r ";

// What starts the finished batch file (plat::startHidden; tests record instead).
using Starter = std::function<uint32_t(const std::string& commandLine)>;

struct RunState {
  std::string installationPath;  // trimmed, ends with a backslash
  std::string siteId;            // trimmed
  plat::TextStream log;          // rcdeployLog.txt, open from step 3 to the end
  Starter starter;               // empty: plat::startHidden
};

RunState& run();
void resetRunState();  // closes the log, forgets everything (tests)

}  // namespace zuvoze::deployer

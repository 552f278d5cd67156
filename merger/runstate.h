// The one record of a cfgmerge run, shared by the driver and every table
// procedure. Everything starts empty, zero or false.
#pragma once
#include <functional>
#include <string>

#include "merger/numconv.h"
#include "zuvoze/platform/files.h"

namespace zuvoze::merger {

// The nine table procedures, called by the driver through the run state (tests
// put doubles here; the program puts the real procedures).
struct TableProcedures {
  std::function<void()> DeleteSCHDSection, addSCHDSection, ReGenSCHDFile;
  std::function<void()> DeleteDefaultExeSection, addDefaultExeSection, ReGenDefaultExeFile;
  std::function<void()> deleteMobile, addMobile, ReGenMobileFile;
};

struct RunState {
  std::string installationPath;   // trimmed, always ends with a backslash
  std::string regid;
  std::string agentType;
  std::string nextNumberCounter;  // Exe2Fire of VELKMobile.ini as read at start
  bool success = false;
  std::string summary;            // the run summary text (Desc of the status file)
  Count scheduleAdded = 0, scheduleDeleted = 0;
  Count processAdded = 0, processDeleted = 0;
  Count fireAdded = 0, fireDeleted = 0;
  bool schedulerChanged = false;
  Count tempSectionCounter = 0;
  plat::TextStream log;           // the run log, open from step 3 to MoveLogFile
  TableProcedures procedures;
};

RunState& run();        // the process-wide run state
void resetRunState();   // back to the start values (tests); closes the log

// A table procedure's failure: success flag to failed, " " and the description
// appended to the run summary text.
void recordFailure(const std::string& description);

}  // namespace zuvoze::merger

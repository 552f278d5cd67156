// The run driver of cfgmerge: one merge from start to end.
#pragma once
#include <functional>
#include <string>

namespace zuvoze::merger {

// Exit codes of the program. Nothing in the agent reads them; they tell a
// person or a test how the run ended.
enum ExitCode : int {
  kExitCompleted = 0,        // the run went through to the archived log
                             // (whatever its outcome in the result files)
  kExitAnotherInstance = 1,  // another copy was running: nothing was touched
  kExitRegistryEnd = 2,      // a value of the agent key was missing (log left in
                             // the program folder, no result file)
  kExitDriverError = 3,      // the driver's own error path (status file FAILED,
                             // log left in the program folder)
};

// The whole run (single-instance test, run log, agent key, backups, the three
// table phases, service restart, result files, log archive). Returns the exit
// code; the early ends of the run come back here as well.
int runMain();

// The pieces of the run, for tests.
void schedulerPhase();
void processPhase();
void firelistPhase();
void serviceRestart();
void writeScheduleUpdateStatus();
void fncCreatePMStatusINI(bool status, const std::string& description);

// The stop and start of the scheduler service as the restart calls them
// (fncStopService and fncStartService; tests put doubles here).
struct ServiceCalls {
  std::function<bool(const std::string&)> stop, start;
};
ServiceCalls& serviceCalls();

// The summary's count item: " Delete Count [n]: " / " Add Count [n]: ".
std::string deleteCountItem(int count);
std::string addCountItem(int count);

}  // namespace zuvoze::merger

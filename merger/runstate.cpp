// The process-wide run state of cfgmerge.
#include "merger/runstate.h"

namespace zuvoze::merger {

RunState& run() {
  static RunState state;
  return state;
}

void resetRunState() {
  RunState& r = run();
  r.log.close();
  r.installationPath.clear();
  r.regid.clear();
  r.agentType.clear();
  r.nextNumberCounter.clear();
  r.success = false;
  r.summary.clear();
  r.scheduleAdded = r.scheduleDeleted = 0;
  r.processAdded = r.processDeleted = 0;
  r.fireAdded = r.fireDeleted = 0;
  r.schedulerChanged = false;
  r.tempSectionCounter = 0;
  r.procedures = TableProcedures{};
}

void recordFailure(const std::string& description) {
  RunState& r = run();
  r.success = false;
  r.summary += " " + description;
}

}  // namespace zuvoze::merger

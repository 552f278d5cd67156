// The real table procedures of the shipped program. Each table's owner adds
// its three assignments here once its procedures exist; a procedure that is
// not installed is never called as if it had done its work (the driver treats
// it as a failure of the run).
#include "merger/procedures.h"

#include "merger/firelist.h"
#include "merger/process.h"
#include "merger/scheduler.h"

namespace zuvoze::merger {

void installTableProcedures(TableProcedures& procedures) {
  // scheduler table
  procedures.DeleteSCHDSection = DeleteSCHDSection;
  procedures.addSCHDSection = addSCHDSection;
  procedures.ReGenSCHDFile = ReGenSCHDFile;
  // process table
  procedures.DeleteDefaultExeSection = DeleteDefaultExeSection;
  procedures.addDefaultExeSection = addDefaultExeSection;
  procedures.ReGenDefaultExeFile = ReGenDefaultExeFile;
  // fire list
  procedures.deleteMobile = deleteMobile;
  procedures.addMobile = addMobile;
  procedures.ReGenMobileFile = ReGenMobileFile;
}

}  // namespace zuvoze::merger

// cfgmerge: applies AddSection.ini and DeleteSection.ini to the agent's
// scheduler table, process table and fire list.
#include "merger/driver.h"
#include "merger/procedures.h"
#include "merger/runstate.h"
#include "zuvoze/platform/system.h"

int main(int argc, char** argv) {
  zuvoze::plat::initProcess(argc, argv);
  zuvoze::merger::installTableProcedures(zuvoze::merger::run().procedures);
  return zuvoze::merger::runMain();
}

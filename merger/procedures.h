// Puts the nine real table procedures into the run state.
#pragma once
#include "merger/runstate.h"

namespace zuvoze::merger {
void installTableProcedures(TableProcedures& procedures);
}

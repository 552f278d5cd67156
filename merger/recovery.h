// Recovery from a run that was killed while it changed the tables.
//
// After the three backups the run leaves a marker beside the tables that
// names every table whose Bkp_ copy is complete; the marker goes when the last
// table phase is over. A run that finds the marker knows the earlier run died
// part way: it copies each named table back from its Bkp_ (all of them are the
// state that run started from) before it takes fresh backups, and then does
// its own merge of the same requests. Each copy replaces its table whole, so a
// run killed at any point leaves every table as it was before, as it is after
// a complete run, or restorable by the next run.
#pragma once
#include <string>
#include <vector>

namespace zuvoze::merger {

// Before the backups: if the marker is there, restore the tables it names
// and remove it, logging what was done. A restore that fails keeps the marker
// (so the backups are not overwritten by a torn table) and raises the
// MergeError of the failed copy, which ends the run on the driver's error path.
void recoverInterruptedRun();
// After the backups: writes the marker, naming each table whose Bkp_ holds
// the same bytes as the table (none when no table exists: the run then
// changes nothing). A table that exists without a matching
// backup, or a marker that cannot be written, raises a MergeError: the run
// must not touch a table it could not put back.
void markRunInProgress();
// After the last table phase: removes the marker. Raises a MergeError when
// it cannot be removed (the next run would otherwise undo this one silently).
void markRunDone();

// The marker's path (installation path + "cfgmerge_RunInProgress.txt") and
// the tables it can name, as paths relative to the installation path.
std::string runMarkerFile();
const std::vector<std::string>& recoverableTables();
// "Configuration\VELKScheduler.ini" -> "Configuration\Bkp_VELKScheduler.ini".
std::string backupNameOf(const std::string& table);

}  // namespace zuvoze::merger

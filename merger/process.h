// The process table VELKDefaultExe.ini in the installation folder: its lookup,
// the adder and the deleter driven by the change-request files, and the
// renumbering into the settled form (Settings with ProcessCount, then
// Process1, Process2, ... without gaps).
//
// Between the adder and the renumbering of one run, the processes added in
// that run stand at the end of the table in temporary sections named 1, 2, ...
// A process is identified by ApplicationName, ProcessName, Parameter and Days,
// compared without regard to letter case.
#pragma once
#include <string>

namespace zuvoze::merger {

// The table and its side files: installation path + name.
std::string processTableFile();   // VELKDefaultExe.ini
std::string processBackupFile();  // Bkp_VELKDefaultExe.ini
std::string processNewFile();     // New_VELKDefaultExe.ini
std::string processOldFile();     // Old_VELKDefaultExe.ini

// "TRUE,<section>" for the first section after the first one that holds the
// process; "FALSE,<last section>" when none does; "FALSE,-1" when the table has
// no section after the first; "True,<section being examined>" when the lookup
// itself failed (logged; reads as present to the adder, absent to the deleter).
std::string chkDefaultExeSection(const std::string& applicationName,
                                 const std::string& processName, const std::string& parameter,
                                 const std::string& days);

// The three table procedures the driver calls (no arguments, no result; they
// report through the run state and the run log). The request files are
// AddSection.ini and DeleteSection.ini of the program folder.
void DeleteDefaultExeSection();
void addDefaultExeSection();
void ReGenDefaultExeFile();

// The deleter and the adder working on a request file given by its path (the
// procedures above pass the program folder's files; tests pass their own).
void deleteDefaultExeSectionFrom(const std::string& requestFile);
void addDefaultExeSectionFrom(const std::string& requestFile);

}  // namespace zuvoze::merger

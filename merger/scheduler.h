// The scheduler table Configuration\VELKScheduler.ini: the lookup of one
// schedule, the adder, the deleter and the renumbering into settled form.
#pragma once
#include <string>

namespace zuvoze::merger {

// "TRUE,<section>" for the first section (in file order) whose six values
// match without regard to letter case; "FALSE,<last section>" when none
// matches; "FALSE,-1" for a table without sections. After an internal error
// (logged, run marked failed) the answer is kLookupFailed, which neither the
// adder ("FALSE") nor the deleter ("TRUE") acts on.
std::string chkSCHDSection(const std::string& executableName, const std::string& parameter,
                           const std::string& startTime, const std::string& endTime,
                           const std::string& interval, const std::string& weekDays);
extern const char* const kLookupFailed;

// Appends the schedules that AddSection.ini asks for.
void addSCHDSection();
// Removes the schedules that DeleteSection.ini names.
void DeleteSCHDSection();
// Rewrites the table with sections 1, 2, ... through New_/Old_VELKScheduler.ini.
void ReGenSCHDFile();

// The table and its neighbours (long paths, from the run state's installation
// path).
std::string schedulerTableFile();
std::string schedulerBackupFile();

}  // namespace zuvoze::merger

// The scheduler table Configuration\VELKScheduler.ini. Every schedule is one
// section with six keys; in settled form the sections are named 1, 2, ... in
// file order. The deleter and the adder work on the table in place (gaps and
// provisional numbers), the renumbering rewrites it through a side file.
#include "merger/scheduler.h"

#include <cstdint>
#include <exception>
#include <new>
#include <vector>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/numconv.h"
#include "merger/requests.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"

namespace zuvoze::merger {

const char* const kLookupFailed = "ERROR,-1";

namespace {

const char* const kAddTitle = "Adding new Section in VELKScheduler.ini";
const char* const kAddEndTitle = "End of Adding new Section in VELKScheduler.ini";
const char* const kDeleteTitle = "Deleting Sections from VELKScheduler.ini";
const char* const kRenumberTitle = "Renumbering VELKScheduler.ini";
const char* const kRenumberEndTitle = "End Of Renumbering VELKScheduler.ini";

// The six keys of a schedule, in the order the table holds them.
const char* const kKeys[6] = {"ExecutableName", "Parameter", "StartTime",
                              "EndTime",        "Interval",  "WeekDays"};

// What a procedure's error path logs: the runtime error number and text.
struct Failure {
  int32_t number;
  std::string description;
};

Failure failureOf(const std::exception& e) {
  if (const auto* me = dynamic_cast<const MergeError*>(&e)) return {me->number, me->description};
  if (dynamic_cast<const std::bad_alloc*>(&e)) return {7, "Out of memory"};
  return {51, "Internal error"};
}

// The runtime error text that stands for a failed file operation.
std::string fileErrorDescription(uint32_t winCode) {
  try {
    raiseFileError(winCode);
  } catch (const MergeError& e) {
    return e.description;
  }
  return "";
}

int upperBound(const std::vector<std::string>& names) {
  return static_cast<int>(names.size()) - 1;
}

// Request item k of a change-request file (position 0 is the count section).
// The split listing ends with an empty element that stands for no section.
const std::string& requestSection(const std::vector<std::string>& items, int k) {
  if (k < 0 || k >= upperBound(items)) raise(kErrSubscript);
  return items[static_cast<size_t>(k)];
}

void logInvalidRequest(const SchedulerRequest& q) {
  const std::string& exe = q.executableName;
  if (exe.empty()) WriteLog("MSG : ExecutableName is blank. jump to next section");
  if (exe.size() < 4 || exe.compare(exe.size() - 4, 4, ".exe") != 0)
    WriteLog("MSG : " + exe + " is not valid executable name. jump to next section");
  if (q.startTime.empty()) WriteLog("MSG : StartTime is blank. jump to next section");
  if (q.endTime.empty()) WriteLog("MSG : EndTime is blank. jump to next section");
  if (q.weekDays.empty()) WriteLog("MSG : WeekDays is blank. jump to next section");
}

// A number taken from a text that must be a number; true when it is zero.
// Numbers too large for a count are not zero.
bool isZeroNumber(const std::string& text) {
  try {
    if (toCount(text) != 0) return false;
  } catch (const MergeError& e) {
    if (e.number == kErrOverflow) return false;
    throw;
  }
  return text.find_first_not_of("+-0. \t") == std::string::npos;
}

bool hasSection(const std::vector<std::string>& names, const std::string& name) {
  for (int i = 0; i < upperBound(names); ++i)
    if (equalsNoCase(names[static_cast<size_t>(i)], name)) return true;
  return false;
}

// The error paths end with the backup copied over the table; a failure of
// that copy is left to the run driver.
void restoreFromBackup(const std::string& backup, const std::string& table) {
  uint32_t rc = plat::copyFile(backup, table);
  if (rc != 0) raiseFileError(rc);
}

}  // namespace

std::string schedulerTableFile() {
  return run().installationPath + "Configuration\\VELKScheduler.ini";
}

std::string schedulerBackupFile() {
  return run().installationPath + "Configuration\\Bkp_VELKScheduler.ini";
}

std::string chkSCHDSection(const std::string& executableName, const std::string& parameter,
                           const std::string& startTime, const std::string& endTime,
                           const std::string& interval, const std::string& weekDays) {
  std::string answer = "FALSE,-1";
  try {
    const std::string table = schedulerTableFile();
    const std::vector<std::string> s = splitNames(fncGetSectionNames(table));
    const std::string wanted[6] = {upper(executableName), upper(parameter), upper(startTime),
                                   upper(endTime),        upper(interval),  upper(weekDays)};
    const int u = upperBound(s);
    for (int i = 0; i <= u - 1; ++i) {
      const std::string& name = s[static_cast<size_t>(i)];
      // The first value that differs settles it; the others need not be read.
      bool same = true;
      for (int k = 0; k < 6 && same; ++k)
        same = upper(fncReadINI(name, kKeys[k], table)) == wanted[k];
      if (same) return "TRUE," + name;
      if (i == u - 1) return "FALSE," + name;
    }
  } catch (const std::exception& e) {
    // The run is failed; the answer is one on which no caller adds or deletes.
    const Failure f = failureOf(e);
    run().success = false;
    WriteLog("Err : Err Number :--> " + std::to_string(f.number) + " Err Description :--> " +
             f.description);
    answer = kLookupFailed;
  }
  return answer;
}

void addSCHDSection() {
  RunState& r = run();
  const std::string table = schedulerTableFile();
  const std::string requests = addSectionFile();
  try {
    writeBanner(kAddTitle);
    writeSeparator();
    if (!plat::fileExists(requests)) {
      WriteLog("MSG : AddSection.ini file not found");
      writeSeparator();
      writeBanner(kAddEndTitle);
      return;
    }
    const std::vector<std::string> tableSections = splitNames(fncGetSectionNames(table));
    const int tableCount = tableSections.empty() ? 0 : upperBound(tableSections);
    WriteLog("MSG : Total sections in " + r.installationPath +
             "Configuration\\VELKScheduler.ini is " + std::to_string(tableCount));

    const std::vector<std::string> items = splitNames(fncGetSectionNames(requests));
    if (items.empty()) {
      WriteLog("MSG : AddSection.ini is blank. Application end.");
      writeSeparator();
      writeBanner(kAddEndTitle);
      return;
    }
    const Count a = toCount(fncReadINI("INI", "VELKScheduler", requests));
    WriteLog("MSG : Total [" + std::to_string(a) + "] schedules found in AddSection.ini to Add");

    for (int k = 1; k <= a; ++k) {
      const SchedulerRequest q = readSchedulerRequest(requests, requestSection(items, k), true);
      WriteLog("MSG : Checking " + q.executableName + " section exists or not");
      if (!isValidSchedulerRequest(q)) {
        logInvalidRequest(q);
        continue;
      }
      const std::vector<std::string> answer = splitAt(
          chkSCHDSection(q.executableName, q.parameter, q.startTime, q.endTime, q.interval,
                         q.weekDays),
          ',');
      if (answer[0] != "FALSE") {
        WriteLog("MSG : " + q.executableName + " section exist.");
        continue;
      }
      WriteLog("MSG : " + q.executableName + " section does not exist.");
      uint32_t rc = plat::appendTextFile(table, "\r\n\r\n", false);
      if (rc != 0) raiseFileError(rc);

      // The new section takes the number after the last section's name. A
      // table that is not in settled form may already hold a section of that
      // name further up; writing into it would overwrite that schedule, so
      // the next number that is not in use is taken instead.
      Count n = addCount(toCount(answer.size() > 1 ? answer[1] : ""), 1);
      const std::vector<std::string> present = splitNames(fncGetSectionNames(table));
      while (hasSection(present, std::to_string(n))) n = addCount(n, 1);
      const std::string name = std::to_string(n);

      const std::string values[6] = {q.executableName, q.parameter, q.startTime,
                                     q.endTime,        q.interval,  q.weekDays};
      // The section is new, so its six keys go in with one profile write: the
      // same bytes as six key writes, and never half a schedule in the table.
      std::string lines;
      for (int i = 0; i < 6; ++i) {
        if (i == 0)
          WriteLog("MSG : Adding :--> " + name + " ExecutableName[ " + values[i] + " ].");
        else
          WriteLog("MSG : Adding :-->" + name + " " + kKeys[i] + "[ " + values[i] + " ].");
        lines += std::string(kKeys[i]) + "=" + values[i] + '\0';
      }
      lines += '\0';
      if (!plat::writePrivateProfileSection(name.c_str(), lines.c_str(), table))
        raiseFileError(plat::lastError());
      r.scheduleAdded = addCount(r.scheduleAdded, 1);
      r.schedulerChanged = true;
    }
    writeSeparator();
    writeBanner(kAddEndTitle);
  } catch (const std::exception& e) {
    const Failure f = failureOf(e);
    recordFailure(f.description);
    WriteLog("ERR : Error in addSCHDSection() " + std::to_string(f.number) + " " + f.description);
    WriteLog("MSG : Copying Bkp_VELKScheduler.ini to VELKScheduler.ini");
    restoreFromBackup(schedulerBackupFile(), table);
    writeSeparator();
    writeBanner(kAddEndTitle);
  }
}

void DeleteSCHDSection() {
  RunState& r = run();
  const std::string table = schedulerTableFile();
  const std::string requests = deleteSectionFile();
  try {
    writeSeparator();
    writeBanner(kDeleteTitle);
    const std::vector<std::string> tableSections = splitNames(fncGetSectionNames(table));
    const int u = upperBound(tableSections);
    if (u <= 0) {
      writeSeparator();
      writeBanner(kDeleteTitle);
      return;
    }
    WriteLog("MSG : Total sections in " + r.installationPath +
             "Configuration\\VELKScheduler.ini is " + std::to_string(u));

    const std::vector<std::string> items = splitNames(fncGetSectionNames(requests));
    if (items.empty()) raise(kErrSubscript);
    const std::string countText = fncReadINI(items[0], "VELKScheduler", requests);
    if (isZeroNumber(countText)) {
      WriteLog("MSG : Count of Delete Section = 0.");
      writeSeparator();
      writeBanner(kDeleteTitle);
      return;
    }
    WriteLog("MSG : Total section [" + countText + "] found in DeleteSection.ini");

    const Count a = toCount(countText);
    for (int k = 1; k <= a; ++k) {
      const SchedulerRequest q = readSchedulerRequest(requests, requestSection(items, k), false);
      WriteLog("MSG : Checking " + q.executableName + " section exists or not.");
      if (!isValidSchedulerRequest(q)) {
        logInvalidRequest(q);
        continue;
      }
      const std::vector<std::string> answer = splitAt(
          chkSCHDSection(q.executableName, q.parameter, q.startTime, q.endTime, q.interval,
                         q.weekDays),
          ',');
      const std::string name = answer.size() > 1 ? answer[1] : "";
      const bool found = answer[0] == "TRUE";
      const bool numbered = toCount(name) > 0;  // always made: a bad name is an error
      if (found && numbered) {
        WriteLog("MSG : " + q.executableName + " section exists.");
        WriteLog("MSG : Deleting Section [" + name + "]");
        if (!plat::writePrivateProfileString(name.c_str(), nullptr, nullptr, table))
          raiseFileError(plat::lastError());
        r.scheduleDeleted = addCount(r.scheduleDeleted, 1);
        r.schedulerChanged = true;
      } else {
        WriteLog("MSG : " + q.executableName + " section does not exists.");
      }
    }
    writeSeparator();
    writeBanner(kDeleteTitle);
  } catch (const std::exception& e) {
    const Failure f = failureOf(e);
    recordFailure(f.description);
    WriteLog("ERR : Error in DeleteSCHDSection() " + std::to_string(f.number) + " " +
             f.description);
    WriteLog("MSG : Copying Bkp_VELKScheduler.ini to VELKScheduler.ini");
    restoreFromBackup(schedulerBackupFile(), table);
    writeSeparator();
    writeBanner(kDeleteTitle);
  }
}

void ReGenSCHDFile() {
  RunState& r = run();
  const std::string& install = r.installationPath;
  // Existence tests, copies and deletions take the short form of the folder;
  // the profile reads and writes take the long paths.
  const std::string shortCfg = GetShortpath(install + "Configuration") + "\\";
  const std::string shortTable = shortCfg + "VELKScheduler.ini";
  const std::string shortNew = shortCfg + "New_VELKScheduler.ini";
  const std::string shortOld = shortCfg + "Old_VELKScheduler.ini";
  const std::string table = schedulerTableFile();
  const std::string newTable = install + "Configuration\\New_VELKScheduler.ini";
  try {
    writeBanner(kRenumberTitle);
    writeSeparator();

    WriteLog("MSG : Checking whether New_VELKScheduler.ini exists or not.");
    if (plat::fileExists(shortNew)) {
      uint32_t rc = plat::deleteFile(shortNew, true);
      if (rc != 0) raiseFileError(rc);
      WriteLog("MSG : Successfully deleted " + install + "Configuration\\New_VELKScheduler.ini");
    }
    WriteLog("MSG : Checking whether Old_VELKScheduler.ini exists or not.");
    if (plat::fileExists(shortOld)) {
      uint32_t rc = plat::deleteFile(shortOld, true);
      if (rc != 0) raiseFileError(rc);
      WriteLog("MSG : Successfully deleted " + install + "Configuration\\Old_VELKScheduler.ini");
    }

    // The new table starts as an empty file, so that a table whose last
    // schedule was deleted is swapped for an empty one instead of failing
    // the swap for want of a new table.
    uint32_t rc = plat::writeTextFile(newTable, "");
    if (rc != 0) raiseFileError(rc);

    static const char* const kLabels[6] = {" Application[ ", " Parameter[ ", " StartTime[ ",
                                           " EndTime[ ",     " Interval[ ",  " WeekDays[ "};
    const std::vector<std::string> s = splitNames(fncGetSectionNames(table));
    const int u = upperBound(s);
    for (int i = 0; i <= u - 1; ++i) {
      const std::string& section = s[static_cast<size_t>(i)];
      const std::string n = std::to_string(i + 1);
      std::string values[6];
      for (int k = 0; k < 6; ++k) values[k] = fncReadINI(section, kKeys[k], table);
      // The six keys go into the new section with one profile write: the
      // same bytes as six key writes into a new section, at a sixth of the
      // cost of rewriting the growing side file.
      std::string lines;
      for (int k = 0; k < 6; ++k) {
        WriteLog("MSG : ReNumbering :-->" + n + kLabels[k] + values[k] + " ].");
        lines += std::string(kKeys[k]) + "=" + values[k] + '\0';
      }
      lines += '\0';
      if (!plat::writePrivateProfileSection(n.c_str(), lines.c_str(), newTable))
        raiseFileError(plat::lastError());
      rc = plat::appendTextFile(newTable, "\r\n\r\n", true);
      if (rc != 0) raiseFileError(rc);
    }

    // The swap. A failed copy leaves the side files for the next renumbering
    // and fails the run; the table then holds either its old content or the
    // content from before this renumbering.
    bool swapped = false;
    WriteLog("MSG : Renaming " + shortTable + "to" + install + "Configuration\\Old_VELKScheduler.ini");
    rc = plat::copyFile(shortTable, shortOld);
    if (rc != 0) {
      WriteLog(" ERR : while renaming VELKScheduler.ini to Old_VELKScheduler.ini Error :--> " +
               fncFormatMessage(std::to_string(rc)));
      recordFailure(fileErrorDescription(rc));
    } else {
      WriteLog("MSG : Successfully renamed " + install + "configuration\\VELKScheduler.ini to" +
               install + "configuration\\Old_VELKScheduler.ini");
      WriteLog("MSG : Renaming " + install + "Configuration\\New_VELKScheduler.ini" + "to" +
               install + "Configuration\\VELKScheduler.ini");
      rc = plat::copyFile(shortNew, shortTable);
      if (rc != 0) {
        WriteLog(" ERR : while renaming New_VELKScheduler.ini to VELKScheduler.ini Error :--> " +
                 fncFormatMessage(std::to_string(rc)));
        recordFailure(fileErrorDescription(rc));
      } else {
        WriteLog("MSG : Successfully renamed " + install +
                 "configuration\\New_VELKScheduler.ini to" + install +
                 "configuration\\VELKScheduler.ini");
        swapped = true;
      }
    }
    if (swapped) {
      rc = plat::deleteFile(shortOld, true);
      if (rc == 0)
        WriteLog("MSG : Successfully deleted " + install + "configuration\\Old_VELKScheduler.ini ");
      else
        WriteLog(" ERR : while deleting " + install +
                 "configuration\\Old_VELKScheduler.ini  Error :--> " +
                 fncFormatMessage(std::to_string(rc)));
      rc = plat::deleteFile(shortNew, true);
      if (rc == 0)
        WriteLog("MSG : Successfully deleted " + install + "configuration\\New_VELKScheduler.ini ");
      else
        WriteLog(" ERR : while deleting " + install +
                 "configuration\\New_VELKScheduler.ini  Error :--> " +
                 fncFormatMessage(std::to_string(rc)));
    }
    writeSeparator();
    writeBanner(kRenumberEndTitle);
  } catch (const std::exception& e) {
    const Failure f = failureOf(e);
    recordFailure(f.description);
    WriteLog("ERR : Error in ReGenSCHDFile() " + std::to_string(f.number) + " " + f.description);
    WriteLog("MSG : copying Bkp_VELKScheduler.ini to VELKScheduler.ini");
    restoreFromBackup(shortCfg + "Bkp_VELKScheduler.ini", shortTable);
    writeSeparator();
    writeBanner(kRenumberEndTitle);
  }
}

}  // namespace zuvoze::merger

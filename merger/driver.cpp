// The run driver of cfgmerge: one merge from start to end. It decides which
// table procedures run, in which order, what goes into the run summary text
// and whether the run counts as a success; the table procedures report back
// only through the run state.
#include "merger/driver.h"

#include <exception>
#include <functional>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/recovery.h"
#include "merger/requests.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "merger/service.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::merger {

namespace {

const char* const kSchedulerService = "VELKScheduler";

std::string mobileTable() { return run().installationPath + "VELKMobile.ini"; }
std::string processTable() { return run().installationPath + "VELKDefaultExe.ini"; }
std::string schedulerFolder() { return run().installationPath + "Configuration\\"; }
std::string schedulerTable() { return schedulerFolder() + "VELKScheduler.ini"; }

// The scheduler table is looked for through the short form of its folder. A
// folder that does not exist has no short form; the table is then missing
// too (the bare name would otherwise be looked for in the working folder).
bool schedulerTableExists() {
  const std::string folder = GetShortpath(schedulerFolder());
  if (folder.empty()) return false;
  std::string path = folder;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  return plat::fileExists(path + "VELKScheduler.ini");
}

// Exe2Fire of DCConnURL of the fire list: a 2000-character buffer offered as
// 1000, cut at its first NUL, blanks kept.
std::string readExe2Fire() {
  std::string buf(2000, '\0');
  plat::getPrivateProfileString("DCConnURL", "Exe2Fire", "", &buf[0], 1000, mobileTable());
  return fncTrimNull(buf);
}

// Runs one table procedure. One that this build lacks must not pass for one
// that ran and found nothing to do: the run fails, and the log says why.
void callProcedure(const char* name, const std::function<void()>& procedure) {
  if (!procedure) {
    WriteLog(std::string("ERR : ") + name + "() is not available in this program");
    recordFailure(std::string(name) + " not available.");
    return;
  }
  procedure();
}

void append(const std::string& text) { run().summary += text; }
void replaceSummary(const std::string& text) { run().summary = text; }

void backup(const std::string& name, const std::string& table, bool exists) {
  WriteLog("MSG : Creating backup of " + name);
  if (exists) {
    const size_t slash = table.find_last_of('\\');
    const std::string bkp = table.substr(0, slash + 1) + "Bkp_" + table.substr(slash + 1);
    uint32_t rc = plat::copyFile(table, bkp);
    if (rc != 0) raiseFileError(rc);
  } else {
    WriteLog("MSG : " + name + " does not exists.");
  }
}

// The driver's own error path: the status file carries the error, the log
// stays in the program folder, the program ends.
int driverError(int32_t number, const std::string& description) {
  RunState& r = run();
  r.success = false;
  WriteLog("Error in main() Err : Err Number :--> " + std::to_string(number) +
           " Err Description :--> " + description);
  // Before the agent key was read there is no installation folder to put a
  // status file into.
  if (!r.installationPath.empty()) fncCreatePMStatusINI(false, description);
  return kExitDriverError;
}

}  // namespace

ServiceCalls& serviceCalls() {
  static ServiceCalls calls{fncStopService, fncStartService};
  return calls;
}

std::string deleteCountItem(int count) {
  return " Delete Count [" + std::to_string(count) + "]: ";
}
std::string addCountItem(int count) { return " Add Count [" + std::to_string(count) + "]: "; }

// The three procedures of one table and the counts they keep.
struct TableSteps {
  const char* deleteName;
  const std::function<void()>& deleter;
  const char* addName;
  const std::function<void()>& adder;
  const char* regenName;
  const std::function<void()>& regen;
  const Count& deleted;
  const Count& added;
};

// What the scheduler and the process phases do with the request files once
// their table exists: deletion before addition, the renumbering at most once,
// after both, and only when something changed.
void applyRequests(const TableSteps& t) {
  RunState& r = run();
  const bool haveAdd = plat::fileExists(addSectionFile());
  const bool haveDelete = plat::fileExists(deleteSectionFile());
  if (!haveAdd) {
    WriteLog("MSG : AddSection.ini file not found");
    replaceSummary(" AddSection.ini not found. ");
    r.success = false;
    if (!haveDelete) {
      WriteLog("MSG : DeleteSection.ini file not found");
      append(" DeleteSection.ini not found. ");
    } else {
      callProcedure(t.deleteName, t.deleter);
      append(deleteCountItem(t.deleted));
      if (t.deleted > 0 || t.added > 0) callProcedure(t.regenName, t.regen);
    }
  } else if (!haveDelete) {
    WriteLog("MSG : DeleteSection.ini file not found");
    append(" DeleteSection.ini not found. ");
    callProcedure(t.addName, t.adder);
    append(addCountItem(t.added));
    if (t.added > 0) callProcedure(t.regenName, t.regen);
  } else {
    callProcedure(t.deleteName, t.deleter);
    append(deleteCountItem(t.deleted));
    callProcedure(t.addName, t.adder);
    append(addCountItem(t.added));
    if (t.deleted > 0 || t.added > 0) callProcedure(t.regenName, t.regen);
  }
}

void schedulerPhase() {
  RunState& r = run();
  const TableProcedures& p = r.procedures;
  if (!schedulerTableExists()) {
    WriteLog("MSG : VELKScheduler.ini file not found");
    replaceSummary(" VELKScheduler.ini file not found");
    return;
  }
  applyRequests({"DeleteSCHDSection", p.DeleteSCHDSection, "addSCHDSection", p.addSCHDSection,
                 "ReGenSCHDFile", p.ReGenSCHDFile, r.scheduleDeleted, r.scheduleAdded});
}

void processPhase() {
  RunState& r = run();
  const TableProcedures& p = r.procedures;
  append(" VELKDefaultExe : ");
  if (!plat::fileExists(processTable())) {
    WriteLog("MSG : VELKDefaultExe.ini file not found");
    append(" VELKDefault.ini file not found");
    r.success = false;
    return;
  }
  applyRequests({"DeleteDefaultExeSection", p.DeleteDefaultExeSection, "addDefaultExeSection",
                 p.addDefaultExeSection, "ReGenDefaultExeFile", p.ReGenDefaultExeFile,
                 r.processDeleted, r.processAdded});
}

void firelistPhase() {
  RunState& r = run();
  const TableProcedures& p = r.procedures;
  append(" VELKMobile : ");
  const std::string names = trim(fncGetSectionNames(mobileTable()));
  const std::string exe2fire = trim(readExe2Fire());
  if (names.empty()) {
    append(" VELKMobile.ini is blank.");
    r.success = false;
  } else if (exe2fire.empty()) {
    append(" Exe2Fire is blank.");
    r.success = false;
  } else {
    callProcedure("deleteMobile", p.deleteMobile);
    append(deleteCountItem(r.fireDeleted));
    callProcedure("addMobile", p.addMobile);
    append(addCountItem(r.fireAdded));
    if (r.fireDeleted > 0 || r.fireAdded > 0) callProcedure("ReGenMobileFile", p.ReGenMobileFile);
  }
}

// Only after a change of the scheduler table. The restart can turn a
// successful run into a failed one, never the other way round: a failure
// recorded earlier in the run stays a failure.
void serviceRestart() {
  RunState& r = run();
  if (!r.schedulerChanged) return;
  const ServiceCalls& calls = serviceCalls();
  if (!calls.stop(kSchedulerService)) {
    append(" VELKScheduler : ");
    r.success = false;
    return;
  }
  if (!calls.start(kSchedulerService)) {
    r.success = false;
    append(" VELKScheduler : ");
  }
}

void writeScheduleUpdateStatus() {
  const bool success = run().success;
  WriteLog("MSG : creating ScheduleUpdateStatus.txt");
  uint32_t rc =
      plat::writeTextFile(programFile("ScheduleUpdateStatus.txt"), success ? "SUCCESS" : "FAILED");
  if (rc != 0) raiseFileError(rc);
  WriteLog(success ? "MSG : ScheduleUpdateStatus.txt Contents:--> SUCCESS"
                   : "MSG : ScheduleUpdateStatus.txt Contents:--> FAILED");
}

void fncCreatePMStatusINI(bool status, const std::string& description) {
  RunState& r = run();
  try {
    const std::string name = "cfgmerge_" + r.regid + "_" + plat::fmtYDMHMS(plat::localNow()) + ".ini";
    const std::string path = r.installationPath + name;
    uint32_t rc = plat::writeTextFile(path, "");
    if (rc != 0) raiseFileError(rc);
    WriteLog("MSG : Creating PID File");
    const std::string lastRun = plat::fmtLongStamp(plat::localNow());
    auto put = [&](const char* key, const std::string& value) {
      if (!plat::writePrivateProfileString("STATUS_INFO", key, value.c_str(), path))
        raiseFileError(plat::lastError());
    };
    put("REGID", r.regid);
    put("Desc", description);
    put("PID", "cfgmerge");
    put("SysID", "");
    put("LastRunDateTime", lastRun);
    put("LastRunStatusCode", status ? "SUCCESS" : "FAILED");
    WriteLog("MSG : Checking PMStatus folder exist or not");
    const std::string folder = r.installationPath + "PMStatus";
    if (!plat::folderExists(folder)) {
      rc = plat::createFolder(folder);
      if (rc != 0) raiseFileError(rc);
    }
    rc = plat::moveFile(path, folder + "\\" + name);
    if (rc != 0) raiseFileError(rc);
  } catch (const MergeError& e) {
    WriteLog("ERR : Error in fncCreatePMStatusINI " + std::to_string(e.number) + " " + e.description);
  } catch (const std::exception& e) {
    WriteLog(std::string("ERR : Error in fncCreatePMStatusINI 7 ") + e.what());
  }
}

int runMain() {
  RunState& r = run();
  try {
    if (plat::previousInstanceRunning()) return kExitAnotherInstance;
    fncCheckScriptRuntime();

    uint32_t rc = openRunLog();
    if (rc != 0) raiseFileError(rc);
    WriteLog("MSG : Application Started.");
    ReadRegistry();
    // A run that died while it changed the tables left a marker: put its
    // tables back from their backups before the backups are taken anew.
    recoverInterruptedRun();

    WriteLog("MSG : Reading Exe2Fire.");
    r.nextNumberCounter = readExe2Fire();

    backup("VELKMobile.ini", mobileTable(), plat::fileExists(mobileTable()));
    backup("VELKDefaultExe.ini", processTable(), plat::fileExists(processTable()));
    backup("VELKScheduler.ini", schedulerTable(), schedulerTableExists());
    markRunInProgress();

    r.schedulerChanged = false;
    r.success = true;
    r.summary = "VELKScheduler : ";

    schedulerPhase();
    processPhase();
    firelistPhase();
    serviceRestart();
    // Only now is the run's work on the tables and the service complete.
    markRunDone();

    writeScheduleUpdateStatus();
    fncCreatePMStatusINI(r.success, r.summary);
    WriteLog("MSG : Application completed.");
    MoveLogFile();
  } catch (const ProgramEnd& end) {
    return end.exitCode;
  } catch (const MergeError& e) {
    return driverError(e.number, e.description);
  } catch (const std::exception& e) {
    return driverError(7, e.what());
  }
}

}  // namespace zuvoze::merger

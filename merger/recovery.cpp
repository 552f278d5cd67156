// The in-progress marker of a merge and the restore of the tables of a run
// that did not finish.
#include "merger/recovery.h"

#include <cstdint>

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "zuvoze/platform/files.h"

namespace zuvoze::merger {

namespace {

const char* const kMarkerName = "cfgmerge_RunInProgress.txt";
const char* const kMarkerHeading = "cfgmerge run in progress; complete backups:";

std::string fileNameOf(const std::string& relative) {
  size_t slash = relative.find_last_of('\\');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

// The known table a marker line names, or nullptr. Only these three are ever
// restored, whatever else a marker holds.
const std::string* knownTable(const std::string& line) {
  const std::string name = trim(line);
  for (const std::string& t : recoverableTables())
    if (equalsNoCase(t, name)) return &t;
  return nullptr;
}

}  // namespace

std::string runMarkerFile() { return run().installationPath + kMarkerName; }

const std::vector<std::string>& recoverableTables() {
  static const std::vector<std::string> tables = {
      "VELKMobile.ini", "VELKDefaultExe.ini", "Configuration\\VELKScheduler.ini"};
  return tables;
}

std::string backupNameOf(const std::string& table) {
  const std::string name = fileNameOf(table);
  return table.substr(0, table.size() - name.size()) + "Bkp_" + name;
}

void recoverInterruptedRun() {
  const std::string marker = runMarkerFile();
  if (!plat::fileExists(marker)) return;
  const std::string& install = run().installationPath;

  std::vector<std::string> lines;
  uint32_t rc = plat::readLines(marker, &lines);
  if (rc != 0) {
    WriteLog("ERR : An earlier run did not complete and its marker " + marker +
             " cannot be read.");
    raiseFileError(rc);
  }
  WriteLog("MSG : An earlier run did not complete. Restoring its tables from their backups.");
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string* table = knownTable(lines[i]);
    if (table == nullptr) continue;
    const std::string name = fileNameOf(*table);
    const std::string backup = install + backupNameOf(*table);
    WriteLog("MSG : Copying Bkp_" + name + " to " + name);
    if (!plat::fileExists(backup)) {
      WriteLog("ERR : " + backup + " does not exist; " + install + *table +
               " cannot be restored. Remove " + marker + " once the table is checked.");
      raise(kErrFileNotFound);
    }
    rc = plat::copyFile(backup, install + *table);
    if (rc != 0) {
      WriteLog("ERR : while restoring " + install + *table + " from " + backup +
               " Error :--> " + fncFormatMessage(std::to_string(rc)));
      raiseFileError(rc);
    }
  }
  rc = plat::deleteFile(marker, true);
  if (rc != 0 && plat::fileExists(marker)) {
    WriteLog("ERR : while deleting " + marker + " Error :--> " +
             fncFormatMessage(std::to_string(rc)));
    raiseFileError(rc);
  }
  WriteLog("MSG : Tables of the interrupted run restored.");
}

void markRunInProgress() {
  const std::string& install = run().installationPath;
  std::string content = std::string(kMarkerHeading) + "\r\n";
  bool anyTable = false;
  for (const std::string& table : recoverableTables()) {
    const std::string path = install + table;
    if (!plat::fileExists(path)) continue;  // never created by a run
    std::string current, backup;
    if (plat::readTextFile(path, &current) != 0 ||
        plat::readTextFile(install + backupNameOf(table), &backup) != 0 || current != backup)
      raise(kErrPathFileAccess,
            "The backup of " + fileNameOf(table) + " is not complete");
    content += table + "\r\n";
    anyTable = true;
  }
  // Without any table the phases change nothing, and there is nothing to put
  // back: no marker, so a run whose installation folder is gone still goes
  // through to its result file.
  if (!anyTable) return;
  uint32_t rc = plat::writeTextFile(runMarkerFile(), content);
  if (rc != 0) raiseFileError(rc);
}

void markRunDone() {
  const std::string marker = runMarkerFile();
  uint32_t rc = plat::deleteFile(marker, true);
  if (rc != 0 && plat::fileExists(marker)) raiseFileError(rc);
}

}  // namespace zuvoze::merger

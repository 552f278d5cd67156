// The process table VELKDefaultExe.ini: lookup, adding, deletion and
// renumbering. Every value goes through the INI access of env.h (trimmed, read
// anew on every call); the table is changed only through the profile writes,
// appends of blank lines and whole-file copies.
#include "merger/process.h"

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

namespace {

const char* const kTableName = "VELKDefaultExe.ini";
const char* const kAddBanner = "Adding new processes.";
const char* const kAddEndBanner = "end of Adding new processes.";
const char* const kDeleteBanner = "Deleting processes from VELKDefaultExe.ini";
const char* const kDeleteEndBanner = "End Of Deleting processes from VELKDefaultExe.ini";
const char* const kRenumberEndBanner = "End Of Renumbering VELKDefaultExe.ini";
// What is appended to a table before a new section: a line whose text is
// CR LF, i.e. two empty lines.
const char* const kBlankLines = "\r\n\r\n";

// The number and description of a failure caught on an error path.
struct Failure {
  int32_t number;
  std::string description;
};

Failure describe(const std::exception& e) {
  if (const auto* me = dynamic_cast<const MergeError*>(&e)) return {me->number, me->description};
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return {7, "Out of memory"};
  return {5, e.what()};
}

// The description a failed file operation stands for ("Permission denied", ...).
std::string fileErrorDescription(uint32_t winCode) {
  try {
    raiseFileError(winCode);
  } catch (const MergeError& e) {
    return e.description;
  }
}

std::string num(int value) { return std::to_string(value); }

// The section names in file order (without the empty element after the last NUL).
std::vector<std::string> sectionList(const std::string& file) {
  std::vector<std::string> names = splitNames(fncGetSectionNames(file));
  if (!names.empty() && names.back().empty()) names.pop_back();
  return names;
}

bool hasSection(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (equalsNoCase(n, name)) return true;
  return false;
}

// The request section at position i; a position the file does not have fails
// as the classic array access did.
const std::string& requestSection(const std::vector<std::string>& names, int i) {
  if (i < 0 || static_cast<size_t>(i) >= names.size()) raise(kErrSubscript);
  return names[static_cast<size_t>(i)];
}

bool endsWithExe(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
}

void writeKey(const std::string& section, const char* key, const std::string& value,
              const std::string& file) {
  if (!plat::writePrivateProfileString(section.c_str(), key, value.c_str(), file))
    raiseFileError(plat::lastError());
}

void appendBlankLines(const std::string& file, bool create) {
  uint32_t rc = plat::appendTextFile(file, kBlankLines, create);
  if (rc != plat::kOk) raiseFileError(rc);
}

// Copies the run's backup over the table. A failure here is not this
// procedure's to handle: it reaches the run driver.
void restoreBackup() {
  uint32_t rc = plat::copyFile(processBackupFile(), processTableFile());
  if (rc != plat::kOk) raiseFileError(rc);
}

// The error path shared by the three procedures: the run is failed, the error
// logged with the procedure's name, and the table restored from the backup.
void failAndRestore(const std::exception& e, const char* procedure, const char* copyMessage) {
  Failure f = describe(e);
  recordFailure(f.description);
  WriteLog(std::string("ERR : Error in ") + procedure + "() " + num(f.number) + " " +
           f.description);
  WriteLog(copyMessage);
  restoreBackup();
}

// ---- adding -------------------------------------------------------------

// The name of the next temporary section: the counter plus 1, passing over a
// number that already names a section of the table (a temporary section left
// by an earlier run whose renumbering did not complete), so that a new process
// never lands in another one's section.
Count nextTemporarySection(const std::string& table) {
  Count n = addCount(run().tempSectionCounter, 1);
  const std::vector<std::string> names = sectionList(table);
  while (hasSection(names, num(n))) n = addCount(n, 1);
  return n;
}

// The ten keys of a process section, in their order.
const char* const kProcessKeys[10] = {"ApplicationName", "Description", "ProcessName", "Parameter",
                                      "WorkingDir",      "Days",        "Type",        "MinAge",
                                      "ExpectedTime",    "Display"};

// Writes a new section with the ten keys in one profile call: the same lines
// at the end of the file as ten single writes give, with one rewrite of the
// file instead of ten, and never a section with only some of its keys.
void writeProcessSection(const std::string& section, const std::string (&values)[10],
                         const std::string& file) {
  std::string lines;
  for (int i = 0; i < 10; ++i) {
    lines += kProcessKeys[i];
    lines += '=';
    lines += values[i];
    lines += '\0';
  }
  lines += '\0';
  if (!plat::writePrivateProfileSection(section.c_str(), lines.data(), file))
    raiseFileError(plat::lastError());
}

void writeTemporarySection(const ProcessRequest& r, const std::string& table) {
  RunState& st = run();
  appendBlankLines(table, false);
  const Count n = nextTemporarySection(table);
  const std::string s = num(n);
  WriteLog("MSG : Adding :--> Process" + s + " ApplicationName[ " + r.applicationName + " ]");
  WriteLog("MSG : Adding :--> " + s + " Description[ " + r.description + " ].");
  WriteLog("MSG : Adding :-->" + s + " ProcessName[ " + r.processName + " ].");
  WriteLog("MSG : Adding :-->" + s + " Parameter[ " + r.parameter + " ].");
  WriteLog("MSG : Adding :-->" + s + " WorkingDir[  ].");
  WriteLog("MSG : Adding :-->" + s + " Days[ " + r.days + " ].");
  WriteLog("MSG : Adding :-->" + s + " Type[ " + r.type + " ].");
  WriteLog("MSG : Adding :-->" + s + " MinAge[ " + r.minAge + " ].");
  WriteLog("MSG : Adding :-->" + s + " ExpectedTime[ " + r.expectedTime + " ].");
  WriteLog("MSG : Adding :-->" + s + " Display[ Yes ].");
  const std::string values[10] = {r.applicationName, r.description, r.processName, r.parameter, "",
                                  r.days, r.type, r.minAge, r.expectedTime, "Yes"};
  writeProcessSection(s, values, table);
  st.tempSectionCounter = n;
  st.processAdded = addCount(st.processAdded, 1);
}

void addBody(const std::string& requestFile) {
  const std::string table = processTableFile();
  const std::vector<std::string> tableSections = sectionList(table);
  if (tableSections.empty()) WriteLog("MSG : VELKDefaultExe.ini is blank.");
  WriteLog("MSG : Total process in " + run().installationPath + kTableName + " is " +
           num(static_cast<int>(tableSections.size()) - 1));

  const std::vector<std::string> req = sectionList(requestFile);
  if (req.empty()) {
    WriteLog("MSG : AddSection.ini is blank. Application end.");
    return;
  }
  const Count a = toCount(fncReadINI(req[0], "VELKScheduler", requestFile));
  const Count c = toCount(fncReadINI(req[0], "VELKDefaultExe", requestFile));
  if (c == 0) {
    WriteLog("MSG : Process count in AddSection.ini = 0. ");
    return;
  }
  WriteLog("MSG : Total [" + num(c) + "] process found in AddSection.ini");

  const Count first = addCount(a, 1);
  const Count last = addCount(a, c);
  for (int i = first; i <= last; ++i) {
    const ProcessRequest r = readProcessRequest(requestFile, requestSection(req, i), true);
    WriteLog("MSG : Checking " + r.applicationName + " process exists or not");
    if (!isValidProcessRequest(r)) {
      if (r.applicationName.empty()) WriteLog("MSG : strFilename is blank. jump to next section");
      if (r.processName.empty()) WriteLog("MSG : ProcessName is blank. jump to next section");
      if (!endsWithExe(r.processName))
        WriteLog("MSG : " + r.processName + " is not valid executable name. jump to next section");
      if (r.days.empty()) WriteLog("MSG : Days is blank. jump to next section");
      if (r.type.empty()) WriteLog("MSG : Type is blank. jump to next section");
      if (r.expectedTime.empty()) WriteLog("MSG : ExpectedTime is blank. jump to next section");
      continue;
    }
    const std::string answer =
        chkDefaultExeSection(r.applicationName, r.processName, r.parameter, r.days);
    if (upper(splitAt(answer, ',')[0]) != "FALSE") {
      WriteLog("MSG : " + r.applicationName + " process exists.");
      continue;
    }
    WriteLog("MSG : " + r.applicationName + " process does not exists.");
    writeTemporarySection(r, table);
  }
}

// ---- deletion -----------------------------------------------------------

// Returns the title of the closing banner.
const char* deleteBody(const std::string& requestFile) {
  if (!plat::fileExists(requestFile)) {
    WriteLog("MSG : DeleteSection.ini file not found");
    return kDeleteBanner;
  }
  const std::string table = processTableFile();
  const std::vector<std::string> tableSections = sectionList(table);
  // The classic upper bound of the split listing, less one: n sections give
  // n - 1, an empty listing -2.
  const int shown = tableSections.empty() ? -2 : static_cast<int>(tableSections.size()) - 1;
  WriteLog("MSG : Total sections in " + run().installationPath + kTableName + " is " + num(shown));

  const std::vector<std::string> req = sectionList(requestFile);
  const std::string& countSection = requestSection(req, 0);
  const Count a = toCount(fncReadINI(countSection, "VELKScheduler", requestFile));
  const Count c = toCount(fncReadINI(countSection, "VELKDefaultExe", requestFile));
  if (c == 0) {
    WriteLog("MSG : Count of Delete Section = 0.");
    return kDeleteEndBanner;
  }
  WriteLog("MSG : Total Process[" + num(c) + "] found in DeleteSection.ini");

  // Every section after the scheduler requests, whatever the count says.
  const int q = static_cast<int>(req.size());
  for (int i = addCount(a, 1); i <= q - 1; ++i) {
    const ProcessRequest r = readProcessRequest(requestFile, requestSection(req, i), false);
    if (r.processName.empty()) continue;
    WriteLog("MSG : Checking Process " + r.processName + " exists or not.");
    if (!isValidProcessRequest(r)) {
      if (r.applicationName.empty())
        WriteLog("MSG : ApplicationName is blank. jump to next section");
      if (!endsWithExe(r.processName))
        WriteLog("MSG : " + r.processName + " is not valid executable name. jump to next section");
      if (r.days.empty()) WriteLog("MSG : Days is blank. jump to next section");
      if (r.type.empty()) WriteLog("MSG : Type is blank. jump to next section");
      if (r.expectedTime.empty()) WriteLog("MSG : ExpectedTime is blank. jump to next section");
      continue;
    }
    const std::string answer =
        chkDefaultExeSection(r.applicationName, r.processName, r.parameter, r.days);
    const size_t comma = answer.find(',');
    if (comma == std::string::npos || answer.compare(0, comma, "TRUE") != 0) {
      WriteLog("MSG : " + r.processName + " does not exist.");
      continue;
    }
    // Everything after the first comma is the section name (a name may hold a
    // comma itself).
    const std::string section = answer.substr(comma + 1);
    WriteLog("MSG : " + r.processName + " exists.");
    WriteLog("MSG : Deleting Process [" + section + "]");
    if (!plat::writePrivateProfileString(section.c_str(), nullptr, nullptr, table))
      raiseFileError(plat::lastError());
    run().processDeleted = addCount(run().processDeleted, 1);
  }
  return kDeleteEndBanner;
}

// ---- renumbering --------------------------------------------------------

// The copy of steps "rename": logged; a failure also fails the run, since the
// table then keeps its gaps and temporary sections.
bool swapCopy(const std::string& from, const std::string& to, const char* errorText) {
  uint32_t rc = plat::copyFile(from, to);
  if (rc == plat::kOk) return true;
  WriteLog(std::string(errorText) + fncFormatMessage(num(static_cast<int>(rc))));
  recordFailure(fileErrorDescription(rc));
  return false;
}

void renumberBody() {
  const std::string& p = run().installationPath;
  const std::string table = processTableFile();
  const std::string newFile = processNewFile();
  const std::string oldFile = processOldFile();

  WriteLog("MSG : Checking whether New_VELKDefaultExe.ini exists or not.");
  if (plat::fileExists(newFile)) {
    uint32_t rc = plat::deleteFile(newFile, true);
    if (rc != plat::kOk) raiseFileError(rc);
    WriteLog("MSG : Successfully deleted " + p + "New_VELKDefaultExe.ini");
  }
  if (plat::fileExists(oldFile)) {
    uint32_t rc = plat::deleteFile(oldFile, true);
    if (rc != plat::kOk) raiseFileError(rc);
    WriteLog("MSG : Successfully deleted " + p + "Old_VELKDefaultExe.ini");
  }

  const std::vector<std::string> sections = sectionList(table);
  writeKey("Settings", "ProcessCount", "", newFile);
  appendBlankLines(newFile, true);

  const std::string count = fncReadINI("Settings", "ProcessCount", table);
  if (!count.empty()) (void)toCount(count);

  int k = 1;
  for (const std::string& s : sections) {
    const std::string app = fncReadINI(s, "ApplicationName", table);
    if (app.empty()) continue;
    const std::string n = num(k);
    std::string v[10];
    v[0] = app;
    WriteLog("MSG : ReNumbering :-->" + n + " Application[ " + v[0] + " ].");
    v[1] = fncReadINI(s, "Description", table);
    WriteLog("MSG : ReNumbering :-->" + n + " Description [ " + v[1] + " ].");
    v[2] = fncReadINI(s, "ProcessName", table);
    WriteLog("MSG : ReNumbering :-->" + n + " ProcessName[ " + v[2] + " ].");
    v[3] = fncReadINI(s, "Parameter", table);
    WriteLog("MSG : ReNumbering :-->" + n + " Parameter[ " + v[3] + " ].");
    WriteLog("MSG : ReNumbering :-->" + n + " WorkingDir[ ].");
    v[5] = fncReadINI(s, "Days", table);
    WriteLog("MSG : ReNumbering :-->" + n + " Days[ " + v[5] + " ].");
    v[6] = fncReadINI(s, "Type", table);
    WriteLog("MSG : ReNumbering :-->" + n + " Type[ " + v[6] + " ].");
    v[7] = fncReadINI(s, "MinAge", table);
    WriteLog("MSG : ReNumbering :-->" + n + " MinAge[ " + v[7] + " ].");
    v[8] = fncReadINI(s, "ExpectedTime", table);
    WriteLog("MSG : ReNumbering :-->" + n + " ExpectedTime [ " + v[8] + " ].");
    v[9] = "Yes";
    WriteLog("MSG : ReNumbering :-->" + n + " Display [ Yes ].");
    writeProcessSection("Process" + n, v, newFile);
    appendBlankLines(newFile, true);
    ++k;
  }
  writeKey("Settings", "ProcessCount", num(k - 1), newFile);

  WriteLog("MSG : Renaming " + p + "VELKDefaultExe.ini" + "to" + p + "Old_VELKDefaultExe.ini");
  if (!swapCopy(table, oldFile,
                " ERR : while renaming VELKDefaultExe.ini to Old_VELKDefaultExe.ini Error :--> "))
    return;
  WriteLog("MSG : Successfully renamed " + p + "VELKDefaultExe.ini to" + p +
           "Old_VELKDefaultExe.ini");
  WriteLog("MSG : Renaming " + p + "New_VELKDefaultExe.ini" + "to" + p + "VELKDefaultExe.ini");
  if (!swapCopy(newFile, table,
                " ERR : while renaming New_VELKDefaultExe.ini to VELKDefaultExe.ini Error :--> "))
    return;
  WriteLog("MSG : Successfully renamed " + p + "New_VELKDefaultExe.ini to" + p +
           "VELKDefaultExe.ini");

  uint32_t rc = plat::deleteFile(oldFile, false);
  if (rc == plat::kOk)
    WriteLog("MSG : Successfully deleted " + p + "Old_VELKDefaultExe.ini");
  else
    WriteLog(" ERR : while deleting " + p + "Old_VELKDefaultExe.ini  Error :--> " +
             fncFormatMessage(num(static_cast<int>(rc))));
  rc = plat::deleteFile(newFile, false);
  if (rc == plat::kOk)
    WriteLog("MSG : Successfully deleted " + p + "New_VELKDefaultExe.ini ");
  else
    WriteLog(" ERR : while deleting " + p + "New_VELKDefaultExe.ini  Error :--> " +
             fncFormatMessage(num(static_cast<int>(rc))));
}

}  // namespace

std::string processTableFile() { return run().installationPath + kTableName; }
std::string processBackupFile() { return run().installationPath + "Bkp_VELKDefaultExe.ini"; }
std::string processNewFile() { return run().installationPath + "New_VELKDefaultExe.ini"; }
std::string processOldFile() { return run().installationPath + "Old_VELKDefaultExe.ini"; }

std::string chkDefaultExeSection(const std::string& applicationName,
                                 const std::string& processName, const std::string& parameter,
                                 const std::string& days) {
  std::string answer = "FALSE,-1";
  std::string current;
  try {
    const std::string table = processTableFile();
    const std::vector<std::string> names = sectionList(table);
    for (size_t i = 1; i < names.size(); ++i) {
      current = names[i];
      // The identity values are read one after the other and the first that
      // differs settles it: the rest would not change the answer.
      if (equalsNoCase(fncReadINI(current, "ApplicationName", table), applicationName) &&
          equalsNoCase(fncReadINI(current, "ProcessName", table), processName) &&
          equalsNoCase(fncReadINI(current, "Parameter", table), parameter) &&
          equalsNoCase(fncReadINI(current, "Days", table), days))
        return "TRUE," + current;
      if (i == names.size() - 1) answer = "FALSE," + current;
    }
  } catch (const std::exception& e) {
    Failure f = describe(e);
    WriteLog("Err : Err Number :--> " + num(f.number) + " Err Description :--> " + f.description);
    return "True," + current;
  }
  return answer;
}

void addDefaultExeSectionFrom(const std::string& requestFile) {
  writeBanner(kAddBanner);
  writeSeparator();
  try {
    addBody(requestFile);
  } catch (const std::exception& e) {
    failAndRestore(e, "addDefaultExeSection",
                   "MSG : copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini");
  }
  writeSeparator();
  writeBanner(kAddEndBanner);
}

void deleteDefaultExeSectionFrom(const std::string& requestFile) {
  writeBanner(kDeleteBanner);
  writeSeparator();
  const char* closing = kDeleteEndBanner;
  try {
    closing = deleteBody(requestFile);
  } catch (const std::exception& e) {
    failAndRestore(e, "DeleteDefaultExeSection",
                   "MSG : Copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini");
  }
  writeSeparator();
  writeBanner(closing);
}

void addDefaultExeSection() { addDefaultExeSectionFrom(addSectionFile()); }
void DeleteDefaultExeSection() { deleteDefaultExeSectionFrom(deleteSectionFile()); }

void ReGenDefaultExeFile() {
  try {
    renumberBody();
  } catch (const std::exception& e) {
    failAndRestore(e, "ReGenDefaultExeFile",
                   "MSG : Copying Bkp_VELKDefaultExe.ini to VELKDefaultExe.ini");
    writeSeparator();
    writeBanner(kRenumberEndBanner);
  }
}

}  // namespace zuvoze::merger

// The fire list of VELKMobile.ini: lookup, adding, deletion and regeneration.
//
// Values of the fire list are read and compared whole, whatever their length.
// A slot whose three keys were removed (by the deleter earlier in the run) is
// no entry, and a request whose three keys are all missing from the request
// file is no request: neither can then add, find or count a phantom
// "Default" entry. After a failure path has copied the backup back, the file
// holds no change of this run, so both fire-list counts go back to 0; the
// regeneration's entry bound then describes the file again. Every line of
// every section is carried over, however long the section.
#include "merger/firelist.h"

#include <cstdint>
#include <string>
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

const char kSection[] = "DCConnURL";
const char kDefault[] = "Default";
// The default of a raw read that tells a missing key from any stored value.
const char kAbsent[] = "\x01<absent>\x01";

std::string mobileFile(const std::string& prefix = "") {
  return run().installationPath + prefix + "VELKMobile.ini";
}

std::string number(int n) { return std::to_string(n); }

// GetPrivateProfileStringA of one value, the buffer grown until the whole
// value fits (a value is cut when the count returned reaches size - 2).
std::string readValue(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& file) {
  uint32_t size = 1024;
  for (;;) {
    std::vector<char> buf(size, '\0');
    uint32_t n = plat::getPrivateProfileString(section.c_str(), key.c_str(), defaultValue.c_str(),
                                               buf.data(), size, file);
    if (n > size) n = size;
    if (n + 2 < size || size >= (1u << 26)) return fncTrimNull(std::string(buf.data(), n));
    size *= 4;
  }
}

// A fire-list value: the text up to its first NUL, "Default" when the key is
// missing; *missing tells which.
std::string readEntryValue(const std::string& key, const std::string& file, bool* missing) {
  std::string v = readValue(kSection, key, kAbsent, file);
  *missing = v == kAbsent;
  return *missing ? std::string(kDefault) : v;
}

// GetPrivateProfileSectionA: the section's lines in file order, every line of
// it (the buffer is grown while the platform reports it full).
std::vector<std::string> readSectionLines(const std::string& section, const std::string& file) {
  uint32_t size = 2000;
  std::vector<char> buf;
  uint32_t n = 0;
  for (;;) {
    buf.assign(size, '\0');
    n = plat::getPrivateProfileSection(section.c_str(), buf.data(), size, file);
    if (n > size) n = size;
    if (n + 2 < size || size >= (1u << 28)) break;
    size *= 4;
  }
  std::vector<std::string> lines;
  std::string current;
  for (uint32_t i = 0; i < n; ++i) {
    if (buf[i] == '\0') {
      lines.push_back(current);
      current.clear();
    } else {
      current += buf[i];
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

void writeValue(const std::string& section, const std::string& key, const char* value,
                const std::string& file) {
  if (!plat::writePrivateProfileString(section.c_str(), key.c_str(), value, file))
    raiseFileError(plat::lastError());
}

std::string keyNames(int n) {
  std::string e = "Exe" + number(n);
  return e + "," + e + "TO," + e + "PM";
}

// The runtime error that stands for a failed file operation, as a value.
MergeError fileError(uint32_t winCode) {
  try {
    raiseFileError(winCode);
  } catch (const MergeError& e) {
    return e;
  }
  return MergeError(kErrPathFileAccess, "Path/File access error");
}

std::string messageOf(uint32_t winCode) { return fncFormatMessage(std::to_string(winCode)); }

// The common part of the failure paths: the run is failed, the error logged
// under the procedure's name, and the backup copied back over the fire list.
void failAndRestore(const std::string& procedure, int32_t errNumber, const std::string& desc,
                    const std::string& copyingEntry) {
  recordFailure(desc);
  WriteLog("ERR : Error in " + procedure + "() " + std::to_string(errNumber) + " " + desc);
  WriteLog(copyingEntry);
  uint32_t rc = plat::copyFile(mobileFile("Bkp_"), mobileFile());
  if (rc == 0) {
    // The file is the one the run started with: no change of this run is left.
    run().fireAdded = 0;
    run().fireDeleted = 0;
  } else {
    WriteLog(" ERR : while copying Bkp_VELKMobile.ini to VELKMobile.ini Error :--> " +
             messageOf(rc));
  }
}

// The section listing split as the callers split it: n sections, without the
// empty element after the last NUL.
std::vector<std::string> sectionNames(const std::string& file) {
  std::vector<std::string> names = splitNames(fncGetSectionNames(file));
  if (!names.empty() && names.back().empty()) names.pop_back();
  return names;
}

// The two counts of the request file's count section: not used here, but a
// value that is not a 16-bit whole number is a failure.
void checkRequestCounts(const std::string& requestFile, const std::string& countSection) {
  toCount(trim(fncReadINI(countSection, "VELKScheduler", requestFile)));
  toCount(trim(fncReadINI(countSection, "VELKDefaultExe", requestFile)));
}

std::string padTo100(const std::string& text) {
  return text.size() >= 100 ? text : text + std::string(100 - text.size(), ' ');
}

// Request i of a request file's DCConnURL: Exe<i>, Exe<i>TO and Exe<i>PM, each
// whole and cut at its first NUL, "Default" when missing.
// A request of the request file's DCConnURL that names none of its three keys
// asks for nothing.
bool isNoRequest(const FireRequest& r, int i, const std::string& fileName) {
  if (!r.allMissing) return false;
  std::string e = "Exe" + number(i);
  WriteLog("MSG : " + e + ", " + e + "TO and " + e + "PM are missing in " + fileName +
           ". No request.");
  return true;
}

}  // namespace

const std::vector<std::string>& mobileConnectionKeys() {
  static const std::vector<std::string> keys = {
      "ControllerPSite", "ControllerPSiteUser", "ControllerPSitePwd",
      "ControllerSSite", "ControllerSSiteUser", "ControllerSSitePwd",
      "JobPSite",        "JobPSiteUser",        "JobPSitePwd",
      "JobSSite",        "JobSSiteUser",        "JobSSitePwd",
      "DataPSite",       "DataPSiteUser",       "DataPSitePwd",
      "DataSSite",       "DataSSiteUser",       "DataSSitePwd"};
  return keys;
}

std::string chkMobile(const std::string& exe, const std::string& to, const std::string& pm) {
  std::string answer = "FALSE,-1";
  try {
    const std::string file = mobileFile();
    Count n = toCount(fncTrimNull(readValue(kSection, "Exe2Fire", "", file)));
    for (int i = 1; i <= n; ++i) {
      // The TO and PM values are read only for an entry whose executable
      // value matches: the reads change nothing, and a long fire list is
      // searched once for every request.
      const std::string e = "Exe" + number(i);
      bool m1 = false, m2 = false, m3 = false;
      bool match = equalsNoCase(readEntryValue(e, file, &m1), exe) &&
                   equalsNoCase(readEntryValue(e + "TO", file, &m2), to) &&
                   equalsNoCase(readEntryValue(e + "PM", file, &m3), pm);
      bool emptied = m1 && m2 && m3;
      if (match && !emptied) {
        answer = "TRUE," + keyNames(i);
        break;
      }
      if (i == n) {
        Count next = addCount(toCount(run().nextNumberCounter), 1);
        answer = "FALSE," + keyNames(next);
        run().nextNumberCounter = number(next);
        break;
      }
    }
  } catch (const MergeError& e) {
    WriteLog("ERR : Error in chkMobile() " + std::to_string(e.number) + " " + e.description);
  }
  return answer;
}

void addMobile() {
  writeBanner("Adding Exe2Fire.");
  writeSeparator();
  try {
    const std::string file = mobileFile();
    std::vector<std::string> names = sectionNames(file);
    if (names.empty()) {
      WriteLog("MSG : VELKMobile.ini is blank.");
      return;
    }
    WriteLog("MSG : Total Sections in " + run().installationPath + "VELKMobile.ini is " +
             number(static_cast<int>(names.size())));

    const std::string requestFile = addSectionFile();
    std::vector<std::string> requestNames = sectionNames(requestFile);
    if (requestNames.empty()) {
      WriteLog("MSG : AddSection.ini is blank. Application end.");
      writeSeparator();
      writeBanner("End Of Adding Exe2Fire.");
      return;
    }
    checkRequestCounts(requestFile, requestNames[0]);

    int count = readFireRequestCount(requestFile);
    if (count == 0) {
      WriteLog("MSG : Exe2Fire count in AddSection.ini is blank.");
      writeSeparator();
      writeBanner("End Of Adding Exe2Fire.");
      return;
    }
    for (int i = 1; i <= count; ++i) {
      FireRequest r = readFireRequest(requestFile, i);
      if (isNoRequest(r, i, "AddSection.ini")) continue;
      WriteLog("MSG :Checking " + r.exe + " exists.");
      std::vector<std::string> parts = splitAt(chkMobile(r.exe, r.to, r.pm), ',');
      if (!parts.empty() && parts[0] == "FALSE") {
        WriteLog("MSG :Adding " + r.exe + " into VELKMobile.ini");
        // "FALSE,-1" hands out no number: there is nothing to write under.
        if (parts.size() < 4) raise(kErrSubscript);
        writeValue(kSection, parts[1], r.exe.c_str(), file);
        writeValue(kSection, parts[2], r.to.c_str(), file);
        writeValue(kSection, parts[3], r.pm.c_str(), file);
        run().fireAdded = addCount(run().fireAdded, 1);
      } else {
        WriteLog("MSG : " + r.exe + " exists.");
      }
    }
    writeSeparator();
    writeBanner("End Of Add Exe2Fire");
  } catch (const MergeError& e) {
    failAndRestore("addMobile", e.number, e.description,
                   "MSG : copying Bkp_VELKMobile.ini to VELKMobile.ini");
    writeSeparator();
    writeBanner("end of Adding Exe2Fire.");
  }
}

void deleteMobile() {
  writeBanner("Deleting Exe2Fire.");
  writeSeparator();
  try {
    const std::string file = mobileFile();
    std::vector<std::string> names = sectionNames(file);
    if (names.empty()) {
      WriteLog("MSG : VELKMobile.ini is blank.");
      return;
    }
    WriteLog("MSG : Total Sections in " + run().installationPath + "VELKMobile.ini is " +
             number(static_cast<int>(names.size())));

    const std::string requestFile = deleteSectionFile();
    std::vector<std::string> requestNames = sectionNames(requestFile);
    if (requestNames.empty()) {
      WriteLog("MSG : DeleteSection.ini is blank. Application end.");
      writeSeparator();
      writeBanner("End Of deleting Exe2Fire.");
      return;
    }
    checkRequestCounts(requestFile, requestNames[0]);

    int count = readFireRequestCount(requestFile);
    WriteLog("MSG : Exe2Fire=" + number(count) + " in VELKMobile.ini");
    if (count == 0) {
      WriteLog("MSG : Exe2Fire count in DeleteSection.ini is blank.");
      writeSeparator();
      writeBanner("End Of deleting Exe2Fire.");
      return;
    }
    for (int i = 1; i <= count; ++i) {
      FireRequest r = readFireRequest(requestFile, i);
      if (isNoRequest(r, i, "DeleteSection.ini")) continue;
      WriteLog("MSG :Checking " + r.exe + " exists or not.");
      std::vector<std::string> parts = splitAt(chkMobile(r.exe, r.to, r.pm), ',');
      if (!parts.empty() && parts[0] == "TRUE" && parts.size() >= 4) {
        WriteLog("MSG : " + r.exe + " exists.");
        WriteLog("MSG :Deleting " + padTo100(r.exe));
        writeValue(kSection, parts[1], nullptr, file);
        writeValue(kSection, parts[2], nullptr, file);
        writeValue(kSection, parts[3], nullptr, file);
        run().fireDeleted = addCount(run().fireDeleted, 1);
      } else {
        WriteLog("MSG : " + r.exe + " does not exist.");
      }
    }
    writeSeparator();
    writeBanner("End Of Deleting Exe2Fire");
  } catch (const MergeError& e) {
    failAndRestore("deleteMobile", e.number, e.description,
                   "MSG : Copying Bkp_VELKMobile.ini to VELKMobile.ini");
    writeSeparator();
    writeBanner("end of Deleting Exe2Fire.");
  }
}

namespace {

// Deletes a leftover side file of an earlier regeneration; failing is a
// failure of the regeneration.
void clearLeftover(const std::string& name) {
  WriteLog("MSG : Checking whether " + name + " exists or not.");
  const std::string path = run().installationPath + name;
  if (plat::fileExists(path)) {
    uint32_t rc = plat::deleteFile(path, true);
    if (rc != 0) raiseFileError(rc);
    WriteLog("MSG : Successfully deleted " + run().installationPath + name);
  }
}

// Writes one section of the source unchanged into the new file.
void copySection(const std::string& name, const std::vector<std::string>& lines,
                 const std::string& newFile) {
  if (lines.empty()) {
    // A section without lines keeps its header.
    uint32_t rc = plat::appendTextFile(newFile, "[" + name + "]\r\n", true);
    if (rc != 0) raiseFileError(rc);
    return;
  }
  std::string block;
  for (const std::string& line : lines) {
    block += line;
    block += '\0';
  }
  block += '\0';
  if (!plat::writePrivateProfileSection(name.c_str(), block.data(), newFile))
    raiseFileError(plat::lastError());
}

std::string keyOf(const std::string& line) { return trim(line.substr(0, line.find('='))); }

// Rebuilds DCConnURL into the new file: connection keys in their order, the
// count, and the entries renumbered by their position after the count line.
void rebuildConnSection(const std::string& sourceName, const std::vector<std::string>& lines,
                        const std::string& source, const std::string& newFile) {
  for (const std::string& key : mobileConnectionKeys()) {
    std::string v = fncReadINI(sourceName, key, source);
    writeValue(kSection, key, v.c_str(), newFile);
  }
  Count oldCount = toCount(fncReadINI(sourceName, "Exe2Fire", source));
  writeValue(kSection, "Exe2Fire", "", newFile);

  size_t first = 0;
  for (size_t j = 0; j < lines.size(); ++j) {
    // The count line is found as the INI access finds the count: without
    // regard to letter case. (Walking from the first line instead would take
    // the connection keys for an entry.)
    if (equalsNoCase(keyOf(lines[j]), "Exe2Fire")) {
      first = j + 1;
      break;
    }
  }
  int32_t bound32 = static_cast<int32_t>(addCount(oldCount, run().fireAdded)) -
                    static_cast<int32_t>(run().fireDeleted);
  if (bound32 < INT16_MIN || bound32 > INT16_MAX) raise(kErrOverflow);
  const int bound = bound32;

  int m = 1;
  size_t j = first;
  while (j < lines.size()) {
    if (m <= bound) {
      if (j + 2 >= lines.size()) raise(kErrSubscript);  // the entry's lines run out
      static const char* const kSuffix[3] = {"", "TO", "PM"};
      for (int k = 0; k < 3; ++k) {
        std::string v = fncReadINI(sourceName, keyOf(lines[j + k]), source);
        writeValue(kSection, "Exe" + number(m) + kSuffix[k], v.c_str(), newFile);
      }
      ++m;
      j += 3;
    } else {
      ++j;
    }
  }
  writeValue(kSection, "Exe2Fire", number(m - 1).c_str(), newFile);
}

// One copy of the swap; a failure is logged and fails the run.
bool swapCopy(const std::string& from, const std::string& to, const std::string& errorEntry) {
  uint32_t rc = plat::copyFile(from, to);
  if (rc == 0) return true;
  WriteLog(errorEntry + messageOf(rc));
  recordFailure(fileError(rc).description);
  return false;
}

void deleteSideFile(const std::string& name) {
  const std::string& ip = run().installationPath;
  uint32_t rc = plat::deleteFile(ip + name, true);
  if (rc == 0)
    WriteLog("MSG : Successfully deleted " + ip + name + " ");
  else
    WriteLog(" ERR : while deleting " + ip + name + "  Error :--> " + messageOf(rc));
}

}  // namespace

void ReGenMobileFile() {
  writeBanner("Regenerating VELKMobile.ini");
  writeSeparator();
  const std::string& ip = run().installationPath;
  const std::string source = mobileFile();
  const std::string newFile = mobileFile("New_");
  const std::string oldFile = mobileFile("Old_");
  try {
    clearLeftover("New_VELKMobile.ini");
    clearLeftover("Old_VELKMobile.ini");

    for (const std::string& name : sectionNames(source)) {
      std::vector<std::string> lines = readSectionLines(name, source);
      if (!equalsNoCase(name, kSection))
        copySection(name, lines, newFile);
      else
        rebuildConnSection(name, lines, source, newFile);
      uint32_t rc = plat::appendTextFile(newFile, "\r\n\r\n", true);
      if (rc != 0) raiseFileError(rc);
    }
  } catch (const MergeError& e) {
    failAndRestore("ReGenMobileFile", e.number, e.description,
                   "MSG : Copying Bkp_VELKMobile.ini to VELKMobile.ini");
    writeSeparator();
    writeBanner("End Of Renumbering VELKMobile.ini");
    return;
  }

  WriteLog("MSG : Renaming " + ip + "VELKMobile.ini" + "to" + ip + "Old_VELKMobile.ini");
  if (swapCopy(source, oldFile,
               " ERR : while renaming VELKMobile.ini to Old_VELKMobile.ini Error :--> ")) {
    WriteLog("MSG : Successfully renamed " + ip + "VELKMobile.ini to" + ip + "Old_VELKMobile.ini");
    WriteLog("MSG : Renaming " + ip + "New_VELKMobile.ini" + "to" + ip + "VELKMobile.ini");
    if (swapCopy(newFile, source,
                 " ERR : while renaming New_VELKMobile.ini to VELKMobile.ini Error :--> ")) {
      WriteLog("MSG : Successfully renamed " + ip + "New_VELKMobile.ini to" + ip +
               "VELKMobile.ini");
      deleteSideFile("Old_VELKMobile.ini");
      deleteSideFile("New_VELKMobile.ini");
    }
  }
  writeSeparator();
  writeBanner("End Of Regenerating VELKMobile.ini");
}

}  // namespace zuvoze::merger

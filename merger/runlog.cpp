// The run log Add_Delete_IniLog.txt: created in the program folder at the
// start, archived into ApplicationLog under a time-stamped name at the end.
#include "merger/runlog.h"

#include "merger/env.h"
#include "merger/errors.h"
#include "merger/runstate.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"

namespace zuvoze::merger {

namespace {
const char* const kLogName = "Add_Delete_IniLog.txt";
std::string g_logPath;  // where openRunLog created the log
}  // namespace

uint32_t openRunLog() {
  g_logPath = programFile(kLogName);
  return run().log.open(g_logPath, plat::TextStream::Mode::CreateOverwrite);
}

void WriteLog(const std::string& message) {
  try {
    plat::TextStream& log = run().log;
    if (!log.isOpen()) return;
    log.writeLine(plat::fmtDefaultDateTime(plat::localNow()) + "\t" + message);
  } catch (...) {
    // A log entry that cannot be written is lost.
  }
}

void writePlain(const std::string& text) {
  try {
    plat::TextStream& log = run().log;
    if (log.isOpen()) log.writeLine(text);
  } catch (...) {
  }
}

void writeSeparator() { writePlain("\r\n"); }

void writeBanner(const std::string& title) {
  const std::string stars(40, '*');
  writePlain(stars + title + stars);
}

void MoveLogFile() {
  try {
    WriteLog("MSG : Checking ZUVOZE\\Applicationlog folder exist or not");
    WriteLog("MSG : Moving Add_Delete_IniLog.txt to ZUVOZE\\Applicationlog");
    WriteLog("MSG : Application End.");
    const std::string folder = run().installationPath + "ApplicationLog";
    if (!plat::folderExists(folder)) {
      WriteLog("MSG : ZUVOZE\\ApplicationLog Folder does not exist");
      run().log.close();
      if (!plat::folderExists(folder)) plat::createFolder(folder);
    } else {
      run().log.close();
    }
    const std::string logPath = g_logPath.empty() ? programFile(kLogName) : g_logPath;
    const std::string archive =
        folder + "\\Add_Delete_IniLog_" + plat::fmtYMDHMS(plat::localNow()) + ".txt";
    // A move that fails leaves the log in the program folder.
    plat::moveFile(logPath, archive);
  } catch (...) {
  }
  throw ProgramEnd{0};
}

}  // namespace zuvoze::merger

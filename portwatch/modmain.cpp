// modMain: lists the sockets through a batch file that runs netstat into
// AllPorts.txt, waits for it, and writes the ports of 2002 to 2007 that the
// list does not name to LMIportwatch.txt.
#include "portwatch/modmain.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "portwatch/logfunc.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/process.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::portwatch {

namespace {

const char* const kLister = "zuvoze-netstat";
const unsigned kNetstatWaitMs = 20000;
Starter g_starter;

// The token read as a number, leading and trailing blanks ignored: an optional
// sign, digits and an optional fraction, rounded to the nearest whole number
// (halves to the even one). False when the text is no number.
bool readNumber(const std::string& text, double* value) {
  std::string::size_type b = text.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  std::string::size_type e = text.find_last_not_of(' ');
  std::string s = text.substr(b, e - b + 1);
  std::string::size_type i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::string::size_type digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0 || i != s.size()) return false;
  *value = std::nearbyint(std::strtod(s.c_str(), nullptr));
  return true;
}

std::vector<std::string> splitAtColons(const std::string& line) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type at = line.find(':', start);
    parts.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// True when a program of this name lies in one of the folders of PATH. Only
// asked where the socket lister is installed, that is on posix, whose search
// path separates its folders by colons.
bool onSearchPath(const std::string& name) {
  const std::string path = plat::getEnv("PATH");
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && plat::fileExists(dir + "/" + name)) return true;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return false;
}

}  // namespace

void setStarter(Starter starter) { g_starter = std::move(starter); }

PortFinding fncFindPort(int port, const std::vector<std::string>& lines) {
  const std::string digits = std::to_string(port);
  bool seen = false;
  for (const std::string& line : lines) {
    std::vector<std::string> parts = splitAtColons(line);
    if (parts.size() < 3) continue;
    const std::string& f = parts[1];
    if (f.find(digits) == std::string::npos) continue;
    std::string::size_type blank = f.find(' ');
    std::string t = blank == std::string::npos ? std::string() : f.substr(0, blank + 1);
    seen = true;
    double value = 0;
    // A token that is no number fails the comparison, and that failure counts
    // as a match, as an equal number does.
    if (!readNumber(t, &value) || value == port) return PortFinding::Matched;
  }
  return seen ? PortFinding::Seen : PortFinding::NotSeen;
}

std::string fncListerCommand() {
  const std::string lister = plat::programFolder() + "\\" + kLister;
  if (!plat::fileExists(lister) || onSearchPath("netstat")) return "netstat";
  return "\"" + plat::hostPath(lister) + "\"";
}

std::string fncBatchLine(const std::string& installationPath) {
  return fncListerCommand() + " -a >\"" + installationPath + "AllPorts.txt\"";
}

void Main() {
  // Installation folder, log folder and log file; any failure ends the run.
  std::string install = ReadReg("InstallationPath");
  if (install.empty() || install.back() != '\\') install += '\\';
  const std::string logFolder = install + "ApplicationLog\\portwatch_Log";
  if (!plat::folderExists(logFolder) && plat::createFolder(logFolder) != 0) return;
  const std::string shortFolder = GetShortPath(logFolder);
  if (shortFolder.empty()) return;
  const std::string logFile =
      shortFolder + "\\portwatch_Log" + plat::fmtYMDHM(plat::localNow()) + ".txt";
  if (OpenLog(logFile) != 0) return;

  // Header.
  WriteRule();
  WriteLog("Application started...");
  WriteRule();

  // The output file, open for the whole run. From here a failing step is
  // logged and skipped.
  plat::TextStream output;
  const std::string outputPath = install + "LMIportwatch.txt";
  if (uint32_t rc = output.open(outputPath, plat::TextStream::Mode::CreateOverwrite)) {
    WriteErrLog("Cannot create " + outputPath + " - " + ErrorText(rc));
  } else {
    WriteLog("Output file created ");
  }

  // The batch file that lists the sockets into AllPorts.txt, started hidden.
  const std::string batchPath = install + "LMIportwatch.bat";
  const std::string listPath = install + "AllPorts.txt";
  const std::string startCommand = "\"" + batchPath + "\"";
  if (uint32_t rc = plat::writeTextFile(batchPath, fncBatchLine(install) + "\r\n")) {
    WriteErrLog("Cannot write " + batchPath + " - " + ErrorText(rc));
  } else if (uint32_t src = g_starter ? g_starter(startCommand) : plat::startHidden(startCommand)) {
    WriteErrLog("Cannot start " + batchPath + " - " + ErrorText(src));
  }

  // Nothing tells when the command has finished: a fixed wait.
  plat::sleepMs(kNetstatWaitMs);

  // The ports.
  for (int port = kFirstPort; port <= kLastPort; ++port) {
    WriteLog("Checking Port  :" + std::to_string(port));
    PortFinding finding = PortFinding::NotSeen;
    if (plat::fileExists(listPath)) {
      std::vector<std::string> lines;
      if (uint32_t rc = plat::readLines(listPath, &lines)) {
        // A list that is there but cannot be read may well name the port:
        // it is not handed out.
        WriteErrLog("Cannot read " + listPath + " - " + ErrorText(rc) + " Port " +
                    std::to_string(port) + " is taken as in use.");
        continue;
      }
      finding = fncFindPort(port, lines);
    }
    if (finding == PortFinding::Matched) {
      WriteLog("Port Not listening : " + std::to_string(port));
    } else if (finding == PortFinding::NotSeen) {
      WriteLog("Port listening : " + std::to_string(port));
      if (output.isOpen()) {
        if (uint32_t rc = output.writeLine(std::to_string(port))) {
          WriteErrLog("Cannot write " + outputPath + " - " + ErrorText(rc));
        }
      }
    }
  }

  // Footer.
  WriteRule();
  WriteLog("Application Stopped");
  WriteRule();
  CloseLog();
  output.close();
}

}  // namespace zuvoze::portwatch

// rcdeploy: reads the agent key and the proxy settings, chooses the deployment
// identifier by edition, writes the installer command as the only line of
// lmi.bat in the deployment folder and starts it hidden, without waiting.
#include "deployer/mod_main.h"

#include <utility>

#include "deployer/global.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/process.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::deployer {

namespace {

const char kQ = '"';

// A failure after the log exists: one entry, then the run ends.
struct RunStop {};

[[noreturn]] void stopWith(const std::string& description) {
  WriteLog("ERR :" + description);
  throw RunStop{};
}

// A value that enters lmi.bat or the command that starts it, with the name the
// refusal gives it.
struct BatchValue {
  const char* name;
  std::string text;
};

}  // namespace

RunState& run() {
  static RunState state;
  return state;
}

void resetRunState() {
  RunState& r = run();
  r.log.close();
  r.installationPath.clear();
  r.siteId.clear();
  r.starter = nullptr;
}

std::string trim(const std::string& text) {
  std::string::size_type b = text.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  std::string::size_type e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type at = text.find(separator, start);
    if (at == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

void WriteLog(const std::string& message) {
  try {
    plat::TextStream& log = run().log;
    if (!log.isOpen()) return;
    log.writeLine(plat::fmtDefaultDateTime(plat::localNow()) + "\t" + message);
  } catch (...) {
    // An entry that cannot be written is lost; the run goes on.
  }
}

std::string fncErrorDescription(uint32_t code) {
  char buf[512];
  uint32_t n = plat::systemMessage(code, buf, sizeof buf);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "Error " + std::to_string(code) + ".";
  return text;
}

bool fncGetRegString(plat::RegKey key, const std::string& name, std::string* value) {
  value->clear();
  uint32_t type = 0;
  uint32_t size = 0;
  if (plat::regQueryValue(key, name, &type, &size) != plat::kOk) return false;
  if (type != plat::kRegSz) return true;  // another type reads as empty text
  std::string data(size + 1, '\0');
  uint32_t got = size;
  uint32_t rc = plat::regGetValue(key, name, &type, data.data(), &got);
  if (rc == plat::kErrMoreData) {  // grew between the two calls
    data.assign(got + 1, '\0');
    rc = plat::regGetValue(key, name, &type, data.data(), &got);
  }
  if (rc != plat::kOk) return false;
  if (type != plat::kRegSz) return true;
  data.resize(got < data.size() ? got : data.size());
  std::string::size_type nul = data.find('\0');
  *value = nul == std::string::npos ? data : data.substr(0, nul);
  return true;
}

std::string fncReadINI(const std::string& section, const std::string& key, const std::string& file) {
  char buf[255];
  uint32_t n = plat::getPrivateProfileString(section.c_str(), key.c_str(), "", buf, sizeof buf, file);
  return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
}

std::string GetShortpath(const std::string& path) { return plat::shortPath(path); }

std::string fncProxyOptions(const std::string& address, const std::string& port) {
  if (trim(address).empty()) return "";
  return " proxyenabled=1 proxyserver=" + address + " proxyport=" + port;
}

std::string fncProgramFilesE() {
  std::string folder = plat::getEnv("Programfiles");
  if (!folder.empty()) folder[0] = 'E';
  return folder;
}

std::string fncInstallerCommand(const CommandParts& p) {
  const bool k = p.edition == kEditionK;
  const bool b = p.edition == kEditionB;
  if (!k && !b) return "";
  const bool port = !p.port.empty();
  // The one row that names the package as built rather than by its short form.
  const std::string& package = (b && port) ? p.package : p.shortPackage;

  std::string c = p.installer + " /quiet /i " + kQ + package + kQ;
  if (p.specialSite) c += std::string(" INSTALLDIR=") + kQ + p.shortInstallDir + kQ;
  if (k) {
    c += port ? kKPort : (p.specialSite ? kKWide : kKPlain);
  } else if (port) {
    c += p.specialSite ? kBWidePort : kBPort;
  } else {
    c += p.specialSite ? kBWide : kBPlain;
  }
  if (port) c += p.port;
  c += " REBOOT=ReallySuppress";
  c += p.proxy;
  return c;
}

bool fncUnsafeForBatch(const std::string& text) {
  return text.find_first_of("&|<>^%\"\r\n") != std::string::npos;
}

namespace {

// The run once the log is open: arguments, lmi.bat, proxy, install folder,
// command, start.
void subDeploy(const std::string& argumentText) {
  RunState& r = run();

  std::string system = plat::systemFolder();
  if (system.size() > 254) system.clear();  // does not fit the 255-character buffer
  const std::string msiexec = system + "\\msiexec.exe";
  WriteLog("MSG :" + msiexec);
  CommandParts parts;
  parts.installer = GetShortpath(msiexec);

  const std::vector<std::string> args = splitAt(argumentText, ',');
  const std::string& folder = args[0];
  WriteLog("MSG :" + folder);
  const std::string shortFolder = GetShortpath(folder);
  parts.package = shortFolder + kPackage;
  parts.shortPackage = GetShortpath(parts.package);
  WriteLog("MSG :" + std::string(1, kQ) + parts.package + kQ);
  if (args.size() < 2) {
    stopWith("The command line holds no edition code: expected deployment folder, edition code "
             "and an optional port value, separated by commas.");
  }
  parts.edition = args[1];
  WriteLog("MSG :" + parts.edition);
  if (args.size() == 3) {
    parts.port = args[2];
    WriteLog("MSG :" + parts.port);
  }

  plat::TextStream batch;
  const std::string batchPath = folder + kBatchName;
  if (uint32_t rc = batch.open(batchPath, plat::TextStream::Mode::CreateOverwrite)) {
    stopWith(fncErrorDescription(rc));
  }

  WriteLog("MSG : Getting sProxyIP and sProxyPort from VelkMobile.ini.");
  const std::string ini = r.installationPath + kMobileIni;
  const std::string proxyIp = fncReadINI("ProxySettings", "ProxyIP", ini);
  const std::string proxyPort = fncReadINI("ProxySettings", "ProxyPort", ini);
  WriteLog("MSG : Getting sProxyIP " + proxyIp + " and sProxyPort " + proxyPort +
           " from VelkMobile.ini.");
  parts.proxy = fncProxyOptions(proxyIp, proxyPort);

  const std::string programFilesE = fncProgramFilesE();
  parts.specialSite = r.siteId == kSpecialSite && !programFilesE.empty() &&
                      plat::folderExists(programFilesE);
  if (parts.specialSite) {
    WriteLog("MSG : Path exists " + programFilesE);
    const std::string hostFolder = programFilesE + "\\LogMeIn";
    if (!plat::folderExists(hostFolder)) {
      WriteLog("MSG : Logmein Folder not  exists ,creating same" + hostFolder);
      if (uint32_t rc = plat::createFolder(hostFolder)) stopWith(fncErrorDescription(rc));
    }
    parts.shortInstallDir = GetShortpath(hostFolder + "\\");
  }

  const std::string command = fncInstallerCommand(parts);
  const std::string line = command + " /L*V " + kQ + r.installationPath + kInstallerLog + kQ;
  const std::string start = kQ + shortFolder + kBatchName + kQ;

  // Values go into the batch file as they are: one that cmd would act on
  // (command separators, redirections, escapes, variable references, a quote
  // that ends the quoted part, a line break) could run commands of its
  // author's choosing, so the file stays empty and is not started.
  std::vector<BatchValue> values = {{"the deployment folder", folder},
                                    {"the deployment folder", shortFolder},
                                    {"InstallationPath", r.installationPath}};
  if (!command.empty()) {
    values.push_back({"the installer path", parts.installer});
    values.push_back({"the package path", parts.package});
    values.push_back({"the package path", parts.shortPackage});
    values.push_back({"the port value", parts.port});
    if (!parts.proxy.empty()) {
      values.push_back({"ProxyIP", proxyIp});
      values.push_back({"ProxyPort", proxyPort});
    }
    if (parts.specialSite) values.push_back({"the install folder", parts.shortInstallDir});
  }
  for (const BatchValue& v : values) {
    if (fncUnsafeForBatch(v.text)) {
      batch.close();
      stopWith("Refused " + std::string(v.name) +
               ": it holds a character that a batch file acts on (& | < > ^ % \" or a line "
               "break), so lmi.bat is not written and not started.");
    }
  }

  uint32_t rc = batch.write(line + "\r\n");
  batch.close();
  if (rc != 0) stopWith(fncErrorDescription(rc));

  rc = r.starter ? r.starter(start) : plat::startHidden(start);
  if (rc != 0) stopWith(fncErrorDescription(rc));
}

}  // namespace

void Main(const std::string& argumentText) {
  RunState& r = run();
  plat::RegKey key = 0;
  if (plat::regOpenKey(plat::hklm(), kAgentKey, plat::RegAccess::Full, plat::RegView::Default,
                       &key) != plat::kOk ||
      key == 0) {
    return;
  }
  std::string install;
  std::string site;
  bool found = fncGetRegString(key, "InstallationPath", &install);
  install = trim(install);
  if (found && !install.empty()) found = fncGetRegString(key, "SITEID", &site);
  plat::regCloseKey(key);
  if (!found) return;
  if (install.empty() || install.back() != '\\') install += '\\';
  r.installationPath = install;
  r.siteId = trim(site);

  if (r.log.open(r.installationPath + kLogName, plat::TextStream::Mode::CreateOverwrite) != 0) return;
  WriteLog("MSG : Application Started.");
  try {
    subDeploy(argumentText);
  } catch (const RunStop&) {
    // logged where it happened
  } catch (const std::exception& e) {
    WriteLog(std::string("ERR :") + e.what());
  }
  r.log.close();
}

}  // namespace zuvoze::deployer

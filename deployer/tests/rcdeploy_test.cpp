// rcdeploy run in-process: every row of the installer command, the proxy
// options, the special site, and the values refused for the batch file, each
// checked against lmi.bat byte for byte and the command that starts it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "deployer/global.h"
#include "deployer/mod_main.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zuvoze::deployer {
namespace {

using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;

const char* const kKey = "SOFTWARE\\ZUVOZE";
const char* const kNoProxy = "\x01";  // the key is missing from VelkMobile.ini

enum EFolder { kNoE, kEOnly, kEWithLogMeIn };

struct DeployCase {
  const char* name;
  const char* args;       // the command line after the deployment folder
  const char* site;
  const char* proxyIp;    // kNoProxy: key missing
  const char* proxyPort;  // kNoProxy: key missing
  EFolder eFolder;        // the E: program-files folder (site 239248 only)
  bool package;           // LMI\LogmeIn.msi exists
  // lmi.bat with {M} installer, {P} package as built, {SP} its short form,
  // {D} short install folder, {I} installation path; nullptr: not written.
  const char* lmiBat;
  bool started;
  const char* logHas;     // an entry the log holds ("" none)
  const char* logLacks;   // a text the log does not hold ("" none)
  const char* deployName;
  const char* installName;
};

// Test names and failure messages show a case by its name.
void PrintTo(const DeployCase& c, std::ostream* os) { *os << c.name; }

#define K_ID "p7wexk3mhq9tdz2vcs6rnj4lyb8gf5u0oaie1ytw"
#define B_ID "m3ka9sr6tn2qd8xvj5hw1cz7bu4lgy0fpe6oni3r"
#define LOG_OPT " /L*V \"{I}SetupLogs\\LogmeinInstall.log\"\r\n"
#define CREATING "MSG : Logmein Folder not  exists ,creating same"

const DeployCase kCases[] = {
    // The eight rows of the installer command.
    {"PlainKtroPort", ",KTRO,2002", "1000", kNoProxy, kNoProxy, kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID " RAPORT=2002 REBOOT=ReallySuppress" LOG_OPT, true,
     "MSG :2002", "INSTALLDIR", "Deploy", "Agent"},
    {"PlainKtro", ",KTRO", "1000", kNoProxy, kNoProxy, kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID "  REBOOT=ReallySuppress" LOG_OPT, true, "MSG :KTRO", "",
     "Deploy", "Agent"},
    // Without the package its short form is empty; this row names it as built.
    {"PlainBluvPort", ",BLUV,2003", "1000", kNoProxy, kNoProxy, kNoE, false,
     "{M} /quiet /i \"{P}\" DEPLOYID=" B_ID " RAPORT=2003 REBOOT=ReallySuppress" LOG_OPT, true, "", "",
     "Deploy", "Agent"},
    {"PlainBluv", ",BLUV", "1000", kNoProxy, kNoProxy, kNoE, false,
     "{M} /quiet /i \"\" DEPLOYID=" B_ID "  REBOOT=ReallySuppress" LOG_OPT, true, "", "", "Deploy",
     "Agent"},
    {"SpecialKtroPort", ",KTRO,2002", "239248", kNoProxy, kNoProxy, kEOnly, true,
     "{M} /quiet /i \"{SP}\" INSTALLDIR=\"{D}\" DEPLOYID=" K_ID " RAPORT=2002 REBOOT=ReallySuppress" LOG_OPT,
     true, CREATING, "", "Deploy", "Agent"},
    {"SpecialKtro", ",KTRO", "239248", kNoProxy, kNoProxy, kEWithLogMeIn, true,
     "{M} /quiet /i \"{SP}\" INSTALLDIR=\"{D}\"  DEPLOYID=" K_ID "  REBOOT=ReallySuppress" LOG_OPT, true,
     "MSG : Path exists ", CREATING, "Deploy", "Agent"},
    {"SpecialBluvPort", ",BLUV,2004", "239248", kNoProxy, kNoProxy, kEWithLogMeIn, true,
     "{M} /quiet /i \"{P}\" INSTALLDIR=\"{D}\"  DEPLOYID=" B_ID " RAPORT=2004 REBOOT=ReallySuppress" LOG_OPT,
     true, "", CREATING, "Deploy", "Agent"},
    {"SpecialBluv", ",BLUV", "239248", kNoProxy, kNoProxy, kEOnly, true,
     "{M} /quiet /i \"{SP}\" INSTALLDIR=\"{D}\"  DEPLOYID=" B_ID "  REBOOT=ReallySuppress" LOG_OPT, true,
     CREATING, "", "Deploy", "Agent"},
    // The special site whose E: folder is missing installs as any other.
    {"SpecialSiteWithoutEFolder", ",KTRO,2002", "239248", kNoProxy, kNoProxy, kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID " RAPORT=2002 REBOOT=ReallySuppress" LOG_OPT, true, "",
     "Path exists", "Deploy", "Agent"},
    // Argument splitting and the edition code.
    {"FourPartsGiveNoPort", ",KTRO,2002,x", "1000", kNoProxy, kNoProxy, kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID "  REBOOT=ReallySuppress" LOG_OPT, true, "", "MSG :2002",
     "Deploy", "Agent"},
    {"EditionInLowerCaseMatchesNothing", ",ktro,2002", "1000", kNoProxy, kNoProxy, kNoE, true, LOG_OPT,
     true, "MSG :ktro", "", "Deploy", "Agent"},
    // Proxy options.
    {"ProxyAddressAndPort", ",KTRO", "1000", "proxy.corp.example", "3128", kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID
     "  REBOOT=ReallySuppress proxyenabled=1 proxyserver=proxy.corp.example proxyport=3128" LOG_OPT,
     true, "MSG : Getting sProxyIP proxy.corp.example and sProxyPort 3128 from VelkMobile.ini.", "",
     "Deploy", "Agent"},
    {"ProxyOfBlanksGivesNone", ",KTRO", "1000", "   ", "8080", kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID "  REBOOT=ReallySuppress" LOG_OPT, true, "", "", "Deploy",
     "Agent"},
    {"ProxyPortMissing", ",BLUV,2005", "1000", "10.1.2.3", kNoProxy, kNoE, true,
     "{M} /quiet /i \"{P}\" DEPLOYID=" B_ID
     " RAPORT=2005 REBOOT=ReallySuppress proxyenabled=1 proxyserver=10.1.2.3 proxyport=" LOG_OPT,
     true, "", "", "Deploy", "Agent"},
    // Ordinary values go through as they are: folders with blanks.
    {"FoldersWithBlanks", ",KTRO,2002", "1000", "proxy-1.example", "80", kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID
     " RAPORT=2002 REBOOT=ReallySuppress proxyenabled=1 proxyserver=proxy-1.example proxyport=80" LOG_OPT,
     true, "", "", "Deploy Folder (x86)", "Agent Home"},
    // Values that cmd would act on: lmi.bat stays empty and is not started.
    {"RefusedProxyIp", ",KTRO", "1000", "1.2.3.4&calc", "80", kNoE, true, "", false,
     "ERR :Refused ProxyIP: ", "", "Deploy", "Agent"},
    {"RefusedProxyPort", ",KTRO", "1000", "10.1.2.3", "80|more", kNoE, true, "", false,
     "ERR :Refused ProxyPort: ", "", "Deploy", "Agent"},
    {"RefusedPortRedirect", ",KTRO,2002>C:\\x.txt", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the port value: ", "", "Deploy", "Agent"},
    {"RefusedPortVariable", ",BLUV,%COMSPEC%", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the port value: ", "", "Deploy", "Agent"},
    {"RefusedPortEscape", ",KTRO,20^02", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the port value: ", "", "Deploy", "Agent"},
    {"RefusedPortQuote", ",KTRO,2002\" & calc", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the port value: ", "", "Deploy", "Agent"},
    {"RefusedPortLineBreak", ",KTRO,2002\r\ncalc", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the port value: ", "", "Deploy", "Agent"},
    {"RefusedDeploymentFolder", ",KTRO", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused the deployment folder: ", "", "Dep&loy", "Agent"},
    {"RefusedInstallationPath", ",KTRO", "1000", kNoProxy, kNoProxy, kNoE, true, "", false,
     "ERR :Refused InstallationPath: ", "", "Deploy", "Agent^1"},
    // A value that is not used is not refused: no proxy, so its port is ignored.
    {"UnusedProxyPortNotRefused", ",KTRO", "1000", "", "8&0", kNoE, true,
     "{M} /quiet /i \"{SP}\" DEPLOYID=" K_ID "  REBOOT=ReallySuppress" LOG_OPT, true, "", "ERR", "Deploy",
     "Agent"},
    // Fewer than two parts: the run stops before lmi.bat.
    {"NoEditionCode", "", "1000", kNoProxy, kNoProxy, kNoE, true, nullptr, false, "ERR :", "MSG : Getting",
     "Deploy", "Agent"},
};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::string::size_type at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class DeployRun : public ::testing::TestWithParam<DeployCase> {
 protected:
  void SetUp() override {
    resetRunState();
    run().starter = [this](const std::string& command) {
      started.push_back(command);
      return 0u;
    };
    plat::setClockForTest([] {
      plat::LocalTime t;
      t.year = 2026, t.month = 3, t.day = 7, t.hour = 9, t.minute = 4, t.second = 5;
      return t;
    });
#ifdef _WIN32
    // The E: program-files folder needs a drive E:; where there is none, lend
    // one for the test (Wine accepts the definition but does not resolve it).
    if (!plat::folderExists("E:\\")) {
      const std::string target = root.path() + "\\DriveE";
      zuvoze::testing::makeDirs(target);
      if (DefineDosDeviceA(0, "E:", target.c_str())) definedE = true;
    }
    // A name of this test's own, removed again, for a drive E: that exists.
    programFiles = "C:" + root.path().substr(root.path().find_last_of('\\'));
#else
    // The system folder and drive E: of a machine of our own.
    zuvoze::testing::makeDirs(root.path() + "\\Win\\System32");
    zuvoze::testing::writeFile(root.path() + "\\Win\\System32\\msiexec.exe", "");
    zuvoze::testing::setEnv("ZUVOZE_WINDIR", root.path() + "\\Win");
    zuvoze::testing::makeDirs(root.path() + "\\DriveE");
    zuvoze::testing::setEnv("ZUVOZE_DRIVE_E", root.path() + "/DriveE");
    programFiles = "C:\\Program Files";
#endif
    oldProgramFiles = plat::getEnv("Programfiles");
    zuvoze::testing::setEnv("Programfiles", programFiles);
  }
  void TearDown() override {
    resetRunState();
    plat::setClockForTest(nullptr);
    zuvoze::testing::setEnv("Programfiles", oldProgramFiles);
#ifdef _WIN32
    const std::string eFolder = "E" + programFiles.substr(1);
    RemoveDirectoryA((eFolder + "\\LogMeIn").c_str());
    RemoveDirectoryA(eFolder.c_str());
    if (definedE) DefineDosDeviceA(DDD_REMOVE_DEFINITION, "E:", nullptr);
#else
    zuvoze::testing::unsetEnv("ZUVOZE_WINDIR");
    zuvoze::testing::unsetEnv("ZUVOZE_DRIVE_E");
#endif
  }

  TempDir root;
  TestRegistry reg;
  std::vector<std::string> started;
  // Makes the E: program-files folder; false where no drive E: can be had.
  bool makeEFolder(const std::string& folder) {
    zuvoze::testing::makeDirs(folder);
    return plat::folderExists(folder);
  }

  std::string programFiles, oldProgramFiles;
  bool definedE = false;
};

TEST_P(DeployRun, WritesLmiBatAndStartsIt) {
  const DeployCase& c = GetParam();
  const std::string install = root.path() + "\\" + c.installName;
  const std::string deploy = root.path() + "\\" + c.deployName + "\\";
  zuvoze::testing::makeDirs(install);
  zuvoze::testing::makeDirs(deploy + "LMI");
  if (c.package) zuvoze::testing::writeFile(deploy + "LMI\\LogmeIn.msi", "package");
  // Blanks around the values are trimmed; the path gets its backslash.
  reg.setString(kKey, "InstallationPath", "  " + install + " ");
  reg.setString(kKey, "SITEID", std::string(" ") + c.site);
  std::string ini = "[ProxySettings]\r\n";
  if (std::string(c.proxyIp) != kNoProxy) ini += std::string("ProxyIP=") + c.proxyIp + "\r\n";
  if (std::string(c.proxyPort) != kNoProxy) ini += std::string("ProxyPort=") + c.proxyPort + "\r\n";
  zuvoze::testing::writeFile(install + "\\VELKMobile.ini", ini);

  const std::string eFolder = "E" + programFiles.substr(1);
  if (c.eFolder != kNoE) {
    if (!makeEFolder(eFolder)) GTEST_SKIP() << "no drive E: here, and none can be defined";
    if (c.eFolder == kEWithLogMeIn) zuvoze::testing::makeDirs(eFolder + "\\LogMeIn");
  }

  Main(deploy + c.args);

  const std::string lmiBat = deploy + "lmi.bat";
  if (c.lmiBat == nullptr) {
    EXPECT_FALSE(zuvoze::testing::exists(lmiBat));
  } else {
    std::string expected = c.lmiBat;
    const std::string package = plat::shortPath(deploy) + "LMI\\LogmeIn.msi";
    expected = replaceAll(expected, "{M}", plat::shortPath(plat::systemFolder() + "\\msiexec.exe"));
    expected = replaceAll(expected, "{SP}", plat::shortPath(package));
    expected = replaceAll(expected, "{P}", package);
    expected = replaceAll(expected, "{D}", plat::shortPath(eFolder + "\\LogMeIn\\"));
    expected = replaceAll(expected, "{I}", install + "\\");
    EXPECT_EQ(zuvoze::testing::readFile(lmiBat), expected);
  }
  if (c.eFolder != kNoE) {
    EXPECT_EQ(c.site == std::string("239248"), plat::folderExists(eFolder + "\\LogMeIn"));
  }
  if (c.started) {
    EXPECT_EQ(started, std::vector<std::string>{"\"" + plat::shortPath(deploy) + "lmi.bat\""});
  } else {
    EXPECT_TRUE(started.empty());
  }
  const std::string log = zuvoze::testing::readFile(install + "\\rcdeployLog.txt");
  if (*c.logHas != '\0') {
    const std::string stamp = plat::fmtDefaultDateTime(plat::localNow()) + "\t";
    EXPECT_NE(log.find("\n" + stamp + c.logHas), std::string::npos) << log;
  }
  if (*c.logLacks != '\0') {
    EXPECT_EQ(log.find(c.logLacks), std::string::npos) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeployRun, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DeployCase>& row) {
                           return std::string(row.param.name);
                         });

// The whole log of a run, entry by entry.
TEST_F(DeployRun, LogOfARun) {
  const std::string install = root.path() + "\\Agent";
  const std::string deploy = root.path() + "\\Deploy\\";
  zuvoze::testing::makeDirs(install);
  zuvoze::testing::makeDirs(deploy + "LMI");
  zuvoze::testing::writeFile(deploy + "LMI\\LogmeIn.msi", "package");
  reg.setString(kKey, "InstallationPath", install + "\\");
  reg.setString(kKey, "SITEID", "1000");
  zuvoze::testing::writeFile(install + "\\VelkMobile.ini",
                             "[ProxySettings]\r\nProxyIP=10.0.0.1\r\nProxyPort=8080\r\n");

  Main(deploy + ",BLUV,2006");

  const std::string stamp = plat::fmtDefaultDateTime(plat::localNow()) + "\t";
  const std::string package = plat::shortPath(deploy) + "LMI\\LogmeIn.msi";
  const std::string expected =
      stamp + "MSG : Application Started.\r\n" +
      stamp + "MSG :" + plat::systemFolder() + "\\msiexec.exe\r\n" +
      stamp + "MSG :" + deploy + "\r\n" +
      stamp + "MSG :\"" + package + "\"\r\n" +
      stamp + "MSG :BLUV\r\n" +
      stamp + "MSG :2006\r\n" +
      stamp + "MSG : Getting sProxyIP and sProxyPort from VelkMobile.ini.\r\n" +
      stamp + "MSG : Getting sProxyIP 10.0.0.1 and sProxyPort 8080 from VelkMobile.ini.\r\n";
  EXPECT_EQ(zuvoze::testing::readFile(install + "\\rcdeployLog.txt"), expected);
  EXPECT_EQ(started.size(), 1u);
}

// Without the agent key or one of the values it must hold, nothing is written.
TEST_F(DeployRun, MissingRegistryValuesEndSilently) {
  const std::string install = root.path() + "\\Agent";
  const std::string deploy = root.path() + "\\Deploy\\";
  zuvoze::testing::makeDirs(install);
  zuvoze::testing::makeDirs(deploy);
  struct Values {
    const char* what;
    bool path, site;
  };
  for (Values v : {Values{"no key", false, false}, Values{"no InstallationPath", false, true},
                   Values{"no SITEID", true, false}}) {
    SCOPED_TRACE(v.what);
    TestRegistry fresh;
    if (v.path) fresh.setString(kKey, "InstallationPath", install);
    if (v.site) fresh.setString(kKey, "SITEID", "1000");
    Main(deploy + ",KTRO,2002");
    EXPECT_TRUE(zuvoze::testing::listDir(install).empty());
    EXPECT_TRUE(zuvoze::testing::listDir(deploy).empty());
    EXPECT_TRUE(started.empty());
  }
}

}  // namespace
}  // namespace zuvoze::deployer

// Shared modules of the two remote-access host reporters, hostidpost and
// grantpost: the agent identity and registry readers (modPIDnZUVOZEReg), the
// address lookup (ModManageMorvaneDNS), the run log, file utilities and the
// web-post channel (modComm). One process-wide run state records which of the
// two tools is running; every difference between them is decided on it.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/registry.h"

namespace zuvoze::reporters {

enum class Tool { HostIdPost, GrantPost };

// The agent this reporter belongs to; all fields start empty.
struct AgentIdentityRecord {
  std::string InstallationPath;  // ends with a backslash when not empty
  std::string REGID;
  std::string Type;
  std::string MEMBERID;  // grantpost only
  std::string SiteId;    // grantpost only
  std::string NumHostID;
  std::string PreviousHostID;  // first comma-separated field of the command line
};

// What the last call of PostXMLString left.
struct PostOutcome {
  bool success = false;
  std::string answer;  // argument 6: the server's answer
  std::string second;  // argument 7
  std::string third;   // argument 8
  std::string fourth;  // argument 9, never read
};

struct RunState {
  Tool tool = Tool::HostIdPost;
  plat::TextStream log;    // the run log; writes after it is closed are dropped
  std::string logPath;     // remembered by fncOpenLog for subMoveLog
  bool fileAccess = false;  // the file-system access of the run log
  PostOutcome post;
};

extern AgentIdentityRecord AgentIdentity;
RunState& runState();
// Sets the tool and empties the identity, the log state and the post outcome.
void initRun(Tool tool);

// An error number and description for a failure that was not foreseen.
struct ErrInfo {
  int32_t number = 0;
  std::string description;
};
ErrInfo errorOf(std::exception_ptr e);

// Text helpers: blanks-only trimming as the tools' Trim, the leading-number
// value of a text, and the five XML special characters escaped.
std::string trimBlanks(const std::string& s);
double leadingNumber(const std::string& s);
std::string xmlEscape(const std::string& s);
// The part of a command line up to its first comma (all of it without one).
std::string firstField(const std::string& commandLine);

// ---- modPIDnZUVOZEReg ----
bool fncGetRegInfo(const std::string& keyPath);
std::string fncGetRegValue(plat::RegKey key, const std::string& name);
std::string fncFormatMessage(const std::string& codeText);
std::string fncTrimNull(const std::string& s);
bool fncGetNumHostID(const std::string& keyPath);
bool fncGetNumHostID2000(const std::string& keyPath);
// The string read shared by fncReadRegistry and ReadRegistryRetry on an open key.
std::string readStringValueOf(plat::RegKey key, const std::string& name);

// ---- ModManageMorvaneDNS ----
std::string fncReadRegistry(plat::RegKey root, const std::string& keyPath,
                            const std::string& valueName, int16_t kind);
std::string fncGetURL(const std::string& messageName);
std::string fncReadINI(const std::string& section, const std::string& key,
                       const std::string& file);

// ---- modComm ----
bool fncOpenLog();
void subLogStart();
void subLogStop();
void subWriteMsg(const std::string& text);
void subWriteErr(const std::string& text);
void subMoveLog(const std::string& installationPath);
std::string GetShortpath(const std::string& path);
void subRegisterWebPost(const std::string& installationPath);
void subPostXML(const std::string& xml, const std::string& address);
// Writes a line into the run log as it is, without time stamp or kind.
void writeRawLogLine(const std::string& line);

// The operating-system code of the version information ("2000", "XP", ...).
std::string getOSName();
// The code for a platform, major and minor version.
std::string osCodeFor(uint32_t platformId, uint32_t major, uint32_t minor);

// Fixed numbers of the web-post channel.
constexpr uint32_t kWebPostRetryWaitMs = 10000;
constexpr int kWebPostRegistrations = 3;        // registrations before giving up
constexpr uint32_t kWebPostRegisterWaitMs = 5000;  // wait after each registration

}  // namespace zuvoze::reporters

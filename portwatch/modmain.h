// portwatch's run: which of the ports 2002 to 2007 do not appear as a local
// port in the machine's connection list.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zuvoze::portwatch {

inline const int kFirstPort = 2002;
inline const int kLastPort = 2007;

// The whole run; no arguments. Ends without log and output when the log
// cannot be created.
void Main();

// What starts the batch file: plat::startHidden, unless a test sets another
// (nullptr restores it).
using Starter = std::function<uint32_t(const std::string& commandLine)>;
void setStarter(Starter starter);

// What the connection list says about one port.
enum class PortFinding {
  NotSeen,  // no line holds its digits between the first and the second colon
  Seen,     // some line does, but none names it as the local port
  Matched,  // a line names it (or holds a token that does not read as a number)
};
PortFinding fncFindPort(int port, const std::vector<std::string>& lines);

// The only line of LMIportwatch.bat for an installation folder (ending with a
// backslash).
std::string fncBatchLine(const std::string& installationPath);
// The command that lists the sockets: "netstat"; on a machine without netstat
// on its search path, the socket lister installed beside this program (posix
// builds install one), quoted.
std::string fncListerCommand();

}  // namespace zuvoze::portwatch

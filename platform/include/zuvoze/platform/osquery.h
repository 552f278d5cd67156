// The operating system as the system's management service describes it: the
// instances of the class Win32_OperatingSystem with their Caption and Version.
//
// win32: the management service of the local machine (the namespace that the
// moniker "winmgmts:" names, root\cimv2), queried through its locator.
// posix: one instance, whose Caption is PRETTY_NAME of /etc/os-release (or of
// /usr/lib/os-release; the kernel's name when neither has one) and whose Version
// is the dotted numeric start of the running kernel's release ("6.1.0-18-amd64"
// gives "6.1.0").
//
// A failure carries the error number a late-bound caller would see (the
// HRESULT as a signed number on win32) and a description.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zuvoze::plat {

struct OsInstance {
  std::string caption;  // empty when the service gives no value
  std::string version;  // a dotted text such as 6.1.7601; empty when none
};

struct OsQueryError {
  int32_t number = 0;  // 0: no failure
  std::string description;
  explicit operator bool() const { return number != 0; }
};

// Fills *instances (cleared first) in the order the service gives them.
OsQueryError queryOperatingSystems(std::vector<OsInstance>* instances);

// Tests: answer with this function instead of the system (nullptr restores).
using OsQuerySource = std::function<OsQueryError(std::vector<OsInstance>*)>;
void setOsQueryForTest(OsQuerySource source);

}  // namespace zuvoze::plat

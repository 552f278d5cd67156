// Service control (OpenSCManagerA, OpenServiceA, ControlService with the stop
// control, StartServiceA, CloseServiceHandle).
//
// Every call that fails returns 0 / false and sets lastError() to a Windows
// error code.
//
// win32: the service control manager, with the access values passed through.
// posix: the host's service manager through a command: `systemctl stop NAME` /
// `systemctl start NAME`, or, when $ZUVOZE_SERVICECTL names a program,
// `PROGRAM stop NAME` / `PROGRAM start NAME`. The command's exit status 0 is
// success. Opening the manager and a service always succeeds there (whether a
// service exists shows only when it is stopped or started); a failed command
// sets the last error to:
//   2    the command cannot be started (program not found),
//   5    exit status 4 (LSB: insufficient privilege),
//   1060 exit status 5 (LSB: not installed; systemctl's "unit not loaded"),
//   1062 exit status 7 of a stop (LSB: not running),
//   1066 any other exit status or an end by a signal (service-specific error).
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::plat {

using ServiceHandle = std::uintptr_t;  // 0 means none

enum ServiceAccess : uint32_t {
  kScManagerConnect = 0x0001,
  kScManagerAllAccess = 0xF003F,
  kServiceStop = 0x0020,
  kServiceAllAccess = 0xF01FF,
};

// The service control manager of the local machine.
ServiceHandle openServiceManager(uint32_t access);
ServiceHandle openService(ServiceHandle manager, const std::string& name, uint32_t access);
// ControlService(SERVICE_CONTROL_STOP): asks the service to stop, without waiting.
bool stopService(ServiceHandle service);
// StartServiceA with no arguments: asks the service to start, without waiting.
bool startService(ServiceHandle service);
void closeServiceHandle(ServiceHandle handle);

}  // namespace zuvoze::plat

// Windows only: a real service for the tests, served by the test program
// itself. createTestService registers the running test executable, with a
// marker argument, as a demand-start service; when the service manager starts
// it, the static object below serves the service and ends the process before
// any test runs.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

namespace zuvoze::merger::testservice {

inline const char* serveArg() { return "--zuvoze-serve-test-service"; }

inline SERVICE_STATUS_HANDLE& statusHandle() {
  static SERVICE_STATUS_HANDLE h = nullptr;
  return h;
}
inline HANDLE& stopEvent() {
  static HANDLE h = nullptr;
  return h;
}

inline void report(DWORD state) {
  SERVICE_STATUS st{};
  st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  st.dwCurrentState = state;
  st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle(), &st);
}

inline DWORD WINAPI handler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    report(SERVICE_STOP_PENDING);
    SetEvent(stopEvent());
  }
  return NO_ERROR;
}

inline void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
  statusHandle() = RegisterServiceCtrlHandlerExA(argc > 0 ? argv[0] : "", handler, nullptr);
  stopEvent() = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  report(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent(), INFINITE);
  report(SERVICE_STOPPED);
}

struct ServeWhenStartedAsService {
  ServeWhenStartedAsService() {
    if (std::string(GetCommandLineA()).find(serveArg()) == std::string::npos) return;
    char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    ExitProcess(0);
  }
};
inline ServeWhenStartedAsService serveWhenStartedAsService;

// Polls until the service is in `wanted` (0: running or stopped), at most 5 s.
inline DWORD waitFor(SC_HANDLE svc, DWORD wanted) {
  SERVICE_STATUS st{};
  for (int i = 0; i < 100; ++i) {
    if (!QueryServiceStatus(svc, &st)) return 0;
    if (wanted != 0 ? st.dwCurrentState == wanted
                    : st.dwCurrentState == SERVICE_RUNNING || st.dwCurrentState == SERVICE_STOPPED)
      break;
    Sleep(50);
  }
  return st.dwCurrentState;
}

inline void removeTestService(const std::string& name) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!scm) return;
  SC_HANDLE svc = OpenServiceA(scm, name.c_str(), SERVICE_ALL_ACCESS);
  if (svc) {
    SERVICE_STATUS st{};
    ControlService(svc, SERVICE_CONTROL_STOP, &st);
    waitFor(svc, SERVICE_STOPPED);
    DeleteService(svc);
    CloseServiceHandle(svc);
  }
  CloseServiceHandle(scm);
}

// Registers the running test program as the service `name` (replacing one of
// that name); returns the Windows error code.
inline DWORD createTestService(const std::string& name) {
  removeTestService(name);
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!scm) return GetLastError();
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  const std::string bin = std::string("\"") + exe + "\" " + serveArg();
  SC_HANDLE svc = CreateServiceA(scm, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                 SERVICE_ERROR_IGNORE, bin.c_str(), nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
  DWORD rc = svc ? 0 : GetLastError();
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return rc;
}

// Starts the service and waits until it runs; returns the Windows error code.
inline DWORD startTestService(const std::string& name) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!scm) return GetLastError();
  SC_HANDLE svc = OpenServiceA(scm, name.c_str(), SERVICE_ALL_ACCESS);
  DWORD rc = 0;
  if (!svc) {
    rc = GetLastError();
  } else {
    if (!StartServiceA(svc, 0, nullptr)) rc = GetLastError();
    else if (waitFor(svc, SERVICE_RUNNING) != SERVICE_RUNNING) rc = ERROR_SERVICE_REQUEST_TIMEOUT;
    CloseServiceHandle(svc);
  }
  CloseServiceHandle(scm);
  return rc;
}

// The current state of the service (0 when it cannot be queried).
inline DWORD serviceState(const std::string& name) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE svc = scm ? OpenServiceA(scm, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  DWORD s = svc ? waitFor(svc, 0) : 0;
  if (svc) CloseServiceHandle(svc);
  if (scm) CloseServiceHandle(scm);
  return s;
}

}  // namespace zuvoze::merger::testservice
#endif

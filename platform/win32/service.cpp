// Service control through the Windows service control manager.
#include <windows.h>

#include "zuvoze/platform/service.h"

namespace zuvoze::plat {

ServiceHandle openServiceManager(uint32_t access) {
  return reinterpret_cast<ServiceHandle>(OpenSCManagerA(nullptr, nullptr, access));
}

ServiceHandle openService(ServiceHandle manager, const std::string& name, uint32_t access) {
  return reinterpret_cast<ServiceHandle>(
      OpenServiceA(reinterpret_cast<SC_HANDLE>(manager), name.c_str(), access));
}

bool stopService(ServiceHandle service) {
  SERVICE_STATUS status{};
  return ControlService(reinterpret_cast<SC_HANDLE>(service), SERVICE_CONTROL_STOP, &status) != 0;
}

bool startService(ServiceHandle service) {
  return StartServiceA(reinterpret_cast<SC_HANDLE>(service), 0, nullptr) != 0;
}

void closeServiceHandle(ServiceHandle handle) {
  if (handle != 0) CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle));
}

}  // namespace zuvoze::plat

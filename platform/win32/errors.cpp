// The thread's last error code: the system's own.
#include <windows.h>

#include "zuvoze/platform/errors.h"

namespace zuvoze::plat {

uint32_t lastError() { return GetLastError(); }

void setLastError(uint32_t code) { SetLastError(code); }

}  // namespace zuvoze::plat

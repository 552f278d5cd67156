// System message texts from the system's own message table.
#include <windows.h>

#include "zuvoze/platform/message.h"

namespace zuvoze::plat {

uint32_t systemMessage(uint32_t code, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // FormatMessageA gives 0 when the code has no text or the text does not fit.
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buf, size, nullptr);
  return n;
}

}  // namespace zuvoze::plat

// The 200-character padded form of a system message, as the logs carry it.
#include "zuvoze/platform/message.h"

namespace zuvoze::plat {

std::string paddedSystemMessage(uint32_t code) {
  std::string buf(200, ' ');
  uint32_t n = systemMessage(code, &buf[0], 200);
  if (n == 0 || n >= 200) return std::string(200, ' ');
  // systemMessage wrote the text and its NUL; the blanks after it stay.
  return buf;
}

}  // namespace zuvoze::plat

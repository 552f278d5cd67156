// posix: the message goes to standard error; nobody waits for a click.
#include <cstdio>

#include "zuvoze/platform/msgbox.h"

namespace zuvoze::plat {

void showMessageBoxNative(const std::string& text, const std::string& title) {
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace zuvoze::plat

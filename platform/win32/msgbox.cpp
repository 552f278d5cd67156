// win32: a modal message box with an OK button.
#include <windows.h>

#include "zuvoze/platform/msgbox.h"

namespace zuvoze::plat {

void showMessageBoxNative(const std::string& text, const std::string& title) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK);
}

}  // namespace zuvoze::plat

// A modal message with an OK button.
//
// win32: MessageBoxA, which waits until the user closes it.
// posix: there is no one to click OK; the title and the text go to standard
// error and the call returns at once.
#pragma once
#include <functional>
#include <string>

namespace zuvoze::plat {

void showMessageBox(const std::string& text, const std::string& title);

// Tests: receive the message instead of showing it (nullptr restores), so that
// no test ever waits for a click.
using MessageBoxSink = std::function<void(const std::string& text, const std::string& title)>;
void setMessageBoxForTest(MessageBoxSink sink);

}  // namespace zuvoze::plat

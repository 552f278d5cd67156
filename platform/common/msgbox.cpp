// The message box with its test override; the backend shows it.
#include <mutex>

#include "zuvoze/platform/msgbox.h"

namespace zuvoze::plat {

void showMessageBoxNative(const std::string& text, const std::string& title);

namespace {
std::mutex g_sinkMutex;
MessageBoxSink g_sink;
}  // namespace

void showMessageBox(const std::string& text, const std::string& title) {
  MessageBoxSink sink;
  {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink = g_sink;
  }
  if (sink) {
    sink(text, title);
  } else {
    showMessageBoxNative(text, title);
  }
}

void setMessageBoxForTest(MessageBoxSink sink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  g_sink = std::move(sink);
}

}  // namespace zuvoze::plat

// The web-post factory with its test override; the backend supplies the real one.
#include <mutex>

#include "zuvoze/platform/webpost.h"

namespace zuvoze::plat {

WebPostError createWebPostNative(const std::string& progId, std::unique_ptr<WebPostObject>* out);

namespace {
std::mutex g_factoryMutex;
WebPostFactory g_factory;
}  // namespace

WebPostError createWebPost(const std::string& progId, std::unique_ptr<WebPostObject>* out) {
  WebPostFactory factory;
  {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    factory = g_factory;
  }
  out->reset();
  if (factory) return factory(progId, out);
  return createWebPostNative(progId, out);
}

void setWebPostFactoryForTest(WebPostFactory factory) {
  std::lock_guard<std::mutex> lock(g_factoryMutex);
  g_factory = std::move(factory);
}

}  // namespace zuvoze::plat

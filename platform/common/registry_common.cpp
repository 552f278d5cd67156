// Registry conveniences built on the backend's calls.
#include "zuvoze/platform/registry.h"

namespace zuvoze::plat {

uint32_t regSetString(RegKey key, const std::string& name, const std::string& text) {
  return regSetValue(key, name, kRegSz, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

}  // namespace zuvoze::plat

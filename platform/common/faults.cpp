#include "zuvoze/platform/faults.h"

namespace zuvoze::plat {
namespace {
MutationHook g_hook;  // set only by tests, before the code under test runs
}

void setMutationHook(MutationHook hook) { g_hook = std::move(hook); }

void beforeMutation(const char* operation, const std::string& path) {
  if (g_hook) g_hook(operation, path);
}

}  // namespace zuvoze::plat

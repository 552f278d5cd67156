// The injectable sleep: a hook for tests and benchmarks, a scale for programs
// run end to end, the real pause otherwise.
#include <cstdlib>
#include <mutex>

#include "zuvoze/platform/sleep.h"

namespace zuvoze::plat {

void sleepRaw(uint32_t ms);  // the backend's real pause

namespace {
std::mutex g_hookMutex;
std::function<void(uint32_t)> g_hook;

// ZUVOZE_SLEEP_SCALE: a percentage of every pause (0 skips them); unset or
// malformed means 100.
uint64_t scaledMs(uint32_t ms) {
  const char* v = std::getenv("ZUVOZE_SLEEP_SCALE");
  if (v == nullptr || *v == '\0') return ms;
  char* end = nullptr;
  unsigned long pct = std::strtoul(v, &end, 10);
  if (end == v || *end != '\0' || pct > 100000) return ms;
  return static_cast<uint64_t>(ms) * pct / 100;
}
}  // namespace

void sleepMs(uint32_t ms) {
  std::function<void(uint32_t)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_hook;
  }
  if (hook) {
    hook(ms);
    return;
  }
  uint64_t real = scaledMs(ms);
  while (real > 0) {
    uint32_t step = real > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<uint32_t>(real);
    sleepRaw(step);
    real -= step;
  }
}

void setSleepHook(std::function<void(uint32_t)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_hook = std::move(hook);
}

}  // namespace zuvoze::plat

// The one sleep of the programs. The fixed pauses (5 ms per INI read, 20 s
// around service control, 10 s between web-post attempts, 20 s for netstat) all
// go through sleepMs, so tests and benchmarks can take them away.
#pragma once
#include <cstdint>
#include <functional>

namespace zuvoze::plat {

// Sleeps ms milliseconds, unless a hook is set (then the hook is called instead),
// or $ZUVOZE_SLEEP_SCALE holds a percentage (0 skips every pause; testing aid).
void sleepMs(uint32_t ms);
void setSleepHook(std::function<void(uint32_t)> hook);  // nullptr restores

}  // namespace zuvoze::plat

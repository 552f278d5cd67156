// The real pause behind sleepMs.
#include <windows.h>

#include <cstdint>

namespace zuvoze::plat {

void sleepRaw(uint32_t ms) { Sleep(ms); }

}  // namespace zuvoze::plat

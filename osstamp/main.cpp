// osstamp: records the operating system's name and version for the agent.
// It takes no command line.
#include "osstamp/modVersion.h"
#include "zuvoze/platform/system.h"

int main(int argc, char** argv) {
  zuvoze::plat::initProcess(argc, argv);
  zuvoze::osstamp::Main();
  return 0;
}

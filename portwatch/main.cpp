// portwatch: no arguments.
#include "portwatch/modmain.h"
#include "zuvoze/platform/system.h"

int main(int argc, char** argv) {
  zuvoze::plat::initProcess(argc, argv);
  zuvoze::portwatch::Main();
  return 0;
}

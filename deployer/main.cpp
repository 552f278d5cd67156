// rcdeploy: deployment folder, edition code and an optional port value,
// separated by commas, on the command line.
#include "deployer/mod_main.h"
#include "zuvoze/platform/system.h"

int main(int argc, char** argv) {
  zuvoze::plat::initProcess(argc, argv);
  zuvoze::deployer::Main(zuvoze::plat::commandLineText());
  return 0;
}

// Helpers the benchmarks share: a scratch folder and writes that must work.
#pragma once
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"

namespace bench {

// A fresh folder under $TMPDIR (or $TEMP, or /tmp), removed at the end.
struct BenchDir {
  explicit BenchDir(const std::string& name) {
    std::string base = zuvoze::plat::getEnv("TMPDIR");
    if (base.empty()) base = zuvoze::plat::getEnv("TEMP");
    if (base.empty()) base = "/tmp";
    path = base + "\\zuvoze-" + name + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    if (zuvoze::plat::createFolder(path) != 0) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      std::exit(1);
    }
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::remove_all(zuvoze::plat::hostPath(path), ec);
  }
  std::string path;
};

inline void writeOrDie(const std::string& path, const std::string& text) {
  if (zuvoze::plat::writeTextFile(path, text) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace bench

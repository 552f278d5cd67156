// Helpers for the behavioural tests, on both backends: temporary folders, an
// isolated registry, running a built program and reading what it left.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "zuvoze/platform/registry.h"

namespace zuvoze::testing {

// A fresh folder for one test, removed with everything in it at destruction.
// path() is in the platform's own form (a Windows path on win32), without a
// trailing separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + separator + relative (relative may use backslashes).
  std::string sub(const std::string& relative) const;

 private:
  std::string path_;
};

// Makes the folder and any missing parents.
void makeDirs(const std::string& path);
std::string readFile(const std::string& path);   // bytes; empty when missing
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
std::vector<std::string> listDir(const std::string& path);  // names, sorted

void setEnv(const std::string& name, const std::string& value);
void unsetEnv(const std::string& name);

// Path of a program built in this tree (same folder as the running test
// executable; ".exe" is added on win32).
std::string builtProgram(const std::string& name);

struct RunResult {
  int exitCode = -1;
  bool timedOut = false;
};
// Runs exe with a command-line text (passed as the program's own command line:
// on posix split at blanks into arguments), with extra environment variables,
// waiting at most timeoutMs (then the program is killed and timedOut is set).
RunResult runProgram(const std::string& exe, const std::string& args,
                     const std::vector<std::pair<std::string, std::string>>& env = {},
                     int timeoutMs = 120000, const std::string& workDir = "");

// An isolated registry for one test. posix: a fresh store file, named by
// ZUVOZE_REGISTRY for this process and the programs it runs. win32: the real
// registry, from which the given keys (under HKLM, both views) are removed
// before and after the test.
class TestRegistry {
 public:
  explicit TestRegistry(std::vector<std::string> keys = {"SOFTWARE\\ZUVOZE"});
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  void setString(const std::string& key, const std::string& name, const std::string& value,
                 plat::RegView view = plat::RegView::Default);
  void setDword(const std::string& key, const std::string& name, uint32_t value,
                plat::RegView view = plat::RegView::Default);
  void setRaw(const std::string& key, const std::string& name, uint32_t type,
              const std::string& bytes, plat::RegView view = plat::RegView::Default);
  // The string value, or "<missing>" when the key or value does not exist.
  std::string getString(const std::string& key, const std::string& name,
                        plat::RegView view = plat::RegView::Default);
  const std::string& storePath() const { return storePath_; }  // posix only

 private:
  void clear();
  std::vector<std::string> keys_;
  std::string storePath_;
  TempDir* dir_ = nullptr;
};

}  // namespace zuvoze::testing

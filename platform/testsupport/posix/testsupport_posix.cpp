// Test helpers, posix half.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::testing {
namespace {

void removeTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    chmod(path.c_str(), 0700);
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        removeTree(path + "/" + e->d_name);
      }
      closedir(d);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zuvoze-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() { removeTree(path_); }

std::string TempDir::sub(const std::string& relative) const {
  std::string r = relative;
  std::replace(r.begin(), r.end(), '\\', '/');
  return path_ + "/" + r;
}

void makeDirs(const std::string& path) {
  std::string host = plat::hostPath(path);
  for (size_t i = 1; i <= host.size(); ++i) {
    if (i == host.size() || host[i] == '/') mkdir(host.substr(0, i).c_str(), 0777);
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(plat::hostPath(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(plat::hostPath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(plat::hostPath(path).c_str(), &st) == 0;
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(plat::hostPath(path).c_str())) {
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      names.emplace_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void setEnv(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnv(const std::string& name) { unsetenv(name.c_str()); }

std::string builtProgram(const std::string& name) { return plat::programFolder() + "/" + name; }

RunResult runProgram(const std::string& exe, const std::string& args,
                     const std::vector<std::pair<std::string, std::string>>& env, int timeoutMs,
                     const std::string& workDir) {
  std::vector<std::string> argv{plat::hostPath(exe)};
  std::istringstream split(args);
  for (std::string a; split >> a;) argv.push_back(a);
  RunResult result;
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    for (const auto& kv : env) setenv(kv.first.c_str(), kv.second.c_str(), 1);
    if (!workDir.empty() && chdir(plat::hostPath(workDir).c_str()) != 0) _exit(126);
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(&a[0]);
    cargs.push_back(nullptr);
    execv(cargs[0], cargs.data());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return result;
    }
    if (done < 0 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TestRegistry::TestRegistry(std::vector<std::string> keys) : keys_(std::move(keys)) {
  dir_ = new TempDir();
  storePath_ = dir_->sub("registry.reg");
  setEnv("ZUVOZE_REGISTRY", storePath_);
}

TestRegistry::~TestRegistry() {
  unsetEnv("ZUVOZE_REGISTRY");
  delete dir_;
}

void TestRegistry::clear() {}

namespace {
plat::RegKey createOrDie(const std::string& key, plat::RegView view) {
  plat::RegKey k = 0;
  if (uint32_t rc = plat::regCreateKey(plat::hklm(), key, view, &k))
    throw std::runtime_error("cannot create key " + key + ": " + std::to_string(rc));
  return k;
}
}  // namespace

void TestRegistry::setString(const std::string& key, const std::string& name,
                             const std::string& value, plat::RegView view) {
  plat::RegKey k = createOrDie(key, view);
  plat::regSetString(k, name, value);
  plat::regCloseKey(k);
}

void TestRegistry::setDword(const std::string& key, const std::string& name, uint32_t value,
                            plat::RegView view) {
  plat::RegKey k = createOrDie(key, view);
  plat::regSetValue(k, name, plat::kRegDword, &value, 4);
  plat::regCloseKey(k);
}

void TestRegistry::setRaw(const std::string& key, const std::string& name, uint32_t type,
                          const std::string& bytes, plat::RegView view) {
  plat::RegKey k = createOrDie(key, view);
  plat::regSetValue(k, name, type, bytes.data(), static_cast<uint32_t>(bytes.size()));
  plat::regCloseKey(k);
}

std::string TestRegistry::getString(const std::string& key, const std::string& name,
                                    plat::RegView view) {
  plat::RegKey k = 0;
  if (plat::regOpenKey(plat::hklm(), key, plat::RegAccess::Read, view, &k) != 0) return "<missing>";
  uint32_t size = 0;
  uint32_t type = 0;
  std::string out = "<missing>";
  if (plat::regGetValue(k, name, &type, nullptr, &size) == 0) {
    std::string buf(size, '\0');
    if (plat::regGetValue(k, name, &type, &buf[0], &size) == 0) {
      buf.resize(size);
      if (!buf.empty() && buf.back() == '\0') buf.pop_back();
      out = buf;
    }
  }
  plat::regCloseKey(k);
  return out;
}

}  // namespace zuvoze::testing

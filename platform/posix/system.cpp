// System information on posix.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <vector>

#include "zuvoze/platform/system.h"

namespace zuvoze::plat {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_args;
int g_instanceLock = -1;
bool g_instanceChecked = false;
bool g_otherInstance = false;

std::string selfPath() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

void initProcess(int argc, char** argv) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_args.clear();
  for (int i = 0; i < argc; ++i) g_args.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

std::string windowsFolder() {
  const char* w = std::getenv("ZUVOZE_WINDIR");
  return (w != nullptr && *w != '\0') ? w : "C:\\Windows";
}

std::string systemFolder() {
  std::string w = windowsFolder();
  if (!w.empty() && (w.back() == '\\' || w.back() == '/')) return w + "System32";
  return w + "\\System32";
}

std::string getEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v != nullptr ? v : "";
}

std::string programPath() { return selfPath(); }

std::string programFolder() {
  std::string p = selfPath();
  std::string::size_type slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

std::string programName() {
  std::string p = selfPath();
  std::string name = p.substr(p.find_last_of('/') + 1);
  std::string::size_type dot = name.find_last_of('.');
  return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

std::string commandLineText() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string text;
  for (size_t i = 1; i < g_args.size(); ++i) {
    if (i > 1) text += ' ';
    text += g_args[i];
  }
  return text;
}

// One lock file per executable path and user; the lock is held (and closed on
// exec, so started children do not inherit it) for the life of the process.
bool previousInstanceRunning() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_instanceChecked) return g_otherInstance;
  g_instanceChecked = true;
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  size_t hash = std::hash<std::string>{}(selfPath());
  std::string name = folder + "/zuvoze-instance-" + std::to_string(getuid()) + "-" +
                     std::to_string(hash) + ".lock";
  g_instanceLock = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (g_instanceLock < 0) return false;  // cannot tell: let this one run
  int rc;
  while ((rc = flock(g_instanceLock, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  g_otherInstance = rc != 0 && errno == EWOULDBLOCK;
  return g_otherInstance;
}

}  // namespace zuvoze::plat

// System folders, environment and the running program.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "zuvoze/platform/system.h"

namespace zuvoze::plat {
namespace {

// Calls a "fill this buffer" function of the system until the buffer is large
// enough; "" when it fails.
template <typename F>
std::string growingBuffer(F fill) {
  DWORD size = MAX_PATH;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<char> buf(size + 1, '\0');
    DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size() - 1) return std::string(buf.data(), n);
    // Too small: n is the size needed, or (GetModuleFileNameA) the size given.
    size = n > size * 2 ? n : size * 2;
  }
  return std::string();
}

std::mutex g_instanceMutex;
HANDLE g_instanceHandle = nullptr;
bool g_instanceChecked = false;
bool g_instanceRunning = false;

}  // namespace

void initProcess(int, char**) {
  // Everything is read from the system when asked for.
}

std::string windowsFolder() {
  return growingBuffer([](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); });
}

std::string systemFolder() {
  return growingBuffer([](char* b, DWORD n) { return GetSystemDirectoryA(b, n); });
}

std::string getEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v != nullptr ? std::string(v) : std::string();
}

std::string programPath() {
  // GetModuleFileNameA truncates silently and returns the buffer size then.
  return growingBuffer([](char* b, DWORD n) { return GetModuleFileNameA(nullptr, b, n); });
}

std::string programFolder() {
  std::string p = programPath();
  size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : p.substr(0, cut);
}

std::string programName() {
  std::string p = programPath();
  size_t cut = p.find_last_of("\\/");
  std::string name = cut == std::string::npos ? p : p.substr(cut + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string commandLineText() {
  const char* c = GetCommandLineA();
  if (c == nullptr) return std::string();
  // The program name ends at the closing quote when it starts with one, else
  // at the first blank or tab; quotes inside an unquoted name do not count.
  if (*c == '"') {
    ++c;
    while (*c != '\0' && *c != '"') ++c;
    if (*c == '"') ++c;
  } else {
    while (*c != '\0' && *c != ' ' && *c != '\t') ++c;
  }
  while (*c == ' ' || *c == '\t') ++c;
  return std::string(c);
}

bool previousInstanceRunning() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_instanceChecked) return g_instanceRunning;
  g_instanceChecked = true;
  // One named mutex per executable file: the name comes from the lower-cased
  // path, hashed to keep it short and free of backslashes.
  std::string path = programPath();
  std::vector<char> lower(path.begin(), path.end());
  lower.push_back('\0');
  if (!path.empty()) CharLowerBuffA(lower.data(), static_cast<DWORD>(path.size()));
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (size_t i = 0; i < path.size(); ++i) {
    hash ^= static_cast<unsigned char>(lower[i]);
    hash *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\zuvoze-%016llx", static_cast<unsigned long long>(hash));
  // The handle stays open for the life of the process: that is the mark.
  g_instanceHandle = CreateMutexA(nullptr, FALSE, name);
  g_instanceRunning = g_instanceHandle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return g_instanceRunning;
}

}  // namespace zuvoze::plat

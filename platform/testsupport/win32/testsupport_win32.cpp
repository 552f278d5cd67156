// Test helpers, win32 half: the real file system, registry and processes.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

#include "zuvoze/platform/registry.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::testing {
namespace {

void removeTree(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0 || (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n != "." && n != "..") removeTree(path + "\\" + n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(path.c_str());
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
          return std::toupper(static_cast<unsigned char>(x)) <
                 std::toupper(static_cast<unsigned char>(y));
        });
  }
};

// The environment block of this process with the given variables set in it,
// sorted by name as the system keeps it.
std::string environmentBlock(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::map<std::string, std::string, NoCase> vars;
  std::vector<std::string> hidden;  // "=C:=C:\..." entries: per-drive folders
  if (char* env = GetEnvironmentStringsA()) {
    for (const char* p = env; *p != '\0'; p += std::strlen(p) + 1) {
      std::string entry = p;
      size_t eq = entry.find('=', 1);
      if (entry[0] == '=' || eq == std::string::npos) {
        hidden.push_back(entry);
      } else {
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
      }
    }
    FreeEnvironmentStringsA(env);
  }
  for (const auto& kv : extra) {
    vars.erase(kv.first);
    vars[kv.first] = kv.second;
  }
  std::string block;
  for (const auto& h : hidden) block += h + '\0';
  for (const auto& kv : vars) block += kv.first + "=" + kv.second + '\0';
  block += '\0';
  return block;
}

plat::RegKey createOrDie(const std::string& key, plat::RegView view) {
  plat::RegKey k = 0;
  if (uint32_t rc = plat::regCreateKey(plat::hklm(), key, view, &k))
    throw std::runtime_error("cannot create key " + key + ": " + std::to_string(rc));
  return k;
}

void setOrDie(const std::string& key, const std::string& name, uint32_t type, const void* data,
              uint32_t size, plat::RegView view) {
  plat::RegKey k = createOrDie(key, view);
  uint32_t rc = plat::regSetValue(k, name, type, data, size);
  plat::regCloseKey(k);
  if (rc != 0)
    throw std::runtime_error("cannot set " + key + "\\" + name + ": " + std::to_string(rc));
}

}  // namespace

TempDir::TempDir() {
  char base[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof base, base);
  std::string root = (n > 0 && n < sizeof base) ? std::string(base, n) : std::string("C:\\");
  while (root.size() > 3 && isSeparator(root.back())) root.pop_back();
  if (!isSeparator(root.back())) root += '\\';
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[80];
    std::snprintf(name, sizeof name, "zuvoze-test-%lx-%lx-%u", GetCurrentProcessId(),
                  GetTickCount(), ++counter);
    std::string candidate = root + name;
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot create a temporary folder under " + root);
}

TempDir::~TempDir() { removeTree(path_); }

std::string TempDir::sub(const std::string& relative) const { return path_ + "\\" + relative; }

void makeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || isSeparator(path[i])) {
      // Skip the drive ("C:") and the separators of a UNC or rooted start.
      if (i >= 1 && (path[i - 1] == ':' || isSeparator(path[i - 1]))) continue;
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
  }
}

std::string readFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot write " + path + ": " + std::to_string(GetLastError()));
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(h);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The C runtime keeps its own copy of the environment (getenv reads it) and
// the system has the process block (child processes get it): set both.
void setEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void unsetEnv(const std::string& name) {
  _putenv_s(name.c_str(), "");
  SetEnvironmentVariableA(name.c_str(), nullptr);
}

std::string builtProgram(const std::string& name) {
  return plat::programFolder() + "\\" + name + ".exe";
}

RunResult runProgram(const std::string& exe, const std::string& args,
                     const std::vector<std::pair<std::string, std::string>>& env, int timeoutMs,
                     const std::string& workDir) {
  RunResult result;
  std::string line = "\"" + exe + "\"";
  if (!args.empty()) line += " " + args;
  std::vector<char> cmd(line.begin(), line.end());
  cmd.push_back('\0');
  std::string block = environmentBlock(env);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  // Under Wine a start right after the previous run of the same program has
  // been seen to fail now and then; a few tries tell that from a real failure.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             &block[0], workDir.empty() ? nullptr : workDir.c_str(), &si,
                             &pi) != 0;
  }
  if (!started) {
    std::fprintf(stderr, "runProgram: cannot start %s: error %lu\n", exe.c_str(),
                 static_cast<unsigned long>(GetLastError()));
    return result;
  }
  CloseHandle(pi.hThread);
  DWORD wait = WaitForSingleObject(pi.hProcess, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (wait != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 10000);
    result.timedOut = true;
  } else {
    DWORD code = 0;
    if (GetExitCodeProcess(pi.hProcess, &code)) result.exitCode = static_cast<int>(code);
  }
  CloseHandle(pi.hProcess);
  return result;
}

TestRegistry::TestRegistry(std::vector<std::string> keys) : keys_(std::move(keys)) { clear(); }

TestRegistry::~TestRegistry() { clear(); }

// The real registry is shared: remove what the test may meet, in both views.
void TestRegistry::clear() {
  for (const auto& key : keys_) {
    plat::regDeleteTree(plat::hklm(), key, plat::RegView::View64);
    plat::regDeleteTree(plat::hklm(), key, plat::RegView::View32);
  }
}

void TestRegistry::setString(const std::string& key, const std::string& name,
                             const std::string& value, plat::RegView view) {
  setOrDie(key, name, plat::kRegSz, value.c_str(), static_cast<uint32_t>(value.size() + 1), view);
}

void TestRegistry::setDword(const std::string& key, const std::string& name, uint32_t value,
                            plat::RegView view) {
  setOrDie(key, name, plat::kRegDword, &value, 4, view);
}

void TestRegistry::setRaw(const std::string& key, const std::string& name, uint32_t type,
                          const std::string& bytes, plat::RegView view) {
  setOrDie(key, name, type, bytes.data(), static_cast<uint32_t>(bytes.size()), view);
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
    if (size == 0 || plat::regGetValue(k, name, &type, &buf[0], &size) == 0) {
      buf.resize(size);
      if (!buf.empty() && buf.back() == '\0') buf.pop_back();
      out = buf;
    }
  }
  plat::regCloseKey(k);
  return out;
}

}  // namespace zuvoze::testing

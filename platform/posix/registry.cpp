// The registry on posix: a machine-wide store in one text file in the Windows
// registry export format ("Windows Registry Editor Version 5.00"), named by
// $ZUVOZE_REGISTRY (default /var/lib/zuvoze/registry.reg).
//
// Every call reads the store anew, so what another process wrote is seen at
// once. A change is made under an exclusive lock on "<store>.lock": the store is
// read again, changed, written to a temporary file and renamed over the store,
// which keeps its permission bits. A store that cannot be parsed is never
// written; every call then fails with 1015 and registryStoreError() names the
// file and line.
//
// Value data is kept as the ANSI calls see it: a string value's bytes with
// their terminating NUL, a 32-bit value as 4 little-endian bytes. Values that a
// plain "name"="text" line cannot carry exactly are written as hex(N): bytes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "posix_util.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/registry.h"

namespace zuvoze::plat {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

struct Value {
  std::string name;  // "" is the default value (@)
  uint32_t type = kRegSz;
  std::string data;
};

struct Key {
  std::string path;  // full path as written, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\ZUVOZE
  std::vector<Value> values;
};

struct Store {
  std::vector<Key> keys;  // in file order
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

Key* findKey(Store& s, const std::string& path) {
  for (Key& k : s.keys) {
    if (equalsNoCase(k.path, path)) return &k;
  }
  return nullptr;
}

// Keys that every Windows machine has, whether or not the store names them.
bool alwaysPresent(const std::string& path) {
  return equalsNoCase(path, kRoot) || equalsNoCase(path, std::string(kRoot) + "\\SOFTWARE") ||
         equalsNoCase(path, std::string(kRoot) + "\\SOFTWARE\\Wow6432Node");
}

Value* findValue(Key& k, const std::string& name) {
  for (Value& v : k.values) {
    if (equalsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

std::string storePath() {
  const char* p = std::getenv("ZUVOZE_REGISTRY");
  return (p != nullptr && *p != '\0') ? p : "/var/lib/zuvoze/registry.reg";
}

std::mutex g_errorMutex;
std::string g_storeError;
std::string g_reportedError;

uint32_t corrupt(const std::string& file, int line, const std::string& why) {
  std::string text = file + ":" + std::to_string(line) + ": " + why;
  std::lock_guard<std::mutex> lock(g_errorMutex);
  g_storeError = text;
  if (g_reportedError != text) {
    std::fprintf(stderr, "registry store error: %s\n", text.c_str());
    g_reportedError = text;
  }
  setLastError(kErrRegistryCorrupt);
  return kErrRegistryCorrupt;
}

// ---- parsing ---------------------------------------------------------------

// The store's text as single-byte characters (a UTF-16LE export is narrowed).
std::string narrow(const std::string& raw) {
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
      unsigned code = static_cast<unsigned char>(raw[i]) |
                      (static_cast<unsigned>(static_cast<unsigned char>(raw[i + 1])) << 8);
      out += code < 256 ? static_cast<char>(code) : '?';
    }
    return out;
  }
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return raw.substr(3);
  return raw;
}

bool parseHexBytes(const std::string& text, std::string* out) {
  out->clear();
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
    if (i >= text.size()) break;
    if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return false;
    out->push_back(static_cast<char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    i += 2;
    if (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t') return false;
  }
  return true;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool parseQuoted(const std::string& s, size_t& pos, std::string* out) {
  out->clear();
  ++pos;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '\\' && pos < s.size()) {
      out->push_back(s[pos++]);
    } else if (c == '"') {
      return true;
    } else {
      out->push_back(c);
    }
  }
  return false;
}

uint32_t parseStore(const std::string& file, const std::string& raw, Store* store) {
  std::string text = narrow(raw);
  std::vector<std::string> lines;
  {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\r' || c == '\n') {
        lines.push_back(line);
        line.clear();
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
  }
  bool headerSeen = false;
  Key* current = nullptr;
  for (size_t n = 0; n < lines.size(); ++n) {
    int lineNo = static_cast<int>(n) + 1;
    std::string line = lines[n];
    // Continuation lines of hex data end with a backslash.
    while (!line.empty() && line.back() == '\\' && n + 1 < lines.size() &&
           line.find("=hex") != std::string::npos) {
      line.pop_back();
      std::string next = lines[++n];
      size_t start = next.find_first_not_of(" \t");
      line += start == std::string::npos ? std::string() : next.substr(start);
    }
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') continue;
    line = line.substr(first);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!headerSeen) {
      if (line != kHeader && line != "REGEDIT4")
        return corrupt(file, lineNo, "expected the header \"Windows Registry Editor Version 5.00\"");
      headerSeen = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') return corrupt(file, lineNo, "a key line must end with ']'");
      std::string path = line.substr(1, line.size() - 2);
      if (path.empty() || path[0] == '-')
        return corrupt(file, lineNo, "key deletion entries are not supported in the store");
      current = findKey(*store, path);
      if (current == nullptr) {
        store->keys.push_back(Key{path, {}});
        current = &store->keys.back();
      }
      continue;
    }
    if (current == nullptr) return corrupt(file, lineNo, "a value line before any key line");
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      if (!parseQuoted(line, pos, &v.name)) return corrupt(file, lineNo, "unterminated value name");
    } else {
      return corrupt(file, lineNo, "expected a value name in double quotes, or @");
    }
    if (pos >= line.size() || line[pos] != '=') return corrupt(file, lineNo, "expected '=' after the value name");
    std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      std::string s;
      if (!parseQuoted(data, p, &s) || p != data.size())
        return corrupt(file, lineNo, "malformed string data");
      v.type = kRegSz;
      v.data = s + '\0';
    } else if (data.compare(0, 6, "dword:") == 0) {
      std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return corrupt(file, lineNo, "malformed dword data");
      uint32_t d = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
      v.type = kRegDword;
      v.data.assign(reinterpret_cast<const char*>(&d), 4);
    } else if (data.compare(0, 4, "hex:") == 0) {
      v.type = kRegBinary;
      if (!parseHexBytes(data.substr(4), &v.data)) return corrupt(file, lineNo, "malformed hex data");
    } else if (data.compare(0, 4, "hex(") == 0) {
      size_t close = data.find("):");
      if (close == std::string::npos) return corrupt(file, lineNo, "malformed hex(type) data");
      std::string t = data.substr(4, close - 4);
      if (t.empty() || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return corrupt(file, lineNo, "malformed value type");
      v.type = static_cast<uint32_t>(std::strtoul(t.c_str(), nullptr, 16));
      if (!parseHexBytes(data.substr(close + 2), &v.data)) return corrupt(file, lineNo, "malformed hex data");
    } else {
      return corrupt(file, lineNo, "unknown value data form");
    }
    if (Value* old = findValue(*current, v.name)) {
      *old = v;
    } else {
      current->values.push_back(v);
    }
  }
  return kOk;
}

// ---- writing ---------------------------------------------------------------

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string hexBytes(const std::string& data) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(data[i]));
    if (i > 0) out += ',';
    out += b;
  }
  return out;
}

bool plainString(const Value& v) {
  if (v.type != kRegSz || v.data.empty() || v.data.back() != '\0') return false;
  for (size_t i = 0; i + 1 < v.data.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(v.data[i]);
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string serialize(const Store& s) {
  std::string out = std::string(kHeader) + "\r\n";
  for (const Key& k : s.keys) {
    out += "\r\n[" + k.path + "]\r\n";
    for (const Value& v : k.values) {
      out += v.name.empty() ? std::string("@") : quote(v.name);
      out += '=';
      if (plainString(v)) {
        out += quote(v.data.substr(0, v.data.size() - 1));
      } else if (v.type == kRegDword && v.data.size() == 4) {
        uint32_t d;
        std::memcpy(&d, v.data.data(), 4);
        char b[16];
        std::snprintf(b, sizeof b, "dword:%08x", d);
        out += b;
      } else if (v.type == kRegBinary) {
        out += "hex:" + hexBytes(v.data);
      } else {
        char b[16];
        std::snprintf(b, sizeof b, "hex(%x):", v.type);
        out += b + hexBytes(v.data);
      }
      out += "\r\n";
    }
  }
  return out;
}

// ---- store access ----------------------------------------------------------

uint32_t loadStore(const std::string& file, Store* store) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return kOk;  // no store yet: an empty registry
    return posix::fail(errno, file);
  }
  std::string raw;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return posix::fail(err, file);
    }
    if (n == 0) break;
    raw.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return parseStore(file, raw, store);
}

void makeParents(const std::string& file) {
  for (size_t i = 1; i < file.size(); ++i) {
    if (file[i] == '/') ::mkdir(file.substr(0, i).c_str(), 0755);
  }
}

// Runs change on the store under the writers' lock and writes the result.
template <typename F>
uint32_t modifyStore(F change) {
  std::string file = storePath();
  makeParents(file);
  std::string lockName = file + ".lock";
  int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return posix::fail(errno, lockName);
  while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  Store store;
  uint32_t rc = loadStore(file, &store);
  if (rc == kOk) rc = change(store);
  if (rc == kOk) {
    beforeMutation("registry", file);
    struct stat st;
    mode_t mode = stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
    std::string tmp = file + ".tmp-" + std::to_string(getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
      rc = posix::fail(errno, file);
    } else {
      std::string text = serialize(store);
      bool ok = posix::writeAll(fd, text.data(), text.size()) && fchmod(fd, mode) == 0 &&
                fsync(fd) == 0;
      int err = errno;
      ::close(fd);
      if (!ok || ::rename(tmp.c_str(), file.c_str()) != 0) {
        if (ok) err = errno;
        ::unlink(tmp.c_str());
        rc = posix::fail(err, file);
      }
    }
  }
  flock(lock, LOCK_UN);
  ::close(lock);
  return rc;
}

bool storeWritable() {
  std::string file = storePath();
  if (::access(file.c_str(), F_OK) == 0) return ::access(file.c_str(), W_OK) == 0;
  std::string dir = file.substr(0, file.find_last_of('/') + 1);
  if (dir.empty()) dir = ".";
  // A folder that does not exist yet is created on the first write.
  return ::access(dir.c_str(), F_OK) != 0 || ::access(dir.c_str(), W_OK) == 0;
}

// ---- handles ---------------------------------------------------------------

struct OpenKey {
  std::string path;  // full path, view applied
  RegAccess access;
};

std::mutex g_handleMutex;
std::map<RegKey, OpenKey> g_handles;
RegKey g_nextHandle = 0x100;
constexpr RegKey kHklmHandle = 1;

bool pathOf(RegKey key, std::string* path, RegAccess* access) {
  if (key == kHklmHandle) {
    *path = kRoot;
    *access = RegAccess::Full;
    return true;
  }
  std::lock_guard<std::mutex> lock(g_handleMutex);
  auto it = g_handles.find(key);
  if (it == g_handles.end()) return false;
  *path = it->second.path;
  *access = it->second.access;
  return true;
}

// The full path of subkey below parent, in the chosen view: the 32-bit view of
// a key under SOFTWARE lives under SOFTWARE\Wow6432Node.
std::string childPath(const std::string& parent, const std::string& subkey, RegView view) {
  std::string sub = subkey;
  while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  std::string full = sub.empty() ? parent : parent + "\\" + sub;
  if (view == RegView::View32) {
    std::string prefix = std::string(kRoot) + "\\SOFTWARE";
    if (full.size() >= prefix.size() && equalsNoCase(full.substr(0, prefix.size()), prefix) &&
        (full.size() == prefix.size() || full[prefix.size()] == '\\')) {
      std::string rest = full.substr(prefix.size());
      if (!(rest.size() >= 12 && equalsNoCase(rest.substr(0, 12), "\\Wow6432Node")))
        full = full.substr(0, prefix.size()) + "\\Wow6432Node" + rest;
    }
  }
  return full;
}

RegKey newHandle(const std::string& path, RegAccess access) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  RegKey h = g_nextHandle++;
  g_handles[h] = OpenKey{path, access};
  return h;
}

uint32_t readValue(RegKey key, const std::string& name, Value* out) {
  std::string path;
  RegAccess access;
  if (!pathOf(key, &path, &access)) return posix::failCode(kErrInvalidHandle);
  Store store;
  if (uint32_t rc = loadStore(storePath(), &store)) return rc;
  Key* k = findKey(store, path);
  if (k == nullptr)  // deleted while open
    return posix::failCode(alwaysPresent(path) ? kErrFileNotFound : kErrKeyDeleted);
  Value* v = findValue(*k, name);
  if (v == nullptr) return posix::failCode(kErrFileNotFound);
  *out = *v;
  return kOk;
}

}  // namespace

RegKey hklm() { return kHklmHandle; }

uint32_t regOpenKey(RegKey parent, const std::string& subkey, RegAccess access, RegView view,
                    RegKey* out) {
  *out = 0;
  if (view == RegView::Both) return posix::failCode(kErrInvalidParameter);
  if (!subkey.empty() && subkey[0] == '\\') return posix::failCode(kErrBadPathname);
  std::string parentPath;
  RegAccess parentAccess;
  if (!pathOf(parent, &parentPath, &parentAccess)) return posix::failCode(kErrInvalidHandle);
  std::string file = storePath();
  if (::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), R_OK) != 0)
    return posix::failCode(kErrAccessDenied);
  if (access == RegAccess::Full && !storeWritable()) return posix::failCode(kErrAccessDenied);
  std::string path = childPath(parentPath, subkey, view);
  Store store;
  if (uint32_t rc = loadStore(file, &store)) return rc;
  if (findKey(store, path) == nullptr && !alwaysPresent(path))
    return posix::failCode(kErrFileNotFound);
  *out = newHandle(path, access);
  return kOk;
}

uint32_t regCreateKey(RegKey parent, const std::string& subkey, RegView view, RegKey* out) {
  *out = 0;
  if (view == RegView::Both) return posix::failCode(kErrInvalidParameter);
  if (!subkey.empty() && subkey[0] == '\\') return posix::failCode(kErrBadPathname);
  std::string parentPath;
  RegAccess parentAccess;
  if (!pathOf(parent, &parentPath, &parentAccess)) return posix::failCode(kErrInvalidHandle);
  if (!storeWritable()) return posix::failCode(kErrAccessDenied);
  std::string path = childPath(parentPath, subkey, view);
  uint32_t rc = modifyStore([&](Store& s) {
    // Create every missing level, parents first.
    size_t pos = 0;
    while (pos != std::string::npos) {
      pos = path.find('\\', pos + 1);
      std::string level = path.substr(0, pos);
      if (findKey(s, level) == nullptr) s.keys.push_back(Key{level, {}});
    }
    return kOk;
  });
  if (rc != kOk) return rc;
  *out = newHandle(path, RegAccess::Full);
  return kOk;
}

uint32_t regQueryValue(RegKey key, const std::string& name, uint32_t* type, uint32_t* size) {
  Value v;
  if (uint32_t rc = readValue(key, name, &v)) return rc;
  if (type != nullptr) *type = v.type;
  if (size != nullptr) *size = static_cast<uint32_t>(v.data.size());
  return kOk;
}

uint32_t regGetValue(RegKey key, const std::string& name, uint32_t* type, void* data,
                     uint32_t* size) {
  Value v;
  if (uint32_t rc = readValue(key, name, &v)) return rc;
  if (type != nullptr) *type = v.type;
  uint32_t needed = static_cast<uint32_t>(v.data.size());
  if (size == nullptr) return data == nullptr ? kOk : posix::failCode(kErrInvalidParameter);
  if (data == nullptr) {
    *size = needed;
    return kOk;
  }
  if (*size < needed) {
    *size = needed;
    return posix::failCode(kErrMoreData);
  }
  std::memcpy(data, v.data.data(), needed);
  *size = needed;
  return kOk;
}

uint32_t regSetValue(RegKey key, const std::string& name, uint32_t type, const void* data,
                     uint32_t size) {
  std::string path;
  RegAccess access;
  if (!pathOf(key, &path, &access)) return posix::failCode(kErrInvalidHandle);
  if (access != RegAccess::Full) return posix::failCode(kErrAccessDenied);
  std::string bytes(static_cast<const char*>(data), size);
  return modifyStore([&](Store& s) -> uint32_t {
    Key* k = findKey(s, path);
    if (k == nullptr && alwaysPresent(path)) {
      s.keys.push_back(Key{path, {}});
      k = &s.keys.back();
    }
    if (k == nullptr) return posix::failCode(kErrKeyDeleted);
    if (Value* v = findValue(*k, name)) {
      v->type = type;
      v->data = bytes;
    } else {
      k->values.push_back(Value{name, type, bytes});
    }
    return kOk;
  });
}

uint32_t regDeleteValue(RegKey key, const std::string& name) {
  std::string path;
  RegAccess access;
  if (!pathOf(key, &path, &access)) return posix::failCode(kErrInvalidHandle);
  if (access != RegAccess::Full) return posix::failCode(kErrAccessDenied);
  return modifyStore([&](Store& s) -> uint32_t {
    Key* k = findKey(s, path);
    if (k == nullptr) return posix::failCode(kErrFileNotFound);
    for (size_t i = 0; i < k->values.size(); ++i) {
      if (equalsNoCase(k->values[i].name, name)) {
        k->values.erase(k->values.begin() + static_cast<long>(i));
        return kOk;
      }
    }
    return posix::failCode(kErrFileNotFound);
  });
}

uint32_t regDeleteTree(RegKey parent, const std::string& subkey, RegView view) {
  if (view == RegView::Both) return posix::failCode(kErrInvalidParameter);
  std::string parentPath;
  RegAccess access;
  if (!pathOf(parent, &parentPath, &access)) return posix::failCode(kErrInvalidHandle);
  if (!storeWritable()) return posix::failCode(kErrAccessDenied);
  std::string path = childPath(parentPath, subkey, view);
  std::string prefix = lower(path) + "\\";
  return modifyStore([&](Store& s) -> uint32_t {
    size_t before = s.keys.size();
    std::vector<Key> kept;
    for (Key& k : s.keys) {
      std::string l = lower(k.path);
      if (l == lower(path) || l.compare(0, prefix.size(), prefix) == 0) continue;
      kept.push_back(std::move(k));
    }
    s.keys.swap(kept);
    return s.keys.size() == before ? posix::failCode(kErrFileNotFound) : kOk;
  });
}

void regCloseKey(RegKey key) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  g_handles.erase(key);
}

std::string registryStoreError() {
  std::lock_guard<std::mutex> lock(g_errorMutex);
  return g_storeError;
}

}  // namespace zuvoze::plat

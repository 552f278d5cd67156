// posix: the operating system's name from os-release, its version from the
// running kernel's release.
#include <sys/utsname.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/osquery.h"

namespace zuvoze::plat {

namespace {

// A value of an os-release line: quotes removed, backslash escapes resolved.
std::string unquote(const std::string& raw) {
  std::string v = raw;
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    const bool doubleQuoted = v.front() == '"';
    v = v.substr(1, v.size() - 2);
    if (!doubleQuoted) return v;
  }
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) ++i;
    out += v[i];
  }
  return out;
}

bool prettyName(const char* path, std::string* name) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 12, "PRETTY_NAME=") == 0) {
      *name = unquote(line.substr(12));
      return !name->empty();
    }
  }
  return false;
}

// "6.1.0-18-amd64" gives "6.1.0": digits and the dots between them.
std::string dottedStart(const char* release) {
  std::string out;
  for (const char* p = release; *p != '\0'; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p))) {
      out += *p;
    } else if (*p == '.' && !out.empty() && out.back() != '.' &&
               std::isdigit(static_cast<unsigned char>(p[1]))) {
      out += *p;
    } else {
      break;
    }
  }
  return out;
}

}  // namespace

OsQueryError queryOperatingSystemsNative(std::vector<OsInstance>* instances) {
  struct utsname u {};
  if (uname(&u) != 0) {
    OsQueryError e;
    e.number = static_cast<int32_t>(kErrNotSupported);
    e.description = std::string("The kernel does not tell its release: ") + std::strerror(errno);
    return e;
  }
  OsInstance os;
  if (!prettyName("/etc/os-release", &os.caption) &&
      !prettyName("/usr/lib/os-release", &os.caption)) {
    os.caption = u.sysname;
  }
  os.version = dottedStart(u.release);
  instances->push_back(os);
  return OsQueryError{};
}

}  // namespace zuvoze::plat

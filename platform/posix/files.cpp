// Files on posix: Windows-style paths mapped onto the host's file system.
//
// A backslash is a separator; "X:" maps to $ZUVOZE_DRIVE_X (default "/"); each
// name is resolved without regard to letter case against what exists, so
// "VelkMobile.ini" finds "VELKMobile.ini". Replacing a file goes through a
// temporary file in the same folder and a rename, so the target always holds
// either its old or its new content; the new file gets the permission bits of
// the file it replaces or copies.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "posix_util.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/files.h"

namespace zuvoze::plat {
namespace posix {

std::string mapPath(const std::string& path) {
  std::string s = path;
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  if (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':') {
    std::string var = "ZUVOZE_DRIVE_";
    var += static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    const char* root = std::getenv(var.c_str());
    std::string r = (root != nullptr && *root != '\0') ? root : "/";
    s = r + "/" + s.substr(2);
  }
  // Collapse repeated separators; drop a trailing one (but keep the root).
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

bool lexists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

// The entry of folder dir whose name equals name without regard to ASCII letter
// case; the first in byte order when several do. Empty when there is none.
std::string findNoCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::string();
  std::string best;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) {
      if (best.empty() || std::strcmp(e->d_name, best.c_str()) < 0) best = e->d_name;
    }
  }
  closedir(d);
  return best;
}

std::string resolveCase(const std::string& mapped) {
  if (mapped.empty() || lexists(mapped)) return mapped;
  std::string result;
  size_t pos = 0;
  if (mapped[0] == '/') {
    result = "/";
    pos = 1;
  }
  while (pos <= mapped.size()) {
    size_t slash = mapped.find('/', pos);
    std::string comp = mapped.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    std::string rest = slash == std::string::npos ? std::string() : mapped.substr(slash);
    if (comp.empty() || comp == "." || comp == "..") {
      result += comp;
    } else {
      std::string candidate = result + comp;
      if (!lexists(candidate)) {
        std::string dir = result.empty() ? std::string(".") : result;
        std::string found = findNoCase(dir, comp);
        if (found.empty()) return result + comp + rest;  // nothing further exists
        comp = found;
      }
      result += comp;
    }
    if (slash == std::string::npos) break;
    result += '/';
    pos = slash + 1;
  }
  return result;
}

std::atomic<unsigned> g_tempCounter{0};

std::string folderOf(const std::string& host) {
  std::string::size_type slash = host.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

mode_t defaultMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool readOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// Puts data at host through a temporary file and a rename; mode is the
// permission of the new file.
uint32_t replaceAtomically(const std::string& host, const std::string& data, mode_t mode) {
  std::string base = host.substr(host.find_last_of('/') + 1);
  std::string tmp = folderOf(host) + "/." + base + ".zvtmp-" + std::to_string(getpid()) + "-" +
                    std::to_string(g_tempCounter++);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return fail(errno, host);
  bool ok = writeAll(fd, data.data(), data.size()) && fchmod(fd, mode & 07777) == 0 &&
            fsync(fd) == 0;
  int err = errno;
  ::close(fd);
  if (!ok || ::rename(tmp.c_str(), host.c_str()) != 0) {
    if (ok) err = errno;
    ::unlink(tmp.c_str());
    return fail(err, host);
  }
  return kOk;
}

uint32_t readAll(const std::string& host, std::string* content, struct stat* stOut) {
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno, host);
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return failCode(kErrAccessDenied);
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return fail(err, host);
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (stOut != nullptr) *stOut = st;
  content->swap(data);
  return kOk;
}

}  // namespace
}  // namespace posix

using posix::fail;
using posix::failCode;

std::string hostPath(const std::string& path) { return posix::resolveCase(posix::mapPath(path)); }

bool fileExists(const std::string& path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) return false;  // names a folder
  struct stat st;
  return stat(hostPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folderExists(const std::string& path) {
  struct stat st;
  return stat(hostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t createFolder(const std::string& path) {
  std::string host = hostPath(path);
  beforeMutation("createFolder", host);
  if (::mkdir(host.c_str(), 0777) != 0) return fail(errno, host);
  return kOk;
}

uint32_t copyFile(const std::string& from, const std::string& to) {
  std::string src = hostPath(from);
  std::string dst = hostPath(to);
  std::string data;
  struct stat st;
  if (uint32_t rc = posix::readAll(src, &data, &st)) return rc;
  struct stat dst_st;
  if (stat(dst.c_str(), &dst_st) == 0 && (S_ISDIR(dst_st.st_mode) || posix::readOnly(dst_st)))
    return failCode(kErrAccessDenied);
  beforeMutation("copy", dst);
  return posix::replaceAtomically(dst, data, st.st_mode);
}

uint32_t moveFile(const std::string& from, const std::string& to) {
  std::string src = hostPath(from);
  std::string dst = hostPath(to);
  struct stat st;
  if (lstat(src.c_str(), &st) != 0) return fail(errno, src);
  if (lstat(dst.c_str(), &st) == 0) return failCode(kErrAlreadyExists);
  beforeMutation("move", dst);
  if (::rename(src.c_str(), dst.c_str()) == 0) return kOk;
  if (errno != EXDEV) return fail(errno, dst);
  // Another file system: copy, then remove the source.
  if (uint32_t rc = copyFile(from, to)) return rc;
  if (::unlink(src.c_str()) != 0) return fail(errno, src);
  return kOk;
}

uint32_t deleteFile(const std::string& path, bool force) {
  std::string host = hostPath(path);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return fail(errno, host);
  if (S_ISDIR(st.st_mode)) return failCode(kErrAccessDenied);
  if (!force && posix::readOnly(st)) return failCode(kErrAccessDenied);
  beforeMutation("delete", host);
  if (::unlink(host.c_str()) != 0) return fail(errno, host);
  return kOk;
}

uint32_t writeTextFile(const std::string& path, const std::string& content) {
  std::string host = hostPath(path);
  struct stat st;
  mode_t mode = posix::defaultMode();
  if (stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || posix::readOnly(st)) return failCode(kErrAccessDenied);
    mode = st.st_mode;
  }
  beforeMutation("write", host);
  return posix::replaceAtomically(host, content, mode);
}

uint32_t appendTextFile(const std::string& path, const std::string& text, bool create) {
  std::string host = hostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || posix::readOnly(st)))
    return failCode(kErrAccessDenied);
  beforeMutation("append", host);
  int fd = ::open(host.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) return fail(errno, host);
  bool ok = posix::writeAll(fd, text.data(), text.size());
  int err = errno;
  ::close(fd);
  return ok ? kOk : fail(err, host);
}

uint32_t readTextFile(const std::string& path, std::string* content) {
  return posix::readAll(hostPath(path), content, nullptr);
}

uint32_t readLines(const std::string& path, std::vector<std::string>* lines) {
  std::string data;
  if (uint32_t rc = readTextFile(path, &data)) return rc;
  lines->clear();
  std::string line;
  for (size_t i = 0; i < data.size(); ++i) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      lines->push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines->push_back(line);
  return kOk;
}

std::string shortPath(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(hostPath(path).c_str(), &st) != 0) return std::string();
  return path;
}

TextStream::~TextStream() { close(); }

uint32_t TextStream::open(const std::string& path, Mode mode) {
  close();
  std::string host = hostPath(path);
  int flags = O_WRONLY | O_CLOEXEC;
  switch (mode) {
    case Mode::CreateOverwrite: flags |= O_CREAT | O_TRUNC; break;
    case Mode::Append: flags |= O_APPEND; break;
    case Mode::AppendOrCreate: flags |= O_APPEND | O_CREAT; break;
  }
  struct stat st;
  if (stat(host.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || posix::readOnly(st)))
    return failCode(kErrAccessDenied);
  beforeMutation("open", host);
  int fd = ::open(host.c_str(), flags, 0666);
  if (fd < 0) return fail(errno, host);
  handle_ = fd;
  return kOk;
}

uint32_t TextStream::write(const std::string& text) {
  if (handle_ < 0) return failCode(kErrInvalidHandle);
  beforeMutation("writeStream", std::string());
  if (!posix::writeAll(static_cast<int>(handle_), text.data(), text.size())) return fail(errno);
  return kOk;
}

uint32_t TextStream::writeLine(const std::string& text) { return write(text + "\r\n"); }

void TextStream::close() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

bool TextStream::isOpen() const { return handle_ >= 0; }

}  // namespace zuvoze::plat

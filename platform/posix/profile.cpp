// The profile (INI) functions on posix: our own engine with the observable rules
// of the Windows calls.
//
// Reading: a line is a section header when its first non-blank character is
// "[" (the name runs to the first "]" or to the end of the line), a comment when
// it is ";", otherwise a key line split at its first "=" (a line without "=" is
// listed by the section read but is no key). Blanks are space, tab and vertical
// tab; they are trimmed around names and values, and one pair of equal quotes
// around a value is removed. Lines before the first header belong to no section.
// Only the first of several sections (or keys) of the same name is searched.
// CR LF, LF and CR all end a line. A file that starts with FF FE is UTF-16LE and
// is read and written as such; any other file is single-byte text (a UTF-8 mark
// is ordinary bytes).
//
// Writing edits the file in place: every line that the change does not touch
// keeps its bytes (blank lines, comments, line ends, spacing, bytes before the
// first header). New lines end with CR LF. The new content is written to a
// temporary file in the same folder, flushed to disk, given the permission bits
// of the file it replaces, and renamed over the target, so the target holds the
// old or the new content at every instant. Writers to the same folder take an
// exclusive lock on the folder while they read, change and replace the file, so
// two processes writing at once never lose each other's change.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "posix_util.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::plat {
namespace {

using posix::fail;
using posix::failCode;

// ---------------------------------------------------------------------------
// Characters

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

// Letter case as the system's single-byte code page (Windows-1252) folds it.
struct FoldTable {
  unsigned char map[256];
  FoldTable() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) map[c] = static_cast<unsigned char>(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c) {
      if (c != 0xD7) map[c] = static_cast<unsigned char>(c + 32);
    }
    map[0x8A] = 0x9A;
    map[0x8C] = 0x9C;
    map[0x8E] = 0x9E;
    map[0x9F] = 0xFF;
  }
};
const FoldTable kFold;

std::string folded(const char* p, size_t n) {
  std::string s(p, n);
  for (char& c : s) c = static_cast<char>(kFold.map[static_cast<unsigned char>(c)]);
  return s;
}
std::string folded(const std::string& s) { return folded(s.data(), s.size()); }

bool equalNoCase(const char* a, size_t an, const std::string& foldedB) {
  if (an != foldedB.size()) return false;
  for (size_t i = 0; i < an; ++i) {
    if (static_cast<char>(kFold.map[static_cast<unsigned char>(a[i])]) != foldedB[i]) return false;
  }
  return true;
}

// Parameters lose their surrounding spaces only (a tab stays part of the name).
std::string stripSpaces(const char* s) {
  std::string t(s);
  size_t b = t.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  size_t e = t.find_last_not_of(' ');
  return t.substr(b, e - b + 1);
}

// Windows-1252 bytes 0x80-0x9F and the characters they stand for (UTF-16 files).
const uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char narrowOf(uint16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

uint16_t wideOf(char c) {
  unsigned char b = static_cast<unsigned char>(c);
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80];
  return b;
}

// ---------------------------------------------------------------------------
// The parsed file

enum class Kind : uint8_t { Blank, Comment, Section, Key, NoEq };

struct Line {
  size_t begin = 0;  // first character (offsets into Parsed::text())
  size_t end = 0;    // after the last character, before the line end
  size_t next = 0;   // start of the next line (end when the line has no end)
  Kind kind = Kind::Blank;
  size_t nameBegin = 0, nameEnd = 0;  // section name or key, trimmed
  size_t valueBegin = 0, valueEnd = 0;  // value of a key line, trimmed
};

struct Section {
  size_t header = 0;   // line index of the header
  size_t endLine = 0;  // line index of the next header, or the line count
};

struct Parsed {
  std::string raw;      // the file's bytes
  bool utf16 = false;   // raw starts with FF FE
  std::string decoded;  // UTF-16 files: one character per code unit
  std::vector<Line> lines;
  std::vector<Section> sections;
  std::unordered_map<std::string, size_t> firstSection;  // folded name -> index

  const std::string& text() const { return utf16 ? decoded : raw; }
  size_t rawOffset(size_t textOffset) const { return utf16 ? 2 + 2 * textOffset : textOffset; }
  std::string encode(const std::string& narrow) const {
    if (!utf16) return narrow;
    std::string out;
    out.reserve(narrow.size() * 2);
    for (char c : narrow) {
      uint16_t u = wideOf(c);
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    }
    return out;
  }
  std::string name(const Line& l) const { return text().substr(l.nameBegin, l.nameEnd - l.nameBegin); }
  std::string value(const Line& l) const {
    return text().substr(l.valueBegin, l.valueEnd - l.valueBegin);
  }
  // The first section of that name (folded), or npos.
  size_t findSection(const std::string& foldedName) const {
    auto it = firstSection.find(foldedName);
    return it == firstSection.end() ? std::string::npos : it->second;
  }
  // The first key line of that name (folded) in section s, or npos.
  size_t findKey(size_t s, const std::string& foldedKey) const {
    const std::string& t = text();
    for (size_t i = sections[s].header + 1; i < sections[s].endLine; ++i) {
      const Line& l = lines[i];
      if (l.kind == Kind::Key && equalNoCase(t.data() + l.nameBegin, l.nameEnd - l.nameBegin, foldedKey))
        return i;
    }
    return std::string::npos;
  }
};

void trimRange(const std::string& t, size_t* b, size_t* e) {
  while (*b < *e && isBlank(t[*b])) ++*b;
  while (*e > *b && isBlank(t[*e - 1])) --*e;
}

std::shared_ptr<Parsed> parse(std::string raw) {
  auto p = std::make_shared<Parsed>();
  p->raw.swap(raw);
  if (p->raw.size() >= 2 && static_cast<unsigned char>(p->raw[0]) == 0xFF &&
      static_cast<unsigned char>(p->raw[1]) == 0xFE) {
    p->utf16 = true;
    size_t units = (p->raw.size() - 2) / 2;
    p->decoded.resize(units);
    const unsigned char* r = reinterpret_cast<const unsigned char*>(p->raw.data()) + 2;
    for (size_t i = 0; i < units; ++i) {
      p->decoded[i] = narrowOf(static_cast<uint16_t>(r[2 * i] | (r[2 * i + 1] << 8)));
    }
  }
  const std::string& t = p->text();
  const size_t size = t.size();
  size_t pos = 0;
  while (pos < size) {
    Line l;
    l.begin = pos;
    // The line ends at the first CR or LF.
    size_t e = pos;
    while (e < size && t[e] != '\n' && t[e] != '\r') ++e;
    l.end = e;
    if (e < size) {
      l.next = (t[e] == '\r' && e + 1 < size && t[e + 1] == '\n') ? e + 2 : e + 1;
    } else {
      l.next = e;
    }
    size_t q = l.begin;
    while (q < l.end && isBlank(t[q])) ++q;
    if (q == l.end) {
      l.kind = Kind::Blank;
    } else if (t[q] == '[') {
      l.kind = Kind::Section;
      size_t nb = q + 1;
      const void* close = std::memchr(t.data() + nb, ']', l.end - nb);
      size_t ne = close ? static_cast<size_t>(static_cast<const char*>(close) - t.data()) : l.end;
      trimRange(t, &nb, &ne);
      l.nameBegin = nb;
      l.nameEnd = ne;
    } else if (t[q] == ';') {
      l.kind = Kind::Comment;
    } else {
      const void* eq = std::memchr(t.data() + q, '=', l.end - q);
      if (eq != nullptr) {
        size_t at = static_cast<size_t>(static_cast<const char*>(eq) - t.data());
        l.kind = Kind::Key;
        size_t nb = q, ne = at, vb = at + 1, ve = l.end;
        trimRange(t, &nb, &ne);
        trimRange(t, &vb, &ve);
        l.nameBegin = nb;
        l.nameEnd = ne;
        l.valueBegin = vb;
        l.valueEnd = ve;
      } else {
        l.kind = Kind::NoEq;
        size_t nb = q, ne = l.end;
        trimRange(t, &nb, &ne);
        l.nameBegin = nb;
        l.nameEnd = ne;
      }
    }
    if (l.kind == Kind::Section) {
      if (!p->sections.empty()) p->sections.back().endLine = p->lines.size();
      Section s;
      s.header = p->lines.size();
      p->sections.push_back(s);
      p->firstSection.emplace(folded(t.data() + l.nameBegin, l.nameEnd - l.nameBegin),
                              p->sections.size() - 1);
    }
    p->lines.push_back(l);
    pos = l.next;
  }
  if (!p->sections.empty()) p->sections.back().endLine = p->lines.size();
  return p;
}

// ---------------------------------------------------------------------------
// Paths and reading, with a cache of parsed files
//
// A parsed file is reused only while it provably still describes the file:
//  * The entry keeps the file it read open. An inode that is open cannot be
//    freed, so no other file can get its (device, inode) pair while the entry
//    lives; a writer of this engine replaces the file by a rename, which puts a
//    different inode at the path, and the next call sees the change.
//  * A writer that changes the file in place must change its size, mtime or
//    ctime. The kernel stamps ctime from its own clock on every change of
//    content or attributes (it cannot be set from user space), with a
//    granularity of one clock tick. Once a check of the content at time T has
//    seen ctime older than T minus kTrustMarginNs, every later change gets a
//    ctime newer than the recorded one, so equal stamps prove equal content.
//  * Until then (a file changed within the margin), each call reads the content
//    again and compares it byte for byte with what was parsed.
// Only a backwards step of the system clock by more than the margin, followed by
// a same-size in-place change landing on exactly the recorded nanosecond, could
// defeat this; writers of this engine cannot, because they always rename.

constexpr int64_t kTrustMarginNs = 2000000000;  // 2 s: well above any tick, and NFS-ish skew
constexpr size_t kCacheEntries = 8;

int64_t nowNs() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
int64_t ns(const struct timespec& ts) {
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
bool sameStamp(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         ns(a.st_mtim) == ns(b.st_mtim) && ns(a.st_ctim) == ns(b.st_ctim);
}

struct CacheEntry {
  std::string host;
  int fd = -1;
  struct stat st {};
  int64_t checkedAt = 0;  // clock reading taken before the stat of the last content check
  std::shared_ptr<const Parsed> parsed;
};

std::mutex g_cacheMutex;
std::list<CacheEntry> g_cache;  // most recently used first

void dropEntry(std::list<CacheEntry>::iterator it) {
  if (it->fd >= 0) ::close(it->fd);
  g_cache.erase(it);
}

std::list<CacheEntry>::iterator findEntry(const std::string& host) {
  for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
    if (it->host == host) return it;
  }
  return g_cache.end();
}

void forget(const std::string& host) {
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  auto it = findEntry(host);
  if (it != g_cache.end()) dropEntry(it);
}

// Reads everything from fd (from offset 0); false on a read error (errno set).
bool readFd(int fd, off_t sizeHint, std::string* out) {
  std::string data;
  if (sizeHint > 0) data.reserve(static_cast<size_t>(sizeHint) + 1);
  char buf[65536];
  off_t off = 0;
  for (;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, off);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
    off += n;
  }
  out->swap(data);
  return true;
}

// The host path of a profile file: a bare name lives in the Windows folder.
std::string resolvePath(const std::string& file) {
  bool bare = file.find_first_of("\\/") == std::string::npos &&
              !(file.size() >= 2 && file[1] == ':');
  if (bare && !file.empty()) {
    std::string w = windowsFolder();
    if (!w.empty() && w.back() != '\\' && w.back() != '/') w += '\\';
    return hostPath(w + file);
  }
  return hostPath(file);
}

std::string folderOf(const std::string& host) {
  std::string::size_type slash = host.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

struct Loaded {
  std::shared_ptr<const Parsed> parsed;  // null when the file could not be read
  struct stat st {};
  uint32_t error = kOk;  // 2 missing, 3 folder missing, 5 unreadable, ...
};

Loaded load(const std::string& host) {
  Loaded r;
  int64_t t0 = nowNs();
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    int err = errno;
    forget(host);
    r.error = fail(err, host);
    return r;
  }
  if (S_ISDIR(st.st_mode)) {
    forget(host);
    r.error = failCode(kErrAccessDenied);
    return r;
  }
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto it = findEntry(host);
    if (it != g_cache.end()) {
      if (sameStamp(it->st, st)) {
        if (ns(st.st_ctim) <= it->checkedAt - kTrustMarginNs) {
          g_cache.splice(g_cache.begin(), g_cache, it);
          r.parsed = it->parsed;
          r.st = st;
          return r;
        }
        // Changed lately: compare the content itself.
        struct stat fst;
        std::string now;
        if (fstat(it->fd, &fst) == 0 && sameStamp(fst, st) && readFd(it->fd, st.st_size, &now) &&
            now == it->parsed->raw) {
          it->checkedAt = t0;
          g_cache.splice(g_cache.begin(), g_cache, it);
          r.parsed = it->parsed;
          r.st = st;
          return r;
        }
      }
      dropEntry(it);
    }
  }
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.error = fail(errno, host);
    return r;
  }
  t0 = nowNs();
  std::string content;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    r.error = failCode(kErrAccessDenied);
    return r;
  }
  if (!readFd(fd, st.st_size, &content)) {
    int err = errno;
    ::close(fd);
    r.error = fail(err == EISDIR ? EACCES : err, host);
    return r;
  }
  std::shared_ptr<const Parsed> parsed = parse(std::move(content));
  r.parsed = parsed;
  r.st = st;
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto it = findEntry(host);
    if (it != g_cache.end()) dropEntry(it);
    CacheEntry e;
    e.host = host;
    e.fd = fd;
    e.st = st;
    e.checkedAt = t0;
    e.parsed = parsed;
    g_cache.push_front(std::move(e));
    while (g_cache.size() > kCacheEntries) dropEntry(std::prev(g_cache.end()));
  }
  return r;
}

// After a write of this engine: the content it just put at host is known, so
// the cache takes it without reading the file back. The entry is trusted while
// the file's stamps stay as they are: the file is a new inode that this
// process created and renamed into place, and every other writer of this
// engine replaces it by a rename in turn (a new inode, seen at once). Only a
// foreign writer that rewrote this very inode in place with the same size
// within the same clock tick as the rename could go unseen, until the file
// changes again.
void rememberOwnWrite(const std::string& host, std::string content, const struct stat& written) {
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_ino != written.st_ino || st.st_dev != written.st_dev) {
    if (fd >= 0) ::close(fd);
    forget(host);  // already replaced by someone else: read it when asked
    return;
  }
  std::shared_ptr<const Parsed> parsed = parse(std::move(content));
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  auto it = findEntry(host);
  if (it != g_cache.end()) dropEntry(it);
  CacheEntry e;
  e.host = host;
  e.fd = fd;
  e.st = st;
  e.checkedAt = std::numeric_limits<int64_t>::max();  // trusted while the stamps hold
  e.parsed = parsed;
  g_cache.push_front(std::move(e));
  while (g_cache.size() > kCacheEntries) dropEntry(std::prev(g_cache.end()));
}

// ---------------------------------------------------------------------------
// Buffers

// A single value: truncated to size-1 characters and NUL-ended.
uint32_t copyValue(const std::string& v, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return 0;
  if (v.size() >= size) {
    std::memcpy(buf, v.data(), size - 1);
    buf[size - 1] = '\0';
    setLastError(kErrMoreData);
    return size - 1;
  }
  std::memcpy(buf, v.data(), v.size());
  buf[v.size()] = '\0';
  return static_cast<uint32_t>(v.size());
}

enum class EmptyList { OneNul, TwoNuls };

// A list of NUL-ended strings with a final NUL. When it does not fit (an exact
// fit included), the first size-2 characters are kept, two NULs end the buffer
// and size-2 is returned.
uint32_t copyList(const std::vector<std::string>& items, char* buf, uint32_t size, EmptyList empty) {
  if (buf == nullptr || size == 0) return 0;
  if (size <= 2) {
    buf[0] = '\0';
    if (size == 2) buf[1] = '\0';
    return 0;
  }
  if (items.empty()) {
    buf[0] = '\0';
    if (empty == EmptyList::TwoNuls) buf[1] = '\0';
    return 0;
  }
  std::string all;
  for (const std::string& s : items) {
    all += s;
    all += '\0';
  }
  if (all.size() + 2 <= size) {
    std::memcpy(buf, all.data(), all.size());
    buf[all.size()] = '\0';
    return static_cast<uint32_t>(all.size());
  }
  std::memcpy(buf, all.data(), size - 2);
  buf[size - 2] = '\0';
  buf[size - 1] = '\0';
  setLastError(kErrMoreData);
  return size - 2;
}

std::string unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
  return v;
}

std::vector<std::string> sectionNames(const Parsed& p) {
  std::vector<std::string> names;
  names.reserve(p.sections.size());
  for (const Section& s : p.sections) {
    std::string n = p.name(p.lines[s.header]);
    // An empty name would end the list early; "[]" is readable by name only.
    if (!n.empty()) names.push_back(std::move(n));
  }
  return names;
}

// ---------------------------------------------------------------------------
// Edits

struct Splice {
  size_t begin, end;  // text offsets of the replaced range
  std::string text;   // new narrow text
};

// Where a new key of section s goes: after its last key line, else after its
// last comment, else after the header.
size_t insertionLine(const Parsed& p, size_t s) {
  const Section& sec = p.sections[s];
  size_t lastKey = std::string::npos, lastComment = std::string::npos;
  for (size_t i = sec.header + 1; i < sec.endLine; ++i) {
    if (p.lines[i].kind == Kind::Key || p.lines[i].kind == Kind::NoEq) lastKey = i;
    if (p.lines[i].kind == Kind::Comment) lastComment = i;
  }
  if (lastKey != std::string::npos) return lastKey;
  if (lastComment != std::string::npos) return lastComment;
  return sec.header;
}

// A splice that puts text (whole lines, CR LF ended) after line i.
Splice insertAfter(const Parsed& p, size_t i, const std::string& text) {
  const Line& l = p.lines[i];
  Splice sp{l.next, l.next, text};
  if (l.next == l.end) sp.text = "\r\n" + text;  // the line had no end
  return sp;
}

// A splice that appends whole lines at the end of the file.
Splice appendAtEnd(const Parsed& p, const std::string& text) {
  const std::string& t = p.text();
  Splice sp{t.size(), t.size(), text};
  if (!t.empty() && t.back() != '\n' && t.back() != '\r') sp.text = "\r\n" + text;
  return sp;
}

void removeLine(const Parsed& p, size_t i, std::vector<Splice>* edits) {
  edits->push_back(Splice{p.lines[i].begin, p.lines[i].next, std::string()});
}

std::string applyEdits(const Parsed& p, std::vector<Splice> edits) {
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
  std::string out;
  out.reserve(p.raw.size() + 256);
  size_t rawPos = 0;
  for (const Splice& sp : edits) {
    size_t rb = p.rawOffset(sp.begin);
    if (rb > rawPos) out.append(p.raw, rawPos, rb - rawPos);
    out += p.encode(sp.text);
    rawPos = std::max(rawPos, p.rawOffset(sp.end));
  }
  if (rawPos < p.raw.size()) out.append(p.raw, rawPos, std::string::npos);
  return out;
}

std::atomic<unsigned> g_tempCounter{0};

// Replaces host by data through a temporary file beside it. existing: the stat
// of the file being replaced (its permission bits and owner carry over).
// written receives the identity of the new file. The rename makes the change
// atomic for every reader and against a writer that dies half way; like the
// Windows profile functions, a write is not flushed to the disk on its own.
uint32_t replaceFile(const std::string& host, const std::string& data, const struct stat* existing,
                     struct stat* written) {
  std::string base = host.substr(host.find_last_of('/') + 1);
  std::string tmp = folderOf(host) + "/." + base + ".zvtmp-" + std::to_string(getpid()) + "-" +
                    std::to_string(g_tempCounter++);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return fail(errno, host);
  bool ok = true;
  if (existing != nullptr) {
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
      // Not ours to give away: the file keeps our ownership, the bits below still apply.
    }
    ok = fchmod(fd, existing->st_mode & 07777) == 0;
  }
  ok = ok && posix::writeAll(fd, data.data(), data.size()) && fstat(fd, written) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmp.c_str(), host.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return fail(err, host);
  }
  return kOk;
}

// An exclusive lock on a folder, held by every writer of a file in it while it
// reads, changes and replaces the file.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;  // unreadable folder: go on unlocked rather than fail the write
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// The change a write makes, planned against the current content. Returns false
// (with lastError set) to refuse; leaves edits empty for "no change".
using Plan = bool (*)(const Parsed& p, const void* args, std::vector<Splice>* edits);

bool modify(const std::string& file, Plan plan, const void* args) {
  std::string host = resolvePath(file);
  std::string folder = folderOf(host);
  struct stat fst;
  if (host.empty() || ::stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) {
    failCode(kErrPathNotFound);
    return false;
  }
  FolderLock lock(folder);
  Loaded cur = load(host);
  std::shared_ptr<const Parsed> p = cur.parsed;
  bool existed = true;
  if (!p) {
    if (cur.error != kErrFileNotFound) return false;  // lastError set by load
    existed = false;
    p = parse(std::string());
  } else if ((cur.st.st_mode & S_IWUSR) == 0 || ::access(host.c_str(), W_OK) != 0) {
    failCode(kErrAccessDenied);  // read-only file
    return false;
  }
  std::vector<Splice> edits;
  if (!plan(*p, args, &edits)) return false;
  if (edits.empty() && existed) return true;
  std::string out = edits.empty() ? std::string() : applyEdits(*p, std::move(edits));
  if (existed && out == p->raw) return true;
  beforeMutation("profile", host);
  struct stat written {};
  uint32_t rc = replaceFile(host, out, existed ? &cur.st : nullptr, &written);
  if (rc == kOk) {
    rememberOwnWrite(host, std::move(out), written);
  } else {
    forget(host);
  }
  return rc == kOk;
}

// ---------------------------------------------------------------------------
// The write plans

struct KeyArgs {
  std::string section;  // spaces stripped
  std::string key;      // spaces stripped
  const char* value;    // verbatim; null deletes the key
  bool deleteSection;
};

bool planKey(const Parsed& p, const void* a, std::vector<Splice>* edits) {
  const KeyArgs& args = *static_cast<const KeyArgs*>(a);
  size_t s = p.findSection(folded(args.section));
  if (args.deleteSection) {
    if (s == std::string::npos) return true;
    // The header and its key lines go; comments and blank lines stay.
    removeLine(p, p.sections[s].header, edits);
    for (size_t i = p.sections[s].header + 1; i < p.sections[s].endLine; ++i) {
      if (p.lines[i].kind == Kind::Key || p.lines[i].kind == Kind::NoEq) removeLine(p, i, edits);
    }
    return true;
  }
  size_t k = s == std::string::npos ? std::string::npos : p.findKey(s, folded(args.key));
  if (args.value == nullptr) {
    if (k != std::string::npos) removeLine(p, k, edits);
    return true;
  }
  std::string value(args.value);
  if (k != std::string::npos) {
    const Line& l = p.lines[k];
    if (p.value(l) == value) return true;  // same value: the file is left alone
    // The key keeps its spelling; the line keeps its end.
    edits->push_back(Splice{l.begin, l.end, p.name(l) + "=" + value});
    return true;
  }
  std::string line = args.key + "=" + value + "\r\n";
  if (s != std::string::npos) {
    edits->push_back(insertAfter(p, insertionLine(p, s), line));
  } else {
    edits->push_back(appendAtEnd(p, "[" + args.section + "]\r\n" + line));
  }
  return true;
}

struct SectionArgs {
  std::string section;
  std::vector<std::string> entries;  // "key=value" lines
};

bool planSection(const Parsed& p, const void* a, std::vector<Splice>* edits) {
  const SectionArgs& args = *static_cast<const SectionArgs*>(a);
  std::string block;
  for (const std::string& e : args.entries) block += e + "\r\n";
  std::string f = folded(args.section);
  size_t s = p.findSection(f);
  if (s == std::string::npos) {
    if (!args.entries.empty()) edits->push_back(appendAtEnd(p, "[" + args.section + "]\r\n" + block));
    return true;
  }
  // Every section of that name loses its key lines (comments stay); the new
  // lines take the place of the first section's first key line.
  bool placed = false;
  for (size_t si = s; si < p.sections.size(); ++si) {
    const Section& sec = p.sections[si];
    const Line& h = p.lines[sec.header];
    if (si != s && !equalNoCase(p.text().data() + h.nameBegin, h.nameEnd - h.nameBegin, f)) continue;
    for (size_t i = sec.header + 1; i < sec.endLine; ++i) {
      const Line& l = p.lines[i];
      if (l.kind != Kind::Key && l.kind != Kind::NoEq) continue;
      if (!placed) {
        edits->push_back(Splice{l.begin, l.next, block});
        if (l.next == l.end && !block.empty()) {
          // The old line ended the file without a line end: so does the last new one.
          edits->back().text.resize(block.size() - 2);
        }
        placed = true;
      } else {
        removeLine(p, i, edits);
      }
    }
  }
  if (!placed && !block.empty()) edits->push_back(insertAfter(p, insertionLine(p, s), block));
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The five calls

uint32_t getPrivateProfileSectionNames(char* buffer, uint32_t size, const std::string& file) {
  try {
    Loaded f = load(resolvePath(file));
    std::vector<std::string> names;
    if (f.parsed) names = sectionNames(*f.parsed);
    return copyList(names, buffer, size, EmptyList::OneNul);
  } catch (...) {
    failCode(kErrNotEnoughMemory);
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
}

uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const std::string& file) {
  if (section == nullptr) return getPrivateProfileSectionNames(buffer, size, file);
  try {
    std::string def = defaultValue ? defaultValue : "";
    while (!def.empty() && def.back() == ' ') def.pop_back();
    Loaded f = load(resolvePath(file));
    const Parsed* p = f.parsed.get();
    size_t s = p ? p->findSection(folded(stripSpaces(section))) : std::string::npos;
    if (key == nullptr) {
      std::vector<std::string> keys;
      if (s != std::string::npos) {
        for (size_t i = p->sections[s].header + 1; i < p->sections[s].endLine; ++i) {
          const Line& l = p->lines[i];
          if (l.kind == Kind::Key && l.nameEnd > l.nameBegin) keys.push_back(p->name(l));
        }
      }
      if (!keys.empty() || size <= 2) return copyList(keys, buffer, size, EmptyList::OneNul);
      return copyValue(def, buffer, size);  // no keys: the default, ended by one NUL
    }
    size_t k = s == std::string::npos ? std::string::npos : p->findKey(s, folded(stripSpaces(key)));
    if (k == std::string::npos) return copyValue(def, buffer, size);
    return copyValue(unquote(p->value(p->lines[k])), buffer, size);
  } catch (...) {
    failCode(kErrNotEnoughMemory);
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
}

uint32_t getPrivateProfileSection(const char* section, char* buffer, uint32_t size,
                                  const std::string& file) {
  try {
    std::vector<std::string> lines;
    if (section != nullptr) {
      Loaded f = load(resolvePath(file));
      const Parsed* p = f.parsed.get();
      size_t s = p ? p->findSection(folded(stripSpaces(section))) : std::string::npos;
      if (s != std::string::npos) {
        for (size_t i = p->sections[s].header + 1; i < p->sections[s].endLine; ++i) {
          const Line& l = p->lines[i];
          if (l.kind == Kind::Key) lines.push_back(p->name(l) + "=" + p->value(l));
          if (l.kind == Kind::NoEq) lines.push_back(p->name(l));
        }
      }
    }
    return copyList(lines, buffer, size, EmptyList::TwoNuls);
  } catch (...) {
    failCode(kErrNotEnoughMemory);
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
}

bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
  try {
    if (section == nullptr) {
      if (key == nullptr && value == nullptr) return true;  // a "flush": nothing is cached
      failCode(kErrFileNotFound);
      return false;
    }
    KeyArgs args;
    args.section = stripSpaces(section);
    args.deleteSection = key == nullptr;
    if (key != nullptr) args.key = stripSpaces(key);
    args.value = value;
    return modify(file, planKey, &args);
  } catch (...) {
    failCode(kErrNotEnoughMemory);
    return false;
  }
}

bool writePrivateProfileSection(const char* section, const char* lines, const std::string& file) {
  try {
    if (section == nullptr) {
      if (lines == nullptr) return true;
      failCode(kErrFileNotFound);
      return false;
    }
    if (lines == nullptr) return writePrivateProfileString(section, nullptr, nullptr, file);
    SectionArgs args;
    args.section = stripSpaces(section);
    for (const char* e = lines; *e != '\0'; e += std::strlen(e) + 1) {
      // An entry without "=" names no key and is dropped.
      if (std::strchr(e, '=') != nullptr) args.entries.emplace_back(e);
    }
    return modify(file, planSection, &args);
  } catch (...) {
    failCode(kErrNotEnoughMemory);
    return false;
  }
}

}  // namespace zuvoze::plat

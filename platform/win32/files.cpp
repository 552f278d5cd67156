// Files and folders through the system's own calls (ANSI forms).
#include <windows.h>
#include <aclapi.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "zuvoze/platform/files.h"

namespace zuvoze::plat {
namespace {

uint32_t fail() {
  DWORD e = GetLastError();
  return e != 0 ? e : ERROR_INVALID_FUNCTION;
}

uint32_t failWith(uint32_t code) {
  SetLastError(code);
  return code;
}

// The folder part of a path, with its separator ("" for a bare name).
std::string folderOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A name for a scratch file beside the target, so that the final rename stays
// within one volume and cannot be seen half done.
std::string tempBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  char name[64];
  std::snprintf(name, sizeof name, "~zvz%lx.%u.tmp", GetCurrentProcessId(), ++counter);
  return folderOf(target) + name;
}

// Puts the access list (DACL) of one file on another; best effort, a file
// system without access lists keeps what it has.
void copyAccess(const std::string& from, const std::string& to) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  if (GetSecurityDescriptorControl(sd, &control, &revision)) {
    info |= (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION;
  }
  std::vector<char> target(to.begin(), to.end());
  target.push_back('\0');
  SetNamedSecurityInfoA(target.data(), SE_FILE_OBJECT, info, nullptr, nullptr, dacl, nullptr);
  LocalFree(sd);
}

uint32_t writeAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x40000000 ? 0x40000000
                                                                       : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return fail();
    if (written == 0) return failWith(ERROR_HANDLE_DISK_FULL);
    done += written;
  }
  return 0;
}

// A read-only file refuses to be replaced or written, as on Windows (where
// some file systems, and Wine run by root, would let a rename over it pass).
bool readOnlyFile(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (a & FILE_ATTRIBUTE_READONLY) != 0;
}

// Moves a finished scratch file over the target in one step.
uint32_t replaceWith(const std::string& temp, const std::string& target) {
  if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  uint32_t e = fail();
  SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(temp.c_str());
  return failWith(e);
}

}  // namespace

bool fileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool folderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint32_t createFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) ? 0 : fail();
}

uint32_t copyFile(const std::string& from, const std::string& to) {
  // Copy to a scratch file first: the target keeps its old content until the
  // new one is complete, and then changes in one rename.
  if (readOnlyFile(to)) return failWith(ERROR_ACCESS_DENIED);
  std::string temp = tempBeside(to);
  if (!CopyFileA(from.c_str(), temp.c_str(), TRUE)) {
    uint32_t e = fail();
    DeleteFileA(temp.c_str());
    return failWith(e);
  }
  copyAccess(from, temp);
  return replaceWith(temp, to);
}

uint32_t moveFile(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) ? 0 : fail();
}

uint32_t deleteFile(const std::string& path, bool force) {
  DWORD a = INVALID_FILE_ATTRIBUTES;
  if (force) {
    a = GetFileAttributesA(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0 &&
        (a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      SetFileAttributesA(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    } else {
      a = INVALID_FILE_ATTRIBUTES;
    }
  }
  if (DeleteFileA(path.c_str())) return 0;
  uint32_t e = fail();
  if (a != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), a);  // left as it was
  return failWith(e);
}

uint32_t writeTextFile(const std::string& path, const std::string& content) {
  if (readOnlyFile(path)) return failWith(ERROR_ACCESS_DENIED);
  std::string temp = tempBeside(path);
  HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail();
  uint32_t rc = writeAll(h, content);
  if (rc == 0 && !FlushFileBuffers(h)) rc = fail();
  CloseHandle(h);
  if (rc != 0) {
    DeleteFileA(temp.c_str());
    return failWith(rc);
  }
  // A replaced file keeps its own access.
  if (fileExists(path)) copyAccess(path, temp);
  return replaceWith(temp, path);
}

uint32_t appendTextFile(const std::string& path, const std::string& text, bool create) {
  if (readOnlyFile(path)) return failWith(ERROR_ACCESS_DENIED);
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail();
  uint32_t rc = writeAll(h, text);
  CloseHandle(h);
  return rc == 0 ? 0 : failWith(rc);
}

uint32_t readTextFile(const std::string& path, std::string* content) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail();
  std::string data;
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, buf, sizeof buf, &got, nullptr)) {
      uint32_t e = fail();
      CloseHandle(h);
      return failWith(e);
    }
    if (got == 0) break;
    data.append(buf, got);
  }
  CloseHandle(h);
  if (content != nullptr) content->swap(data);
  return 0;
}

uint32_t readLines(const std::string& path, std::vector<std::string>* lines) {
  std::string data;
  uint32_t rc = readTextFile(path, &data);
  if (rc != 0) return rc;
  std::vector<std::string> out;
  size_t start = 0;
  size_t i = 0;
  while (i < data.size()) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      out.push_back(data.substr(start, i - start));
      i += (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < data.size()) out.push_back(data.substr(start));
  if (lines != nullptr) lines->swap(out);
  return 0;
}

std::string shortPath(const std::string& path) {
  DWORD size = MAX_PATH;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<char> buf(size + 1, '\0');
    DWORD n = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    size = n;  // the size needed, with its NUL
  }
  return std::string();
}

std::string hostPath(const std::string& path) { return path; }

TextStream::~TextStream() { close(); }

uint32_t TextStream::open(const std::string& path, Mode mode) {
  close();
  if (readOnlyFile(path)) return failWith(ERROR_ACCESS_DENIED);
  DWORD access = mode == Mode::CreateOverwrite ? GENERIC_WRITE : FILE_APPEND_DATA;
  DWORD disposition = mode == Mode::CreateOverwrite ? CREATE_ALWAYS
                      : mode == Mode::Append        ? OPEN_EXISTING
                                                    : OPEN_ALWAYS;
  // Others may read the log while it is written, and move it once closed.
  HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

uint32_t TextStream::write(const std::string& text) {
  if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
  // WriteFile goes straight to the system: nothing is held back in this process.
  return writeAll(reinterpret_cast<HANDLE>(handle_), text);
}

uint32_t TextStream::writeLine(const std::string& text) { return write(text + "\r\n"); }

void TextStream::close() {
  if (isOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

bool TextStream::isOpen() const { return handle_ != -1; }

}  // namespace zuvoze::plat

#include <cerrno>
#include <sys/stat.h>

#include "posix_util.h"
#include "zuvoze/platform/errors.h"

namespace zuvoze::plat {

namespace {
thread_local uint32_t t_lastError = 0;
}

uint32_t lastError() { return t_lastError; }
void setLastError(uint32_t code) { t_lastError = code; }

namespace posix {

uint32_t winError(int err) {
  switch (err) {
    case 0: return kOk;
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrAccessDenied;
    case EEXIST: return kErrAlreadyExists;
    case ENOSPC:
    case EDQUOT: return kErrDiskFull;
    case EROFS: return kErrWriteProtect;
    case EBUSY:
    case ETXTBSY: return kErrSharingViolation;
    case ENAMETOOLONG: return kErrFilenameExcedRange;
    case EINVAL: return kErrInvalidParameter;
    case ENOMEM: return kErrNotEnoughMemory;
    case EMFILE:
    case ENFILE: return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case ENOTEMPTY: return kErrDirNotEmpty;
    case EBADF: return kErrInvalidHandle;
    case ENOEXEC: return kErrBadFormat;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

uint32_t fail(int err, const std::string& hostPath) {
  uint32_t code = winError(err);
  if (err == ENOENT && !hostPath.empty()) {
    std::string::size_type slash = hostPath.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
      struct stat st;
      std::string parent = hostPath.substr(0, slash);
      if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) code = kErrPathNotFound;
    }
  }
  setLastError(code);
  return code;
}

uint32_t failCode(uint32_t code) {
  setLastError(code);
  return code;
}

}  // namespace posix
}  // namespace zuvoze::plat

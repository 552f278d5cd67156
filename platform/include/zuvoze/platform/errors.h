// Windows error codes as the platform layer reports them, on every backend.
#pragma once
#include <cstdint>

namespace zuvoze::plat {

enum WinError : uint32_t {
  kOk = 0,
  kErrInvalidFunction = 1,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrBadFormat = 11,
  kErrInvalidData = 13,
  kErrWriteProtect = 19,
  kErrSharingViolation = 32,
  kErrHandleDiskFull = 39,
  kErrNotSupported = 50,
  kErrFileExists = 80,
  kErrInvalidParameter = 87,
  kErrDiskFull = 112,
  kErrInsufficientBuffer = 122,
  kErrInvalidName = 123,
  kErrDirNotEmpty = 145,
  kErrAlreadyExists = 183,
  kErrBadPathname = 161,
  kErrFilenameExcedRange = 206,
  kErrMoreData = 234,
  kErrNoMoreItems = 259,
  kErrBadDb = 1009,
  kErrCantOpenKey = 1011,
  kErrRegistryCorrupt = 1015,
  kErrKeyDeleted = 1018,
  kErrServiceRequestTimeout = 1053,
  kErrServiceAlreadyRunning = 1056,
  kErrServiceDisabled = 1058,
  kErrServiceDoesNotExist = 1060,
  kErrServiceCannotAcceptCtrl = 1061,
  kErrServiceNotActive = 1062,
};

// The calling thread's last error code, as GetLastError() gives it. Every
// platform call that fails sets it; calls that succeed may leave it alone.
uint32_t lastError();
void setLastError(uint32_t code);

}  // namespace zuvoze::plat

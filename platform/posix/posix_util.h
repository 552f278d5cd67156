// Internal helpers of the posix backend: errno to Windows codes, path mapping.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zuvoze::plat::posix {

// The Windows error code that stands for an errno value.
uint32_t winError(int err);
// Sets lastError() to winError(err) and returns it. For ENOENT, a missing
// parent folder gives 3 (path not found) instead of 2, as Windows does.
uint32_t fail(int err, const std::string& hostPath = std::string());
uint32_t failCode(uint32_t code);

// Writes all of data to fd (retrying short writes); false with errno set.
bool writeAll(int fd, const char* data, size_t size);

// hostPath without the letter-case resolution (drive mapping and separators only).
std::string mapPath(const std::string& path);

}  // namespace zuvoze::plat::posix

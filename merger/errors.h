// The merger's failures. A procedure's body raises MergeError; the procedure's
// own error path catches it, logs it with its name, restores what it changed and
// returns normally. Numbers and descriptions are those of the classic runtime
// errors, so a log reads "... 13 Type mismatch".
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zuvoze::merger {

struct MergeError : std::runtime_error {
  MergeError(int32_t num, std::string desc)
      : std::runtime_error(desc), number(num), description(std::move(desc)) {}
  int32_t number;
  std::string description;
};

enum ErrNo : int32_t {
  kErrOverflow = 6,            // "Overflow"
  kErrSubscript = 9,           // "Subscript out of range"
  kErrTypeMismatch = 13,       // "Type mismatch"
  kErrFileNotFound = 53,       // "File not found"
  kErrFileExists = 58,         // "File already exists"
  kErrPermissionDenied = 70,   // "Permission denied"
  kErrPathFileAccess = 75,     // "Path/File access error"
  kErrPathNotFound = 76,       // "Path not found"
};

[[noreturn]] void raise(int32_t number);  // with the standard description
[[noreturn]] void raise(int32_t number, const std::string& description);
// Raises the runtime error that stands for a failed file operation with this
// Windows error code (2 -> 53, 3 -> 76, 5/32 -> 70, 80/183 -> 58, else 75).
[[noreturn]] void raiseFileError(uint32_t winCode);

// Ends the program at once (ReadRegistry's early ends, the driver's error path,
// MoveLogFile). Caught only by main, which returns exitCode.
struct ProgramEnd {
  int exitCode;
};

}  // namespace zuvoze::merger

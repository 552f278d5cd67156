// The merger's runtime errors: numbers with their standard descriptions, and
// the mapping of failed file operations onto them.
#include "merger/errors.h"

#include "zuvoze/platform/errors.h"

namespace zuvoze::merger {

namespace {
std::string standardDescription(int32_t number) {
  switch (number) {
    case 5: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case 7: return "Out of memory";
    case kErrSubscript: return "Subscript out of range";
    case 11: return "Division by zero";
    case kErrTypeMismatch: return "Type mismatch";
    case 52: return "Bad file name or number";
    case kErrFileNotFound: return "File not found";
    case 57: return "Device I/O error";
    case kErrFileExists: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case kErrPermissionDenied: return "Permission denied";
    case kErrPathFileAccess: return "Path/File access error";
    case kErrPathNotFound: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 424: return "Object required";
    case 429: return "ActiveX component can't create object";
    default: return "Application-defined or object-defined error";
  }
}
}  // namespace

void raise(int32_t number) { throw MergeError(number, standardDescription(number)); }

void raise(int32_t number, const std::string& description) {
  throw MergeError(number, description);
}

void raiseFileError(uint32_t winCode) {
  switch (winCode) {
    case plat::kErrFileNotFound: raise(kErrFileNotFound);
    case plat::kErrPathNotFound: raise(kErrPathNotFound);
    case plat::kErrAccessDenied:
    case plat::kErrSharingViolation: raise(kErrPermissionDenied);
    case plat::kErrFileExists:
    case plat::kErrAlreadyExists: raise(kErrFileExists);
    default: raise(kErrPathFileAccess);
  }
}

}  // namespace zuvoze::merger

// System message texts on posix: the texts Windows gives for the codes the
// tools meet, and a generic text for any other code.
#include <cstdio>
#include <cstring>

#include "zuvoze/platform/message.h"

namespace zuvoze::plat {
namespace {

struct Entry {
  uint32_t code;
  const char* text;
};

const Entry kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {19, "The media is write protected."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {1009, "The configuration registry database is corrupt."},
    {1011, "The configuration registry key could not be opened."},
    {1015, "The registry is corrupted. The structure of one of the files containing registry data is "
           "corrupted, or the system's memory image of the file is corrupted, or the file could not "
           "be recovered because the alternate copy or log was absent or corrupted."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1053, "The service did not respond to the start or control request in a timely fashion."},
    {1056, "An instance of the service is already running."},
    {1058, "The service cannot be started, either because it is disabled or because it has no "
           "enabled devices associated with it."},
    {1060, "The specified service does not exist as an installed service."},
    {1061, "The service cannot accept control messages at this time."},
    {1062, "The service has not been started."},
    {1066, "The service has returned a service-specific error code."},
};

}  // namespace

uint32_t systemMessage(uint32_t code, char* buf, uint32_t size) {
  std::string text;
  for (const Entry& e : kMessages) {
    if (e.code == code) {
      text = e.text;
      break;
    }
  }
  if (text.empty()) text = "System error " + std::to_string(code) + ".";
  text += "\r\n";
  if (buf == nullptr || text.size() + 1 > size) return 0;
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}

}  // namespace zuvoze::plat

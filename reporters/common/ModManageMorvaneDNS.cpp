// ModManageMorvaneDNS: the view-probing registry reader and the base address
// of a message from Configuration\MorvaneDNS.ini.
#include <vector>

#include "reporters.h"
#include "zuvoze/platform/profile.h"

namespace zuvoze::reporters {

std::string fncReadRegistry(plat::RegKey root, const std::string& keyPath,
                            const std::string& valueName, int16_t kind) {
  plat::RegKey key = 0;
  try {
    // The first view that opens is used, whether or not it holds the value.
    const plat::RegView views[] = {plat::RegView::View64, plat::RegView::View32,
                                   plat::RegView::Default};
    bool opened = false;
    for (plat::RegView view : views) {
      if (plat::regOpenKey(root, keyPath, plat::RegAccess::Read, view, &key) == plat::kOk) {
        opened = true;
        break;
      }
    }
    if (!opened) return "";
    std::string result;
    if (kind == plat::kRegSz) {
      result = readStringValueOf(key, valueName);
    } else if (kind == plat::kRegDword) {
      uint32_t number = 0;
      uint32_t size = sizeof(number);
      uint32_t type = 0;
      if (plat::regGetValue(key, valueName, &type, &number, &size) == plat::kOk) {
        result = std::to_string(static_cast<int32_t>(number));
      }
    }
    plat::regCloseKey(key);
    return result;
  } catch (...) {
    if (key != 0) plat::regCloseKey(key);
    return "";
  }
}

std::string fncGetURL(const std::string& messageName) {
  std::string folder =
      fncReadRegistry(plat::hklm(), "SOFTWARE\\ZUVOZE", "InstallationPath", plat::kRegSz);
  std::string trimmed = trimBlanks(folder);
  if (trimmed.empty() || trimmed.back() != '\\') folder += "\\";
  std::string value =
      trimBlanks(fncReadINI(messageName, "URL", folder + "Configuration\\MorvaneDNS.ini"));
  if (!value.empty() && value.back() != '/') value += "/";
  return value;
}

std::string fncReadINI(const std::string& section, const std::string& key,
                       const std::string& file) {
  try {
    std::vector<char> buffer(5000, '\0');
    uint32_t n = plat::getPrivateProfileString(section.c_str(), key.c_str(), "", buffer.data(),
                                               static_cast<uint32_t>(buffer.size()), file);
    std::string withoutNuls;
    for (char c : buffer) {
      if (c != '\0') withoutNuls += c;
    }
    if (trimBlanks(withoutNuls).empty()) return "";
    if (n > buffer.size()) n = static_cast<uint32_t>(buffer.size());
    return trimBlanks(std::string(buffer.data(), n));
  } catch (...) {
    return "";
  }
}

}  // namespace zuvoze::reporters

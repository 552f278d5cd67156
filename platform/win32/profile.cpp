// The profile functions are the system's own; these only adapt the types.
#include <windows.h>

#include "zuvoze/platform/profile.h"

namespace zuvoze::plat {

uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const std::string& file) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file.c_str());
}

bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
  return WritePrivateProfileStringA(section, key, value, file.c_str()) != FALSE;
}

uint32_t getPrivateProfileSectionNames(char* buffer, uint32_t size, const std::string& file) {
  return GetPrivateProfileSectionNamesA(buffer, size, file.c_str());
}

uint32_t getPrivateProfileSection(const char* section, char* buffer, uint32_t size,
                                  const std::string& file) {
  return GetPrivateProfileSectionA(section, buffer, size, file.c_str());
}

bool writePrivateProfileSection(const char* section, const char* lines, const std::string& file) {
  return WritePrivateProfileSectionA(section, lines, file.c_str()) != FALSE;
}

}  // namespace zuvoze::plat

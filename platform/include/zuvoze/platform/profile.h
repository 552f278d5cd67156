// The profile (INI) functions, with the observable rules of the Windows calls:
// GetPrivateProfileStringA, WritePrivateProfileStringA,
// GetPrivateProfileSectionNamesA, GetPrivateProfileSectionA and
// WritePrivateProfileSectionA. Arguments, buffers and return values follow those
// calls exactly (null pointers where Windows takes NULL).
//
// win32: the real functions. posix: our own engine, which edits the file in place
// (untouched lines stay byte-exact), replaces it atomically and keeps its access,
// and reads the file anew on every call, so every read sees the last write, also
// one made by another process.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::plat {

uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const std::string& file);
bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file);
uint32_t getPrivateProfileSectionNames(char* buffer, uint32_t size, const std::string& file);
uint32_t getPrivateProfileSection(const char* section, char* buffer, uint32_t size,
                                  const std::string& file);
// lines: "key=value" entries, each ended by a NUL, the list ended by a second NUL.
bool writePrivateProfileSection(const char* section, const char* lines, const std::string& file);

}  // namespace zuvoze::plat

// Registry access under HKEY_LOCAL_MACHINE.
//
// win32: the real registry (RegOpenKeyExA and friends).
// posix: a machine-wide store kept in one text file in the Windows registry
// export format; its path is $ZUVOZE_REGISTRY (default /var/lib/zuvoze/registry.reg).
// On both, the 32-bit view of a key under SOFTWARE is SOFTWARE\Wow6432Node\...,
// and the default view of these (64-bit) programs is the 64-bit one.
//
// Every call returns a Windows error code: 0, 2 (not found), 5 (access denied),
// 234 (more data), 1009/1015 (a posix store that cannot be read or parsed; the
// reason, naming file and line, is in registryStoreError()).
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::plat {

using RegKey = std::uintptr_t;  // opaque handle; 0 means none

RegKey hklm();  // the predefined HKEY_LOCAL_MACHINE handle

enum class RegView {
  Default,  // the process's own view (64-bit for our builds)
  View64,   // KEY_WOW64_64KEY
  View32,   // KEY_WOW64_32KEY
  Both,     // both selectors set at once (KEY_WOW64_64KEY | KEY_WOW64_32KEY)
};
enum class RegAccess { Read, Full };

enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  kRegQword = 11,
};

uint32_t regOpenKey(RegKey parent, const std::string& subkey, RegAccess access, RegView view,
                    RegKey* out);
// Opens the key, creating it and any missing levels (RegCreateKeyExA).
uint32_t regCreateKey(RegKey parent, const std::string& subkey, RegView view, RegKey* out);
// RegQueryValueExA: type and size (bytes) of a value; either pointer may be null.
uint32_t regQueryValue(RegKey key, const std::string& name, uint32_t* type, uint32_t* size);
// RegQueryValueExA with data: on entry *size is the buffer size; a buffer that is
// too small gives 234 with *size set to the size needed. data may be null (size only).
uint32_t regGetValue(RegKey key, const std::string& name, uint32_t* type, void* data,
                     uint32_t* size);
uint32_t regSetValue(RegKey key, const std::string& name, uint32_t type, const void* data,
                     uint32_t size);
// A REG_SZ value holding text (stored with its terminating NUL).
uint32_t regSetString(RegKey key, const std::string& name, const std::string& text);
uint32_t regDeleteValue(RegKey key, const std::string& name);
// Deletes a key with all its subkeys and values (used by tests and tools' cleanup).
uint32_t regDeleteTree(RegKey parent, const std::string& subkey, RegView view);
void regCloseKey(RegKey key);

// posix: the reason of the last store failure ("FILE:LINE: ..."); empty on win32.
std::string registryStoreError();

}  // namespace zuvoze::plat

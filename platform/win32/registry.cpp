// The registry: the system's own, under HKEY_LOCAL_MACHINE.
#include <windows.h>

#include "zuvoze/platform/registry.h"

namespace zuvoze::plat {
namespace {

HKEY toHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey fromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

REGSAM viewFlags(RegView view) {
  switch (view) {
    case RegView::View64:
      return KEY_WOW64_64KEY;
    case RegView::View32:
      return KEY_WOW64_32KEY;
    case RegView::Both:
      return KEY_WOW64_64KEY | KEY_WOW64_32KEY;
    case RegView::Default:
      break;
  }
  return 0;
}

// The registry calls return their code instead of setting the last error; the
// layer's callers read either.
uint32_t result(LONG rc) {
  if (rc != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(rc));
  return static_cast<uint32_t>(rc);
}

}  // namespace

RegKey hklm() { return fromHkey(HKEY_LOCAL_MACHINE); }

uint32_t regOpenKey(RegKey parent, const std::string& subkey, RegAccess access, RegView view,
                    RegKey* out) {
  HKEY h = nullptr;
  REGSAM sam = (access == RegAccess::Full ? KEY_ALL_ACCESS : KEY_READ) | viewFlags(view);
  LONG rc = RegOpenKeyExA(toHkey(parent), subkey.c_str(), 0, sam, &h);
  if (out != nullptr) *out = rc == ERROR_SUCCESS ? fromHkey(h) : 0;
  else if (rc == ERROR_SUCCESS) RegCloseKey(h);
  return result(rc);
}

uint32_t regCreateKey(RegKey parent, const std::string& subkey, RegView view, RegKey* out) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(toHkey(parent), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS | viewFlags(view), nullptr, &h, nullptr);
  if (out != nullptr) *out = rc == ERROR_SUCCESS ? fromHkey(h) : 0;
  else if (rc == ERROR_SUCCESS) RegCloseKey(h);
  return result(rc);
}

uint32_t regQueryValue(RegKey key, const std::string& name, uint32_t* type, uint32_t* size) {
  DWORD t = 0;
  DWORD s = 0;
  LONG rc = RegQueryValueExA(toHkey(key), name.c_str(), nullptr, &t, nullptr, &s);
  if (rc == ERROR_SUCCESS) {
    if (type != nullptr) *type = t;
    if (size != nullptr) *size = s;
  }
  return result(rc);
}

uint32_t regGetValue(RegKey key, const std::string& name, uint32_t* type, void* data,
                     uint32_t* size) {
  if (size == nullptr && data != nullptr) return result(ERROR_INVALID_PARAMETER);
  DWORD t = 0;
  DWORD s = size != nullptr ? *size : 0;
  LONG rc = RegQueryValueExA(toHkey(key), name.c_str(), nullptr, &t, static_cast<LPBYTE>(data),
                             size != nullptr ? &s : nullptr);
  if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    if (type != nullptr) *type = t;
    if (size != nullptr) *size = s;
  }
  return result(rc);
}

uint32_t regSetValue(RegKey key, const std::string& name, uint32_t type, const void* data,
                     uint32_t size) {
  return result(RegSetValueExA(toHkey(key), name.c_str(), 0, type,
                               static_cast<const BYTE*>(data), size));
}

uint32_t regDeleteValue(RegKey key, const std::string& name) {
  return result(RegDeleteValueA(toHkey(key), name.c_str()));
}

uint32_t regDeleteTree(RegKey parent, const std::string& subkey, RegView view) {
  // RegDeleteTreeA knows no view: open the key in the wanted view, empty it,
  // then remove the key itself from that view.
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(toHkey(parent), subkey.c_str(), 0, KEY_ALL_ACCESS | viewFlags(view), &h);
  if (rc != ERROR_SUCCESS) return result(rc);
  rc = RegDeleteTreeA(h, nullptr);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) return result(rc);
  return result(RegDeleteKeyExA(toHkey(parent), subkey.c_str(), viewFlags(view), 0));
}

void regCloseKey(RegKey key) {
  if (key != 0) RegCloseKey(toHkey(key));
}

std::string registryStoreError() { return std::string(); }

}  // namespace zuvoze::plat

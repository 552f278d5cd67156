// win32: Win32_OperatingSystem from the management service of the local
// machine, the namespace root\cimv2 that the moniker "winmgmts:" names.
#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string>

#include "zuvoze/platform/osquery.h"

namespace zuvoze::plat {

namespace {

// CLSID_WbemLocator, defined here so that no extra import library is needed.
const CLSID kClsidWbemLocator = {
    0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

std::string narrow(const wchar_t* w, size_t len) {
  if (w == nullptr || len == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), &s[0], n, nullptr, nullptr);
  return s;
}

OsQueryError failure(HRESULT hr, const char* step) {
  OsQueryError e;
  e.number = static_cast<int32_t>(hr);
  char buf[512] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), 0, buf, sizeof(buf), nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  e.description = text.empty() ? std::string("Management service: ") + step + " failed" : text;
  return e;
}

// A text property of an instance; empty when it is null or missing.
std::string textProperty(IWbemClassObject* obj, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  std::string text;
  if (SUCCEEDED(obj->Get(name, 0, &v, nullptr, nullptr))) {
    if (V_VT(&v) == VT_BSTR && V_BSTR(&v) != nullptr) {
      text = narrow(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
    } else if (V_VT(&v) != VT_NULL && V_VT(&v) != VT_EMPTY) {
      VARIANT copy;
      VariantInit(&copy);
      if (SUCCEEDED(VariantChangeType(&copy, &v, 0, VT_BSTR))) {
        text = narrow(V_BSTR(&copy), SysStringLen(V_BSTR(&copy)));
      }
      VariantClear(&copy);
    }
  }
  VariantClear(&v);
  return text;
}

OsQueryError query(std::vector<OsInstance>* instances) {
  // Fails harmlessly (RPC_E_TOO_LATE) when the process has already set it.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  IWbemLocator* locator = nullptr;
  HRESULT hr = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IWbemLocator), reinterpret_cast<void**>(&locator));
  if (FAILED(hr)) return failure(hr, "creating the locator");

  IWbemServices* services = nullptr;
  BSTR ns = SysAllocString(L"ROOT\\CIMV2");
  hr = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(ns);
  locator->Release();
  if (FAILED(hr)) return failure(hr, "connecting to root\\cimv2");

  CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);

  IEnumWbemClassObject* rows = nullptr;
  BSTR lang = SysAllocString(L"WQL");
  BSTR wql = SysAllocString(L"SELECT * FROM Win32_OperatingSystem");
  hr = services->ExecQuery(lang, wql, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                           nullptr, &rows);
  SysFreeString(lang);
  SysFreeString(wql);
  if (FAILED(hr)) {
    services->Release();
    return failure(hr, "querying Win32_OperatingSystem");
  }

  OsQueryError result;
  for (;;) {
    IWbemClassObject* obj = nullptr;
    ULONG got = 0;
    hr = rows->Next(WBEM_INFINITE, 1, &obj, &got);
    if (FAILED(hr)) {
      result = failure(hr, "reading Win32_OperatingSystem");
      break;
    }
    if (got == 0) break;
    OsInstance os;
    os.caption = textProperty(obj, L"Caption");
    os.version = textProperty(obj, L"Version");
    instances->push_back(os);
    obj->Release();
  }
  rows->Release();
  services->Release();
  return result;
}

}  // namespace

OsQueryError queryOperatingSystemsNative(std::vector<OsInstance>* instances) {
  HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  OsQueryError result = query(instances);
  if (SUCCEEDED(init)) CoUninitialize();
  return result;
}

}  // namespace zuvoze::plat

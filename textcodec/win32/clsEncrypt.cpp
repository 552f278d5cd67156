// The in-process component server of the string codec: the creatable class
// clsEncrypt ("TextCodecLib.clsEncrypt") with its dual interface _clsEncrypt,
// whose IDispatch half runs on the type information carried in this DLL.
// The class keeps no state; every call works on its argument alone.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <string>

#include "textcodec.h"
#include "textcodec/codec.h"
#include "zuvoze/platform/codepage.h"

namespace {

namespace plat = zuvoze::plat;
namespace codec = zuvoze::textcodec;

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
const wchar_t kProgId[] = L"TextCodecLib.clsEncrypt";

std::u16string textOf(BSTR b) {
  if (b == nullptr) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
}

BSTR bstrOf(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

// The failure status of an error number, as a late-bound caller reads it back
// (the control facility carries the number itself).
HRESULT statusOf(int32_t number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<uint32_t>(number) & 0xFFFFu);
}

// Code strings are ASCII; descriptions may quote bytes of the code page.
std::wstring wideOf(const std::string& ansi) {
  std::u16string w;
  if (!plat::fromAnsi(ansi, &w)) return std::wstring(1, L'?');
  return std::wstring(w.begin(), w.end());
}

class Encrypt : public _clsEncrypt, public ISupportErrorInfo {
 public:
  Encrypt() { InterlockedIncrement(&g_objects); }
  virtual ~Encrypt() {
    if (info_ != nullptr) info_->Release();
    InterlockedDecrement(&g_objects);
  }

  HRESULT init() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(IID__clsEncrypt, &info_);
    lib->Release();
    return hr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__clsEncrypt) {
      *out = static_cast<_clsEncrypt*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID__clsEncrypt ? S_OK : S_FALSE;
  }

  // IDispatch over the type information of _clsEncrypt.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n == nullptr) return E_POINTER;
    *n = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    info_->AddRef();
    *out = info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    failure_ = codec::CodecError{};
    HRESULT hr = info_->Invoke(static_cast<_clsEncrypt*>(this), id, flags, params, result, excep,
                               argErr);
    if (failure_) {
      // A failed method reaches a late-bound caller as an exception with the
      // error number and its description.
      if (excep != nullptr) {
        SysFreeString(excep->bstrSource);
        SysFreeString(excep->bstrDescription);
        SysFreeString(excep->bstrHelpFile);
        *excep = EXCEPINFO{};
        excep->scode = statusOf(failure_.number);
        excep->bstrSource = SysAllocString(kProgId);
        excep->bstrDescription = SysAllocString(wideOf(failure_.description).c_str());
      }
      return DISP_E_EXCEPTION;
    }
    return hr;
  }

  // _clsEncrypt
  HRESULT STDMETHODCALLTYPE EncryptString(BSTR strSetString, BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    std::string codes;
    codec::CodecError e = codec::EncryptString(plat::toAnsi(textOf(strSetString)), &codes);
    if (e) return raise(e);
    std::wstring w = wideOf(codes);
    *result = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE DecryptString(BSTR strSetString, BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    std::string text;
    codec::CodecError e = codec::DecryptString(plat::toAnsi(textOf(strSetString)), &text);
    if (e) return raise(e);
    std::u16string wide;
    if (!plat::fromAnsi(text, &wide)) {
      return raise(codec::CodecError{codec::kInvalidCall,
                                     "Invalid procedure call or argument: no character"});
    }
    *result = bstrOf(wide);
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  // Records the failure for Invoke and as the thread's error information for
  // callers through the interface itself.
  HRESULT raise(const codec::CodecError& e) {
    failure_ = e;
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
      create->SetGUID(IID__clsEncrypt);
      create->SetSource(const_cast<LPOLESTR>(kProgId));
      std::wstring text = wideOf(e.description);
      create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
      IErrorInfo* info = nullptr;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
      }
      create->Release();
    }
    return statusOf(e.number);
  }

  LONG refs_ = 1;
  ITypeInfo* info_ = nullptr;
  codec::CodecError failure_;
};

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory for the life of the DLL.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Encrypt* object = new (std::nothrow) Encrypt();
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = object->init();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

Factory g_factory;

std::wstring guidText(REFGUID g) {
  wchar_t buf[64];
  StringFromGUID2(g, buf, 64);
  return buf;
}

LONG setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (clsid != CLSID_clsEncrypt) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  const std::wstring clsid = guidText(CLSID_clsEncrypt);
  const std::wstring clsidKey = L"CLSID\\" + clsid;
  if (setValue(clsidKey, nullptr, kProgId) ||
      setValue(clsidKey + L"\\InprocServer32", nullptr, path) ||
      setValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") ||
      setValue(clsidKey + L"\\ProgID", nullptr, kProgId) ||
      setValue(clsidKey + L"\\VersionIndependentProgID", nullptr, kProgId) ||
      setValue(clsidKey + L"\\TypeLib", nullptr, guidText(LIBID_TextCodecLib)) ||
      setValue(clsidKey + L"\\Version", nullptr, L"5.0") ||
      setValue(clsidKey + L"\\Programmable", nullptr, L"") ||
      setValue(kProgId, nullptr, kProgId) ||
      setValue(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid)) {
    return SELFREG_E_CLASS;
  }
  // The type library also enters the interface (dual: marshalled by the
  // automation marshaller).
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
  if (FAILED(hr)) return SELFREG_E_TYPELIB;
  hr = RegisterTypeLib(lib, path, nullptr);
  lib->Release();
  return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

STDAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(CLSID_clsEncrypt)).c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(CLSID_clsEncrypt)).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
  UnRegisterTypeLib(LIBID_TextCodecLib, 5, 0, 0x409, SYS_WIN64);
  return S_OK;
}

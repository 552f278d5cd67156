// A scripted stand-in of the web-post component for the tests under Wine.
// Registered as "Quillon.WebPost". Every call of PostXMLString appends one line
// to the file named by QUILLON_STUB_LOG: the nine arguments, TAB-separated,
// each marked "&" when passed by reference and "=" when by value, with TAB, CR,
// LF and backslash escaped. The answer of call n (counted by the lines already
// in that file) is line n of the file named by QUILLON_STUB_SCRIPT (its last
// line once the script is used up):
//   true|false <TAB> answer <TAB> second <TAB> third     (escaped like the log)
//   error <hex HRESULT> <description>
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillonstub.h"

namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
const wchar_t kProgId[] = L"Quillon.WebPost";

std::string narrow(BSTR b) {
  if (b == nullptr) return std::string();
  UINT len = SysStringLen(b);
  int n = WideCharToMultiByte(CP_ACP, 0, b, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, b, static_cast<int>(len), &s[0], n, nullptr, nullptr);
  return s;
}

BSTR widen(const std::string& s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::string readAll(const char* path) {
  std::string data;
  if (path == nullptr) return data;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return data;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
  std::fclose(f);
  return data;
}

std::string describe(const VARIANT* v, bool byRef) {
  const VARIANT* target = v;
  if (V_VT(v) == (VT_BYREF | VT_VARIANT)) target = V_VARIANTREF(v);
  std::string text;
  if (V_VT(target) == VT_BSTR) {
    text = narrow(V_BSTR(target));
  } else if (V_VT(target) == VT_BOOL) {
    text = V_BOOL(target) ? "true" : "false";
  } else {
    text = "<vt " + std::to_string(V_VT(target)) + ">";
  }
  return (byRef ? "&" : "=") + escape(text);
}

void setText(VARIANT* v, const std::string& text) {
  VariantClear(v);
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = widen(text);
}

class Stub : public IQuillonStub {
 public:
  Stub() { InterlockedIncrement(&g_objects); }
  virtual ~Stub() {
    if (info_ != nullptr) info_->Release();
    InterlockedDecrement(&g_objects);
  }

  HRESULT init() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(IID_IQuillonStub, &info_);
    lib->Release();
    return hr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IQuillonStub) {
      *out = static_cast<IQuillonStub*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // IDispatch over the type information of the interface.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (index != 0) return DISP_E_BADINDEX;
    info_->AddRef();
    *out = info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    // QUILLON_STUB_NAMES_ERROR (an HRESULT in hex) makes the name lookup fail,
    // as that of a component whose type library is not registered does.
    const char* fail = std::getenv("QUILLON_STUB_NAMES_ERROR");
    if (fail != nullptr && *fail != '\0') {
      return static_cast<HRESULT>(std::strtoul(fail, nullptr, 16));
    }
    return DispGetIDsOfNames(info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    pendingError_ = S_OK;
    pendingText_.clear();
    HRESULT hr = info_->Invoke(static_cast<IQuillonStub*>(this), id, flags, params, result,
                               excep, argErr);
    if (pendingError_ != S_OK) {
      if (excep != nullptr) {
        SysFreeString(excep->bstrDescription);
        SysFreeString(excep->bstrSource);
        *excep = EXCEPINFO{};
        excep->scode = pendingError_;
        excep->bstrSource = SysAllocString(kProgId);
        excep->bstrDescription = widen(pendingText_);
      }
      return DISP_E_EXCEPTION;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE PostXMLString(VARIANT* xml, VARIANT flag, VARIANT* url, VARIANT arg4,
                                          VARIANT arg5, VARIANT* answer, VARIANT* second,
                                          VARIANT* third, VARIANT* fourth,
                                          VARIANT* result) override {
    const char* logPath = std::getenv("QUILLON_STUB_LOG");
    std::string log = readAll(logPath);
    size_t call = 0;
    for (char c : log) call += c == '\n';

    std::string line = describe(xml, true) + "\t" + describe(&flag, false) + "\t" +
                       describe(url, true) + "\t" + describe(&arg4, false) + "\t" +
                       describe(&arg5, false) + "\t" + describe(answer, true) + "\t" +
                       describe(second, true) + "\t" + describe(third, true) + "\t" +
                       describe(fourth, true) + "\n";
    if (logPath != nullptr) {
      FILE* f = std::fopen(logPath, "ab");
      if (f != nullptr) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
      }
    }

    std::vector<std::string> script;
    for (std::string l : split(readAll(std::getenv("QUILLON_STUB_SCRIPT")), '\n')) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (!l.empty()) script.push_back(l);
    }
    std::string step = script.empty() ? "false" : script[call < script.size() ? call : script.size() - 1];
    VariantInit(result);
    if (step.compare(0, 6, "error ") == 0) {
      std::string rest = step.substr(6);
      size_t blank = rest.find(' ');
      pendingError_ = static_cast<HRESULT>(std::strtoul(rest.substr(0, blank).c_str(), nullptr, 16));
      pendingText_ = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
      setText(second, "stub second output");
      setText(third, "stub third output");
      return pendingError_;
    }
    std::vector<std::string> fields = split(step, '\t');
    if (fields.size() > 1) setText(answer, unescape(fields[1]));
    if (fields.size() > 2) setText(second, unescape(fields[2]));
    if (fields.size() > 3) setText(third, unescape(fields[3]));
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = fields[0] == "true" ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  ITypeInfo* info_ = nullptr;
  HRESULT pendingError_ = S_OK;
  std::string pendingText_;
};

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Stub* stub = new Stub();
    HRESULT hr = stub->init();
    if (SUCCEEDED(hr)) hr = stub->QueryInterface(riid, out);
    stub->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

std::wstring guidText(REFGUID g) {
  wchar_t buf[64];
  StringFromGUID2(g, buf, 64);
  return buf;
}

LONG setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
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
  if (clsid != CLSID_QuillonStub) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring clsidKey = L"CLSID\\" + guidText(CLSID_QuillonStub);
  if (setValue(HKEY_CLASSES_ROOT, clsidKey, nullptr, L"Quillon web-post test component") ||
      setValue(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, path) ||
      setValue(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") ||
      setValue(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, kProgId) ||
      setValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr,
               guidText(CLSID_QuillonStub))) {
    return E_FAIL;
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(lib, path, nullptr);
  lib->Release();
  return FAILED(hr) ? E_FAIL : S_OK;
}

STDAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(CLSID_QuillonStub)).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  UnRegisterTypeLib(LIBID_QuillonStubLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  return S_OK;
}

// win32: the web-post component through COM, created by its programmatic
// identifier and called by name (IDispatch, late binding).
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "zuvoze/platform/webpost.h"

namespace zuvoze::plat {

namespace {

std::wstring widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string narrow(const wchar_t* w, size_t len) {
  if (w == nullptr || len == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), &s[0], n, nullptr, nullptr);
  return s;
}

std::string fromBstr(BSTR b) { return b == nullptr ? std::string() : narrow(b, SysStringLen(b)); }

BSTR toBstr(const std::string& s) {
  std::wstring w = widen(s);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

// The text of a variant as a late-bound caller reads it back.
std::string textOf(const VARIANT& v) {
  if (V_VT(&v) == VT_BSTR) return fromBstr(V_BSTR(&v));
  if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_NULL) return std::string();
  VARIANT copy;
  VariantInit(&copy);
  std::string text;
  if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR))) {
    text = fromBstr(V_BSTR(&copy));
  }
  VariantClear(&copy);
  return text;
}

std::string systemText(HRESULT hr) {
  char buf[512] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), 0, buf, sizeof(buf), nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "Automation error" : text;
}

// The error number a late-bound caller sees for an HRESULT: errors of the
// automation facility give their own small number, others the HRESULT itself.
int32_t errorNumber(HRESULT hr) {
  uint32_t u = static_cast<uint32_t>(hr);
  if ((u & 0xFFFF0000u) == 0x800A0000u) return static_cast<int32_t>(u & 0xFFFFu);
  return static_cast<int32_t>(u);
}

void ensureComInitialized() {
  static thread_local bool done = false;
  if (!done) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    done = true;
  }
}

class ComWebPost : public WebPostObject {
 public:
  explicit ComWebPost(IDispatch* disp) : disp_(disp) {}
  ~ComWebPost() override {
    if (disp_ != nullptr) disp_->Release();
  }
  ComWebPost(const ComWebPost&) = delete;
  ComWebPost& operator=(const ComWebPost&) = delete;

  WebPostError postXMLString(PostXMLArgs& a, bool* result) override {
    *result = false;
    wchar_t name[] = L"PostXMLString";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    HRESULT hr = disp_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    // Only a name the object does not know means a missing method; any other
    // failure (a type library that is not registered, above all) is raised as
    // it is, so that the caller can tell it.
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
      return {kWebPostNoSuchMethod, "Object doesn't support this property or method"};
    }
    if (FAILED(hr)) return {errorNumber(hr), systemText(hr)};

    // The by-reference arguments point at variants that hold the texts.
    std::string* refs[] = {&a.xml, &a.address, &a.answer, &a.second, &a.third, &a.fourth};
    VARIANT held[6];
    for (int i = 0; i < 6; ++i) {
      VariantInit(&held[i]);
      V_VT(&held[i]) = VT_BSTR;
      V_BSTR(&held[i]) = toBstr(*refs[i]);
    }
    VARIANT flag, arg4, arg5;
    VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = a.flag ? VARIANT_TRUE : VARIANT_FALSE;
    VariantInit(&arg4);
    V_VT(&arg4) = VT_BSTR;
    V_BSTR(&arg4) = toBstr(a.arg4);
    VariantInit(&arg5);
    V_VT(&arg5) = VT_BSTR;
    V_BSTR(&arg5) = toBstr(a.arg5);

    auto byRef = [](VARIANT* target) {
      VARIANT v;
      VariantInit(&v);
      V_VT(&v) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&v) = target;
      return v;
    };
    // Arguments go in reverse order: the last one first.
    VARIANTARG args[9] = {byRef(&held[5]), byRef(&held[4]), byRef(&held[3]), byRef(&held[2]),
                          arg5,            arg4,            byRef(&held[1]), flag,
                          byRef(&held[0])};
    DISPPARAMS params{args, nullptr, 9, 0};
    VARIANT ret;
    VariantInit(&ret);
    EXCEPINFO info{};
    UINT argError = 0;
    hr = disp_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &ret, &info,
                       &argError);

    for (int i = 0; i < 6; ++i) {
      *refs[i] = textOf(held[i]);
      VariantClear(&held[i]);
    }
    VariantClear(&arg4);
    VariantClear(&arg5);

    WebPostError error;
    if (hr == DISP_E_EXCEPTION) {
      if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
      error.number = info.wCode != 0 ? static_cast<int32_t>(info.wCode) : errorNumber(info.scode);
      error.description = info.bstrDescription != nullptr ? fromBstr(info.bstrDescription)
                                                          : systemText(info.scode);
      if (error.number == 0) error.number = errorNumber(E_FAIL);
    } else if (FAILED(hr)) {
      error.number = errorNumber(hr);
      error.description = systemText(hr);
    } else {
      VARIANT b;
      VariantInit(&b);
      if (SUCCEEDED(VariantChangeType(&b, &ret, 0, VT_BOOL))) {
        *result = V_BOOL(&b) != VARIANT_FALSE;
      } else {
        error = {13, "Type mismatch"};
      }
      VariantClear(&b);
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    VariantClear(&ret);
    return error;
  }

 private:
  IDispatch* disp_;
};

}  // namespace

WebPostError createWebPostNative(const std::string& progId, std::unique_ptr<WebPostObject>* out) {
  ensureComInitialized();
  const WebPostError cannotCreate{kWebPostCannotCreate, "ActiveX component can't create object"};
  CLSID clsid;
  std::wstring wide = widen(progId);
  if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return cannotCreate;
  IDispatch* disp = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(&disp));
  if (hr == TYPE_E_LIBNOTREGISTERED) return {kWebPostLibNotRegistered, systemText(hr)};
  if (FAILED(hr) || disp == nullptr) return cannotCreate;
  out->reset(new ComWebPost(disp));
  return {};
}

void setWebPostTimeoutsForTest(uint32_t, uint32_t) {}

}  // namespace zuvoze::plat

// One table of cases for the codec, run through every way to reach it on this
// platform: the two functions themselves, and the component as its clients
// see it (posix: the C library; win32: the component DLL loaded here and called
// through its class factory, by slot and by name). Then a round trip over
// every character of the code page, and the type library's description.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "textcodec/codec.h"
#include "zuvoze/platform/codepage.h"

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>
#endif

// win32: the header generated from the type library's IDL; posix: the C interface.
#include "textcodec.h"

namespace {

namespace plat = zuvoze::plat;
namespace codec = zuvoze::textcodec;

// The outcome of one call: 0 and the result, or the error number.
struct Outcome {
  int number = 0;
  std::string text;  // UTF-8 (texts) or ASCII (code strings)
  bool operator==(const Outcome& o) const { return number == o.number && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "{" << o.number << ", \"" << o.text << "\"}";
}

struct Channel {
  const char* name;
  std::function<Outcome(const std::string&)> encrypt, decrypt;
};

std::u16string wide(const std::string& utf8) {
  std::u16string w;
  EXPECT_TRUE(plat::fromUtf8(utf8, &w)) << utf8;
  return w;
}

Channel functions() {
  return {"functions",
          [](const std::string& text) {
            std::string codes;
            codec::CodecError e = codec::EncryptString(plat::toAnsi(wide(text)), &codes);
            return e ? Outcome{e.number, ""} : Outcome{0, codes};
          },
          [](const std::string& codes) {
            std::string ansi;
            codec::CodecError e = codec::DecryptString(codes, &ansi);
            if (e) return Outcome{e.number, ""};
            std::u16string w;
            EXPECT_TRUE(plat::fromAnsi(ansi, &w));
            return Outcome{0, plat::toUtf8(w)};
          }};
}

#ifdef _WIN32
const DISPID kEncryptId = 0x60030000;
const DISPID kDecryptId = 0x60030001;

// The component DLL next to this test, loaded once and never unloaded.
_clsEncrypt* newObject() {
  static HMODULE dll = [] {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    p = p.substr(0, p.find_last_of("\\/") + 1) + "textcodec.dll";
    return LoadLibraryA(p.c_str());
  }();
  if (dll == nullptr) return nullptr;
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (getClassObject == nullptr) return nullptr;
  IClassFactory* factory = nullptr;
  if (FAILED(getClassObject(CLSID_clsEncrypt, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    return nullptr;
  _clsEncrypt* object = nullptr;
  HRESULT hr = factory->CreateInstance(nullptr, IID__clsEncrypt, reinterpret_cast<void**>(&object));
  factory->Release();
  return SUCCEEDED(hr) ? object : nullptr;
}

BSTR bstrOf(const std::string& utf8) {
  std::u16string w = wide(utf8);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(w.data()), static_cast<UINT>(w.size()));
}
std::string utf8Of(BSTR b) {
  if (b == nullptr) return std::string();
  return plat::toUtf8(std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)));
}

// The error number a late-bound caller reads from a failure status.
int numberOf(HRESULT hr) {
  EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_CONTROL) << std::hex << hr;
  return static_cast<int>(hr & 0xFFFF);
}

Outcome bySlot(bool encrypt, const std::string& arg) {
  _clsEncrypt* o = newObject();
  if (o == nullptr) {
    ADD_FAILURE() << "component not created";
    return {-1, ""};
  }
  BSTR in = bstrOf(arg);
  BSTR out = nullptr;
  HRESULT hr = encrypt ? o->EncryptString(in, &out) : o->DecryptString(in, &out);
  SysFreeString(in);
  Outcome r = SUCCEEDED(hr) ? Outcome{0, utf8Of(out)} : Outcome{numberOf(hr), ""};
  if (FAILED(hr)) {
    EXPECT_EQ(out, nullptr);
  }
  SysFreeString(out);
  o->Release();
  return r;
}

Outcome byName(bool encrypt, const std::string& arg) {
  _clsEncrypt* o = newObject();
  if (o == nullptr) {
    ADD_FAILURE() << "component not created";
    return {-1, ""};
  }
  IDispatch* d = nullptr;
  EXPECT_EQ(o->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  o->Release();
  OLECHAR name[32];
  const char* n = encrypt ? "EncryptString" : "DecryptString";
  for (int i = 0; (name[i] = static_cast<OLECHAR>(n[i])) != 0; ++i) {
  }
  LPOLESTR names[1] = {name};
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
  EXPECT_EQ(id, encrypt ? kEncryptId : kDecryptId);
  VARIANT arg0;
  VariantInit(&arg0);
  V_VT(&arg0) = VT_BSTR;
  V_BSTR(&arg0) = bstrOf(arg);
  DISPPARAMS params = {&arg0, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep = {};
  UINT argErr = 0;
  HRESULT hr = d->Invoke(id, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result, &excep, &argErr);
  Outcome r;
  if (hr == DISP_E_EXCEPTION) {
    r = {numberOf(excep.scode), ""};
    EXPECT_NE(excep.bstrDescription, nullptr);
    EXPECT_EQ(utf8Of(excep.bstrSource), "TextCodecLib.clsEncrypt");
  } else {
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(V_VT(&result), VT_BSTR);
    r = {0, V_VT(&result) == VT_BSTR ? utf8Of(V_BSTR(&result)) : "<no text>"};
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  VariantClear(&result);
  VariantClear(&arg0);
  d->Release();
  return r;
}

std::vector<Channel> channels() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  return {functions(),
          {"component by slot", [](const std::string& s) { return bySlot(true, s); },
           [](const std::string& s) { return bySlot(false, s); }},
          {"component by name", [](const std::string& s) { return byName(true, s); },
           [](const std::string& s) { return byName(false, s); }}};
}
#else
std::vector<Channel> channels() {
  return {functions(),
          {"C library",
           [](const std::string& text) {
             char* out = nullptr;
             int rc = textcodec_encrypt_n(text.data(), text.size(), &out);
             Outcome r{rc, out != nullptr ? out : ""};
             if (rc != 0) {
               EXPECT_EQ(out, nullptr);
             }
             textcodec_free(out);
             return r;
           },
           [](const std::string& codes) {
             char* out = nullptr;
             size_t length = 0;
             int rc = textcodec_decrypt(codes.c_str(), &out, &length);
             Outcome r{rc, out != nullptr ? std::string(out, length) : ""};
             if (rc != 0) {
               EXPECT_EQ(out, nullptr);
             }
             textcodec_free(out);
             return r;
           }}};
}
#endif

// Cases that depend on Windows-1252 (the posix code page, and the usual ANSI
// code page of an English system).
bool codePageIs1252() {
#ifdef _WIN32
  return GetACP() == 1252;
#else
  return true;
#endif
}

std::string repeated(const std::string& unit, size_t n, const std::string& sep = "") {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? sep : "") + unit;
  return s;
}

struct Case {
  const char* name;
  bool encrypt;
  std::string input;
  Outcome expected;
  bool needs1252;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"empty text", true, "", {0, ""}, false},
      {"one character, no H", true, "A", {0, "65"}, false},
      {"H itself", true, "H", {0, "72"}, false},
      {"abc", true, "abc", {0, "97H98H99"}, false},
      {"blanks and digits", true, "a 1", {0, "97H32H49"}, false},
      {"euro sign", true, "\xE2\x82\xAC", {0, "128"}, true},
      {"y with diaeresis", true, "\xC3\xBF", {0, "255"}, true},
      {"no exact equivalent: a with macron", true, "\xC4\x81", {0, "63"}, true},
      {"no equivalent: CJK", true, "x\xE4\xB8\xAD", {0, "120H63"}, true},
      {"beyond U+FFFF: two halves", true, "\xF0\x9F\x98\x80", {0, "63H63"}, true},
      {"32767 characters", true, repeated("a", 32767), {0, repeated("97", 32767, "H")}, false},
      {"32768 characters", true, repeated("a", 32768), {codec::kOverflow, ""}, false},

      {"empty code string", false, "", {0, ""}, false},
      {"72", false, "72", {0, "H"}, false},
      {"97H98H99", false, "97H98H99", {0, "abc"}, false},
      {"blank after the last code", false, "97H98 ", {0, "ab"}, false},
      {"blanks around codes", false, " 97 H\t98", {0, "ab"}, false},
      {"plus sign", false, "+65", {0, "A"}, false},
      {"63 is a question mark", false, "63", {0, "?"}, false},
      {"euro sign back", false, "128", {0, "\xE2\x82\xAC"}, true},
      {"H at the end", false, "97H", {codec::kTypeMismatch, ""}, false},
      {"H at the start", false, "H97", {codec::kTypeMismatch, ""}, false},
      {"two H in a row", false, "97HH98", {codec::kTypeMismatch, ""}, false},
      {"lower-case h", false, "97h98", {codec::kTypeMismatch, ""}, false},
      {"another letter", false, "97H9x", {codec::kTypeMismatch, ""}, false},
      {"a decimal point", false, "97.0", {codec::kTypeMismatch, ""}, false},
      {"only blanks", false, "97H  ", {codec::kTypeMismatch, ""}, false},
      {"no character in a single-byte page", false, "256", {codec::kInvalidCall, ""}, true},
      {"negative in a single-byte page", false, "-1", {codec::kInvalidCall, ""}, true},
      {"above the 16-bit range", false, "65536", {codec::kInvalidCall, ""}, false},
      {"below the 16-bit range", false, "-32769", {codec::kInvalidCall, ""}, false},
      {"beyond 32 bits", false, "2147483648", {codec::kOverflow, ""}, false},
      {"32768 codes", false, repeated("97", 32768, "H"), {0, repeated("a", 32768)}, false},
      {"32769 codes", false, repeated("97", 32769, "H"), {codec::kOverflow, ""}, false},
  };
  return all;
}

TEST(Codec, TableOfCases) {
  const bool cp1252 = codePageIs1252();
  for (const Channel& ch : channels()) {
    for (const Case& c : cases()) {
      if (c.needs1252 && !cp1252) continue;
      SCOPED_TRACE(std::string(ch.name) + ": " + c.name);
      EXPECT_EQ(c.encrypt ? ch.encrypt(c.input) : ch.decrypt(c.input), c.expected);
    }
  }
}

TEST(Codec, FailureLeavesTheResultAlone) {
  std::string out = "before";
  codec::CodecError e = codec::DecryptString("97H", &out);
  EXPECT_EQ(e.number, codec::kTypeMismatch);
  EXPECT_NE(e.description.find("Type mismatch"), std::string::npos) << e.description;
  EXPECT_EQ(out, "before");
  e = codec::EncryptString(std::string(32768, 'a'), &out);
  EXPECT_EQ(e.number, codec::kOverflow);
  EXPECT_EQ(out, "before");
}

// Every code that names a character decodes to it and encodes back to itself;
// the text of all of them survives the round trip through every channel.
TEST(Codec, RoundTripOverTheWholeCodePage) {
  std::vector<int32_t> codes;
  for (int32_t c = 0; c <= 255; ++c) codes.push_back(c);
  for (int lead = 128; lead <= 255; ++lead) {
    if (!plat::isAnsiLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail <= 255; ++trail)
      codes.push_back(static_cast<int16_t>(static_cast<uint16_t>((lead << 8) | trail)));
  }
  std::string all, allCodes;
  size_t characters = 0;
  for (int32_t code : codes) {
    std::string ch;
    if (codec::DecryptString(std::to_string(code), &ch)) continue;  // no character
    std::string back;
    ASSERT_FALSE(codec::EncryptString(ch, &back));
    EXPECT_EQ(back, std::to_string(code));
    if (code == 0) continue;  // NUL: a C string ends there
    all += ch;
    allCodes += (allCodes.empty() ? "" : "H") + std::to_string(code);
    ++characters;
  }
  if (codePageIs1252()) {
    EXPECT_EQ(characters, 255u) << "all of Windows-1252 but NUL";
  }
  EXPECT_GE(characters, 128u);

  std::u16string w;
  ASSERT_TRUE(plat::fromAnsi(all, &w));
  const std::string text = plat::toUtf8(w);
  for (const Channel& ch : channels()) {
    SCOPED_TRACE(ch.name);
    Outcome enc = ch.encrypt(text);
    EXPECT_EQ(enc, (Outcome{0, allCodes}));
    EXPECT_EQ(ch.decrypt(enc.text), (Outcome{0, text}));
  }
}

#ifdef _WIN32
// What the type library in the DLL's resources says about the class.
TEST(Component, TypeLibrary) {
  _clsEncrypt* o = newObject();
  ASSERT_NE(o, nullptr);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(o->GetTypeInfo(0, 0x409, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, IID__clsEncrypt));
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
  info->ReleaseTypeAttr(attr);
  ITypeLib* lib = nullptr;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(&lib, &index), S_OK);
  TLIBATTR* la = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
  EXPECT_TRUE(IsEqualGUID(la->guid, LIBID_TextCodecLib));
  EXPECT_EQ(la->wMajorVerNum, 5);
  EXPECT_EQ(la->wMinorVerNum, 0);
  EXPECT_EQ(la->lcid, 0x409u);
  lib->ReleaseTLibAttr(la);
  BSTR name = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(utf8Of(name), "TextCodecLib");
  SysFreeString(name);
  // The class, with _clsEncrypt as its default interface.
  ITypeInfo* cls = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_clsEncrypt, &cls), S_OK);
  ASSERT_EQ(cls->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(utf8Of(name), "clsEncrypt");
  SysFreeString(name);
  cls->Release();
  lib->Release();
  // The interface half of the dual interface: the two methods in the slots
  // after IDispatch's seven, with their dispatch ids and arguments.
  HREFTYPE ref = 0;
  ITypeInfo* vt = nullptr;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(ref, &vt), S_OK);
  ASSERT_EQ(vt->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  vt->ReleaseTypeAttr(attr);
  const char* const names[2] = {"EncryptString", "DecryptString"};
  for (UINT i = 0; i < 2; ++i) {
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(vt->GetFuncDesc(i, &fd), S_OK);
    EXPECT_EQ(fd->memid, static_cast<MEMBERID>(0x60030000 + i));
    EXPECT_EQ(fd->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    ASSERT_EQ(fd->cParams, 2);  // the text in, the text handed back
    EXPECT_EQ(fd->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(fd->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
    EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.vt, VT_PTR);
    EXPECT_EQ(fd->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    BSTR fnames[3] = {};
    UINT got = 0;
    ASSERT_EQ(vt->GetNames(fd->memid, fnames, 3, &got), S_OK);
    ASSERT_GE(got, 2u);
    EXPECT_EQ(utf8Of(fnames[0]), names[i]);
    EXPECT_EQ(utf8Of(fnames[1]), "strSetString");
    for (UINT k = 0; k < got; ++k) SysFreeString(fnames[k]);
    vt->ReleaseFuncDesc(fd);
  }
  vt->Release();
  info->Release();
  o->Release();
}
#endif

}  // namespace

// One table of cases for the codec, run through every way to reach it on this
// platform: the two functions themselves, and the component as its clients
// see it (posix: the C library; win32: the component DLL loaded here and called
// through its class factory, by slot and by name). Then a round trip over
// every character of the code page, and the type library's description.
#include <gtest/gtest.h>

#include <cstdlib>
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

// The ANSI code page: Windows-1252 on posix; under Wine the one of the locale
// (1252 for English, 932 for LANG=ja_JP.UTF-8).
unsigned codePage() {
#ifdef _WIN32
  return GetACP();
#else
  return 1252;
#endif
}
bool codePageIs1252() { return codePage() == 1252; }

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
  unsigned needs;  // the code page the case is for; 0 for any
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"empty text", true, "", {0, ""}, 0},
      {"one character, no H", true, "A", {0, "65"}, 0},
      {"H itself", true, "H", {0, "72"}, 0},
      {"abc", true, "abc", {0, "97H98H99"}, 0},
      {"blanks and digits", true, "a 1", {0, "97H32H49"}, 0},
      {"euro sign", true, "\xE2\x82\xAC", {0, "128"}, 1252},
      {"y with diaeresis", true, "\xC3\xBF", {0, "255"}, 1252},
      {"no exact equivalent: a with macron", true, "\xC4\x81", {0, "63"}, 1252},
      {"no equivalent: CJK", true, "x\xE4\xB8\xAD", {0, "120H63"}, 1252},
      {"beyond U+FFFF: two halves", true, "\xF0\x9F\x98\x80", {0, "63H63"}, 1252},
      {"32767 characters", true, repeated("a", 32767), {0, repeated("97", 32767, "H")}, 0},
      {"32768 characters", true, repeated("a", 32768), {codec::kOverflow, ""}, 0},

      {"empty code string", false, "", {0, ""}, 0},
      {"72", false, "72", {0, "H"}, 0},
      {"97H98H99", false, "97H98H99", {0, "abc"}, 0},
      {"blank after the last code", false, "97H98 ", {0, "ab"}, 0},
      {"blanks around codes", false, " 97 H\t98", {0, "ab"}, 0},
      {"plus sign", false, "+65", {0, "A"}, 0},
      {"63 is a question mark", false, "63", {0, "?"}, 0},
      {"euro sign back", false, "128", {0, "\xE2\x82\xAC"}, 1252},
      {"H at the end", false, "97H", {codec::kTypeMismatch, ""}, 0},
      {"H at the start", false, "H97", {codec::kTypeMismatch, ""}, 0},
      {"two H in a row", false, "97HH98", {codec::kTypeMismatch, ""}, 0},
      {"lower-case h", false, "97h98", {codec::kTypeMismatch, ""}, 0},
      {"another letter", false, "97H9x", {codec::kTypeMismatch, ""}, 0},
      {"a decimal point", false, "97.0", {codec::kTypeMismatch, ""}, 0},
      {"only blanks", false, "97H  ", {codec::kTypeMismatch, ""}, 0},
      {"no character in a single-byte page", false, "256", {codec::kInvalidCall, ""}, 1252},
      {"negative in a single-byte page", false, "-1", {codec::kInvalidCall, ""}, 1252},
      {"above the 16-bit range", false, "65536", {codec::kInvalidCall, ""}, 0},
      {"below the 16-bit range", false, "-32769", {codec::kInvalidCall, ""}, 0},
      {"beyond 32 bits", false, "2147483648", {codec::kOverflow, ""}, 0},
      {"32768 codes", false, repeated("97", 32768, "H"), {0, repeated("a", 32768)}, 0},
      {"32769 codes", false, repeated("97", 32769, "H"), {codec::kOverflow, ""}, 0},

      // A double-byte code page: lead and trail byte as one signed 16-bit code.
      {"double-byte hiragana a", true, "\xE3\x81\x82", {0, "-32096"}, 932},
      {"single and double bytes", true, "a\xE3\x81\x82\xEF\xBD\xB1", {0, "97H-32096H177"}, 932},
      {"hiragana a back", false, "-32096", {0, "\xE3\x81\x82"}, 932},
      {"as an unsigned 16-bit code", false, "33440", {0, "\xE3\x81\x82"}, 932},
      {"a lone lead byte", false, "130", {codec::kInvalidCall, ""}, 932},
      {"no lead byte", false, "16705", {codec::kInvalidCall, ""}, 932},
  };
  return all;
}

TEST(Codec, TableOfCases) {
  const unsigned cp = codePage();
  for (const Channel& ch : channels()) {
    for (const Case& c : cases()) {
      if (c.needs != 0 && c.needs != cp) continue;
      SCOPED_TRACE(std::string(ch.name) + ": " + c.name);
      EXPECT_EQ(c.encrypt ? ch.encrypt(c.input) : ch.decrypt(c.input), c.expected);
    }
  }
}

// A run meant for another code page (TEXTCODEC_TEST_ACP) makes sure it got it.
TEST(Codec, RunsInTheCodePageAskedFor) {
  const char* want = std::getenv("TEXTCODEC_TEST_ACP");
  if (want == nullptr) GTEST_SKIP() << "no code page asked for";
  EXPECT_EQ(codePage(), static_cast<unsigned>(std::atoi(want)));
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

// Every code that names a character decodes to it, and that character
// encodes to a code that decodes to it again (a double-byte page may hold the
// same character twice); the text of all of them survives the round trip
// through every channel.
TEST(Codec, RoundTripOverTheWholeCodePage) {
  std::vector<int32_t> codes;
  for (int32_t c = 0; c <= 255; ++c) codes.push_back(c);
  for (int lead = 128; lead <= 255; ++lead) {
    if (!plat::isAnsiLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail <= 255; ++trail)
      codes.push_back(static_cast<int16_t>(static_cast<uint16_t>((lead << 8) | trail)));
  }
  std::u16string all;
  std::string allCodes;
  for (int32_t code : codes) {
    std::string bytes;
    if (codec::DecryptString(std::to_string(code), &bytes)) continue;  // no character
    std::u16string ch;
    ASSERT_TRUE(plat::fromAnsi(bytes, &ch)) << code;
    ASSERT_EQ(ch.size(), 1u) << code;
    std::string back, again;
    ASSERT_FALSE(codec::EncryptString(plat::toAnsi(ch), &back)) << code;
    ASSERT_FALSE(codec::DecryptString(back, &again)) << code << " " << back;
    std::u16string chAgain;
    ASSERT_TRUE(plat::fromAnsi(again, &chAgain));
    EXPECT_EQ(chAgain, ch) << code << " came back as " << back;
    if (code == 0) continue;  // NUL: a C string ends there
    all += ch;
    allCodes += (allCodes.empty() ? "" : "H") + back;
  }
  if (codePageIs1252()) {
    EXPECT_EQ(all.size(), 255u) << "all of Windows-1252 but NUL";
  }
  EXPECT_GE(all.size(), 128u);

  const std::string text = plat::toUtf8(all);
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

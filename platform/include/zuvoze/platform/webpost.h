// The web-post component: an outside component created by its programmatic
// identifier, whose method PostXMLString delivers an XML text to a server page.
//
// win32: the registered COM component, created with CLSIDFromProgID and
// CoCreateInstance and called by name through IDispatch (late binding).
// posix: a built-in stand-in for "Quillon.WebPost" with the same call and
// results, which sends the text as an HTTP or HTTPS POST (Content-Type text/xml)
// to the full address: true for a 2xx answer; the answer body becomes the answer
// text, the status line the second output and the transport's error text the
// third. Connect and total time-outs (10 s / 30 s) keep a call from hanging;
// server certificates are verified.
//
// Failures carry the error numbers a late-bound caller sees: 429 when the
// component cannot be created, TYPE_E_LIBNOTREGISTERED (0x8002801D taken as a
// signed number) when its type library is not registered, 438 when the method is
// missing, and any other number raised by the component.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zuvoze::plat {

constexpr int32_t kWebPostCannotCreate = 429;
constexpr int32_t kWebPostNoSuchMethod = 438;
constexpr int32_t kWebPostLibNotRegistered = static_cast<int32_t>(0x8002801Du);

// An error raised by the component or by its creation; number 0 means none.
struct WebPostError {
  int32_t number = 0;
  std::string description;
  explicit operator bool() const { return number != 0; }
};

// The nine arguments of PostXMLString. xml, address and the four outputs are
// passed by reference (the component may change them); flag, arg4 and arg5 by
// value.
struct PostXMLArgs {
  std::string xml;         // 1, by reference
  bool flag = false;       // 2, by value
  std::string address;     // 3, by reference
  std::string arg4;        // 4, by value
  std::string arg5;        // 5, by value
  std::string answer;      // 6, by reference: the server's answer
  std::string second;      // 7, by reference
  std::string third;       // 8, by reference
  std::string fourth;      // 9, by reference
};

class WebPostObject {
 public:
  virtual ~WebPostObject() = default;
  // Calls PostXMLString; on success *result is the method's value converted to
  // a Boolean.
  virtual WebPostError postXMLString(PostXMLArgs& args, bool* result) = 0;
};

// Creates the component registered under progId.
WebPostError createWebPost(const std::string& progId, std::unique_ptr<WebPostObject>* out);

// Tests: replace the component factory of this process (nullptr restores).
using WebPostFactory =
    std::function<WebPostError(const std::string& progId, std::unique_ptr<WebPostObject>* out)>;
void setWebPostFactoryForTest(WebPostFactory factory);

// Tests (posix stand-in): the connect and total time-outs in milliseconds;
// 0 restores the defaults.
void setWebPostTimeoutsForTest(uint32_t connectMs, uint32_t totalMs);

}  // namespace zuvoze::plat

// posix: the stand-in for the web-post component. PostXMLString sends the XML
// text as an HTTP(S) POST to the full address through libcurl.
#include <curl/curl.h>

#include <atomic>
#include <mutex>

#include "zuvoze/platform/webpost.h"

namespace zuvoze::plat {

namespace {

constexpr uint32_t kDefaultConnectMs = 10000;
constexpr uint32_t kDefaultTotalMs = 30000;
std::atomic<uint32_t> g_connectMs{kDefaultConnectMs};
std::atomic<uint32_t> g_totalMs{kDefaultTotalMs};

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t collectBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// Keeps the status line of the last response (after redirects or a
// "100 Continue" the final one wins).
size_t collectStatus(char* data, size_t size, size_t count, void* user) {
  std::string line(data, size * count);
  if (line.compare(0, 5, "HTTP/") == 0) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    *static_cast<std::string*>(user) = line;
  }
  return size * count;
}

class HttpWebPost : public WebPostObject {
 public:
  WebPostError postXMLString(PostXMLArgs& a, bool* result) override {
    *result = false;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return {7, "Out of memory"};
    std::string body, status;
    char errorText[CURL_ERROR_SIZE] = {0};
    struct curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
    curl_easy_setopt(curl, CURLOPT_URL, a.address.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, a.xml.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(a.xml.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectMs.load()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(g_totalMs.load()));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectStatus);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &status);
    CURLcode rc = curl_easy_perform(curl);
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    a.answer = body;
    a.second = status;
    if (rc != CURLE_OK) {
      a.third = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(rc));
    } else {
      a.third.clear();
    }
    *result = rc == CURLE_OK && code >= 200 && code <= 299;
    return {};
  }
};

}  // namespace

WebPostError createWebPostNative(const std::string& progId, std::unique_ptr<WebPostObject>* out) {
  std::string lower;
  for (char c : progId) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower != "quillon.webpost") {
    return {kWebPostCannotCreate, "ActiveX component can't create object"};
  }
  globalInit();
  out->reset(new HttpWebPost());
  return {};
}

void setWebPostTimeoutsForTest(uint32_t connectMs, uint32_t totalMs) {
  g_connectMs = connectMs != 0 ? connectMs : kDefaultConnectMs;
  g_totalMs = totalMs != 0 ? totalMs : kDefaultTotalMs;
}

}  // namespace zuvoze::plat

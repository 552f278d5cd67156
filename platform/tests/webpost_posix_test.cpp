// The posix stand-in of the web-post component: an HTTP POST of the XML text,
// with the answer, the status line and the transport's error text as outputs.
#include <gtest/gtest.h>

#include "zuvoze/platform/webpost.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <string>
#include <thread>

namespace zuvoze::plat {
namespace {

// Serves one connection on 127.0.0.1 with a fixed response, or holds it open
// without answering until the server ends.
class OneShotServer {
 public:
  explicit OneShotServer(std::string response, bool answer = true)
      : response_(std::move(response)), answer_(answer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)));
    EXPECT_EQ(0, ::listen(fd_, 4));
    socklen_t len = sizeof(a);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~OneShotServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string request() {
    thread_done_wait();
    return request_;
  }

 private:
  void thread_done_wait() {
    for (int i = 0; i < 500 && !served_; ++i) usleep(10000);
  }
  void serve() {
    int c = ::accept(fd_, nullptr, nullptr);
    if (c < 0) return;
    std::string data;
    char buf[4096];
    for (;;) {
      size_t end = data.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::string head = data.substr(0, end);
        for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        size_t cl = head.find("content-length:");
        size_t length = cl == std::string::npos ? 0 : std::strtoul(head.c_str() + cl + 15, nullptr, 10);
        if (data.size() >= end + 4 + length) break;
      }
      ssize_t n = ::recv(c, buf, sizeof(buf), 0);
      if (n <= 0) break;
      data.append(buf, static_cast<size_t>(n));
    }
    request_ = data;
    served_ = true;
    if (answer_) {
      ::send(c, response_.data(), response_.size(), MSG_NOSIGNAL);
    } else {
      while (!stop_) usleep(10000);
    }
    ::close(c);
  }

  std::string response_;
  bool answer_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> served_{false};
  std::string request_;
};

class WebPostStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    // Posts to 127.0.0.1 go direct, whatever proxy the environment names.
    setenv("NO_PROXY", "*", 1);
    ASSERT_FALSE(createWebPost("Quillon.WebPost", &component_));
    ASSERT_NE(nullptr, component_);
  }
  void TearDown() override { setWebPostTimeoutsForTest(0, 0); }

  PostXMLArgs args(const std::string& address) {
    PostXMLArgs a;
    a.xml = "<m><v>1</v></m>";
    a.address = address;
    return a;
  }
  std::unique_ptr<WebPostObject> component_;
};

TEST_F(WebPostStandIn, PostsTheTextAndGivesTheAnswer) {
  OneShotServer server("HTTP/1.1 201 Created\r\nContent-Length: 9\r\nConnection: close\r\n\r\nline\r\ntwo");
  PostXMLArgs a = args(server.url("/agent/tfr_page.asp"));
  bool result = false;
  EXPECT_FALSE(component_->postXMLString(a, &result));
  EXPECT_TRUE(result);
  EXPECT_EQ("line\r\ntwo", a.answer);
  EXPECT_EQ("HTTP/1.1 201 Created", a.second);
  EXPECT_EQ("", a.third);
  std::string req = server.request();
  EXPECT_EQ(0u, req.rfind("POST /agent/tfr_page.asp HTTP/1.1\r\n", 0)) << req;
  EXPECT_NE(std::string::npos, req.find("\r\nContent-Type: text/xml\r\n")) << req;
  EXPECT_EQ("\r\n\r\n<m><v>1</v></m>", req.substr(req.find("\r\n\r\n")));
}

TEST_F(WebPostStandIn, ANonSuccessStatusIsFalseWithItsAnswer) {
  OneShotServer server("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbusy");
  PostXMLArgs a = args(server.url("/p"));
  bool result = true;
  EXPECT_FALSE(component_->postXMLString(a, &result));
  EXPECT_FALSE(result);
  EXPECT_EQ("busy", a.answer);
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", a.second);
}

TEST_F(WebPostStandIn, TransportFailuresAreFalseWithTheirText) {
  int closedPort;
  {
    OneShotServer server("", true);
    closedPort = std::stoi(server.url("").substr(17));
    // Let the one connection be served so that the server can end.
    PostXMLArgs a = args(server.url("/"));
    bool ignored = false;
    component_->postXMLString(a, &ignored);
  }
  const std::string addresses[] = {"http://127.0.0.1:" + std::to_string(closedPort) + "/p",
                                   "", "tfr_page.asp", "ftp://127.0.0.1/x"};
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    PostXMLArgs a = args(address);
    bool result = true;
    EXPECT_FALSE(component_->postXMLString(a, &result));
    EXPECT_FALSE(result);
    EXPECT_NE("", a.third);
  }
}

TEST_F(WebPostStandIn, AServerThatNeverAnswersEndsWithTheTimeOut) {
  setWebPostTimeoutsForTest(200, 500);
  OneShotServer server("", false);
  PostXMLArgs a = args(server.url("/p"));
  bool result = true;
  EXPECT_FALSE(component_->postXMLString(a, &result));
  EXPECT_FALSE(result);
  EXPECT_NE(std::string::npos, a.third.find("timed out")) << a.third;
}

TEST(WebPostFactory, AnUnknownComponentCannotBeCreated) {
  std::unique_ptr<WebPostObject> c;
  WebPostError e = createWebPost("Other.Component", &c);
  EXPECT_EQ(kWebPostCannotCreate, e.number);
  EXPECT_EQ(nullptr, c);
}

}  // namespace
}  // namespace zuvoze::plat

#else

TEST(WebPostStandIn, PosixOnly) {
  GTEST_SKIP() << "win32 creates the registered COM component; the reporters' tests cover it "
                  "with their scripted test component";
}

#endif

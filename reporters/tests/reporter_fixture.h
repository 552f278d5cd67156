// End-to-end fixture of the reporters: a program folder with a copy of the
// tool, an installation folder with its configuration, the agent key, and the
// far end of the web-post channel. Natively the far end is an HTTP server of the
// test's own on 127.0.0.1 that the built-in stand-in posts to; under Wine it is
// the scripted test component registered as "Quillon.WebPost".
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

#ifdef _WIN32
#include <cstdio>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zuvoze::testing {

// One answer of the far end.
struct Reply {
  bool ok = true;      // the post is delivered (2xx / the component answers true)
  std::string answer;  // the answer text
  bool hang = false;   // posix: accept the connection and never answer
  std::string error;   // Wine: "HRESULT description" raised by the component

  Reply(bool delivered = true, std::string text = "") : ok(delivered), answer(std::move(text)) {}
  static Reply hanging() {
    Reply r;
    r.hang = true;
    return r;
  }
  static Reply raising(std::string hresultAndText) {
    Reply r;
    r.error = std::move(hresultAndText);
    return r;
  }
};

// One post as the far end received it.
struct Received {
  std::string address;
  std::string xml;
  std::string contentType;  // posix only
  std::string raw;          // Wine only: the component's record of all nine arguments
};

inline std::string unescapeStub(const std::string& s) {
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

inline std::string escapeStub(const std::string& s) {
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

inline std::vector<std::string> splitOn(const std::string& s, char sep) {
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

#ifdef _WIN32

// The scripted component: registered once per test program, answering from a
// script file and recording into a log file, both named by the environment.
class FarEnd {
 public:
  explicit FarEnd(const TempDir& dir) : script_(dir.sub("stub-script.txt")), log_(dir.sub("stub-log.txt")) {
    registerStub(true);
  }
  static std::string stubDll() {
    std::string exe = builtProgram("hostidpost");
    return exe.substr(0, exe.find_last_of("\\/") + 1) + "quillonstub.dll";
  }
  static void registerStub(bool on) {
    static bool registered = false;
    if (on && registered) return;
    runProgram(plat::systemFolder() + "\\regsvr32.exe", std::string(on ? "" : "/u ") + "/s " + stubDll(),
               {}, 60000);
    registered = on;
  }
  std::string baseUrl() const { return "https://manage.example.test/agent"; }
  void script(const std::vector<Reply>& replies) {
    std::string text;
    for (const Reply& r : replies) {
      if (!r.error.empty()) {
        text += "error " + r.error + "\n";
      } else {
        text += std::string(r.ok ? "true" : "false") + "\t" + escapeStub(r.answer) + "\t\t\n";
      }
    }
    writeFile(script_, text);
  }
  std::vector<std::pair<std::string, std::string>> env() const {
    return {{"QUILLON_STUB_SCRIPT", script_}, {"QUILLON_STUB_LOG", log_}};
  }
  std::vector<Received> received() const {
    std::vector<Received> out;
    for (const std::string& line : splitOn(readFile(log_), '\n')) {
      if (line.empty()) continue;
      std::vector<std::string> f = splitOn(line, '\t');
      Received r;
      r.raw = line;
      if (f.size() >= 3) {
        r.xml = unescapeStub(f[0].substr(1));
        r.address = unescapeStub(f[2].substr(1));
      }
      out.push_back(r);
    }
    return out;
  }

 private:
  std::string script_, log_;
};

#else

// A tiny threaded HTTP server: one thread per connection, scripted answers in
// order (the last one repeats), every request recorded.
class FarEnd {
 public:
  explicit FarEnd(const TempDir&) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listener_, 16) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
    }
    socklen_t len = sizeof(addr);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~FarEnd() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    for (std::thread& t : workers_) t.join();
  }
  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/agent"; }
  void script(const std::vector<Reply>& replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_ = replies;
  }
  std::vector<std::pair<std::string, std::string>> env() const {
    return {{"http_proxy", ""}, {"HTTP_PROXY", ""}, {"https_proxy", ""}, {"HTTPS_PROXY", ""},
            {"ALL_PROXY", ""}, {"all_proxy", ""}, {"NO_PROXY", "*"}};
  }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void acceptLoop() {
    for (;;) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) {
        ::close(fd);
        return;
      }
      workers_.emplace_back([this, fd] { serve(fd); });
    }
  }

  void serve(int fd) {
    std::string data;
    char buf[4096];
    size_t headerEnd = std::string::npos;
    size_t length = 0;
    bool continued = false;
    for (;;) {
      if (headerEnd == std::string::npos) {
        headerEnd = data.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
          std::string head = lower(data.substr(0, headerEnd));
          size_t cl = head.find("content-length:");
          if (cl != std::string::npos) length = std::stoul(head.substr(cl + 15));
          if (!continued && head.find("expect: 100-continue") != std::string::npos) {
            const char cont[] = "HTTP/1.1 100 Continue\r\n\r\n";
            ::send(fd, cont, sizeof(cont) - 1, MSG_NOSIGNAL);
            continued = true;
          }
        }
      }
      if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + length) break;
      ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
      if (n <= 0) {
        ::close(fd);
        return;
      }
      data.append(buf, static_cast<size_t>(n));
    }
    std::string head = data.substr(0, headerEnd);
    Received r;
    std::vector<std::string> requestLine = splitOn(head.substr(0, head.find("\r\n")), ' ');
    if (requestLine.size() >= 2) r.address = "http://127.0.0.1:" + std::to_string(port_) + requestLine[1];
    size_t ct = lower(head).find("content-type:");
    if (ct != std::string::npos) {
      size_t end = head.find("\r\n", ct);
      r.contentType = head.substr(ct + 13, end - ct - 13);
      while (!r.contentType.empty() && r.contentType[0] == ' ') r.contentType.erase(0, 1);
    }
    r.xml = data.substr(headerEnd + 4, length);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      size_t n = received_.size();
      received_.push_back(r);
      if (!replies_.empty()) reply = replies_[n < replies_.size() ? n : replies_.size() - 1];
    }
    if (reply.hang) {
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait(lock, [this] { return stopping_; });
      ::close(fd);
      return;
    }
    std::string status = reply.ok ? "200 OK" : "500 Internal Server Error";
    std::string response = "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                           std::to_string(reply.answer.size()) + "\r\nConnection: close\r\n\r\n" +
                           reply.answer;
    ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buf, sizeof(buf), 0) > 0) {
    }
    ::close(fd);
  }

  static std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::vector<Reply> replies_;
  std::vector<Received> received_;
};

#endif

// A log without its time stamps: each line's text after the first TAB (the
// banners have none and stay whole).
inline std::vector<std::string> logTexts(const std::string& log) {
  std::vector<std::string> out;
  for (std::string line : splitOn(log, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    size_t tab = line.find('\t');
    out.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
  }
  return out;
}

class ReporterRun : public ::testing::Test {
 protected:
  ReporterRun()
      : registry_({"SOFTWARE\\ZUVOZE", "SOFTWARE\\LogMeIn"}),
        prog_(tmp_.sub("prog")),
        inst_(tmp_.sub("Agent Home")),
        farEnd_(tmp_) {
    makeDirs(prog_ + sep() + "ApplicationLog");
    makeDirs(inst_ + sep() + "ApplicationLog");
    makeDirs(inst_ + sep() + "Configuration");
    writeFile(inst_ + sep() + "Configuration" + sep() + "MorvaneDNS.ini",
              "[wplmiagntinstallstatus]\r\nURL=" + farEnd_.baseUrl() +
                  "\r\n[wplmiinstallpermission]\r\nURL=  " + farEnd_.baseUrl() + "/  \r\n");
    registry_.setString("SOFTWARE\\ZUVOZE", "InstallationPath", inst_);
    registry_.setString("SOFTWARE\\ZUVOZE", "REGID", "4711");
    registry_.setString("SOFTWARE\\ZUVOZE", "Type", "2");
    registry_.setString("SOFTWARE\\ZUVOZE", "MEMBERID", "m-77");
    registry_.setString("SOFTWARE\\ZUVOZE", "SiteId", "site-9");
  }

  static std::string sep() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
  }
  static std::string exeName(const std::string& tool) {
#ifdef _WIN32
    return tool + ".exe";
#else
    return tool;
#endif
  }

  // Copies the tool into the program folder and runs it there.
  RunResult run(const std::string& tool, const std::string& args,
                std::vector<std::pair<std::string, std::string>> extraEnv = {},
                const std::string& workDir = "", const std::string& progFolder = "") {
    const std::string& folder = progFolder.empty() ? prog_ : progFolder;
    makeDirs(folder);
    std::string exe = folder + sep() + exeName(tool);
    if (!exists(exe)) {
      EXPECT_EQ(0u, plat::copyFile(builtProgram(tool), exe));
    }
    std::vector<std::pair<std::string, std::string>> env = farEnd_.env();
    env.emplace_back("ZUVOZE_SLEEP_SCALE", "0");
    for (auto& kv : extraEnv) env.push_back(kv);
    RunResult r = runProgram(exe, args, env, 200000, workDir.empty() ? folder : workDir);
    EXPECT_FALSE(r.timedOut);
    return r;
  }

  // The one log of the run, which must lie in the installation folder's
  // ApplicationLog (moved there) while the program folder's is empty.
  std::string movedLog(const std::string& tool, std::string* name = nullptr) {
    EXPECT_EQ(std::vector<std::string>{}, listDir(prog_ + sep() + "ApplicationLog"));
    std::vector<std::string> logs = listDir(inst_ + sep() + "ApplicationLog");
    EXPECT_EQ(1u, logs.size());
    if (logs.empty()) return "";
    EXPECT_EQ(0u, logs[0].rfind(tool + "_", 0)) << logs[0];
    if (name != nullptr) *name = logs[0];
    return readFile(inst_ + sep() + "ApplicationLog" + sep() + logs[0]);
  }

  std::string instFile(const std::string& name) const { return inst_ + sep() + name; }
  // The installation path as the tools hold it, with its trailing backslash.
  std::string instPathHeld() const { return inst_ + "\\"; }

  TempDir tmp_;
  TestRegistry registry_;
  std::string prog_;
  std::string inst_;
  FarEnd farEnd_;
};

}  // namespace zuvoze::testing

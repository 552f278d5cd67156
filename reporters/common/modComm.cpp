// modComm: the run log, the short-path routine, the registration of the
// web-post component and the web-post channel.
#include <cctype>
#include <cstdlib>
#include <memory>

#include "reporters.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/process.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/platform/webpost.h"

namespace zuvoze::reporters {

namespace {

// Ends the process where a run cannot go on; nothing reads the exit code.
[[noreturn]] void endProcess() { std::exit(1); }

void writeLine(const std::string& kind, const std::string& text) {
  try {
    RunState& run = runState();
    if (!run.log.isOpen()) return;
    run.log.writeLine(plat::fmtLogStamp(plat::localNow()) + "\t" + kind + text);
  } catch (...) {
  }
}

// The system text of a code without its line end and padding, for the error
// descriptions of this module.
std::string describe(uint32_t code) {
  std::string text = fncTrimNull(plat::paddedSystemMessage(code));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string folderKey(std::string folder) {
  std::string shortForm = plat::shortPath(folder);
  if (!shortForm.empty()) folder = shortForm;
  std::string host = plat::hostPath(folder);
  while (host.size() > 1 && (host.back() == '\\' || host.back() == '/')) host.pop_back();
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

std::string folderOf(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string fileNameOf(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

bool fncOpenLog() {
  RunState& run = runState();
  try {
    run.fileAccess = true;
    std::string folder = GetShortpath(plat::programFolder());
    std::string logFolder = folder + "\\ApplicationLog";
    if (run.tool == Tool::HostIdPost && !plat::folderExists(logFolder)) {
      if (plat::createFolder(logFolder) != plat::kOk) endProcess();
    }
    run.logPath = logFolder + "\\" + plat::programName() + "_" +
                  plat::fmtMDYHMS(plat::localNow()) + ".txt";
    if (run.log.open(run.logPath, plat::TextStream::Mode::AppendOrCreate) != plat::kOk) {
      endProcess();
    }
    return true;
  } catch (...) {
    endProcess();
  }
}

void subLogStart() {
  writeRawLogLine(std::string(80, '*'));
  subWriteMsg("Application started...");
}

void subLogStop() {
  writeRawLogLine(std::string(80, '-'));
  subWriteMsg("Application stopped");
  writeRawLogLine(std::string(80, '-'));
  runState().log.close();
}

void subWriteMsg(const std::string& text) { writeLine("MSG : ", text); }
void subWriteErr(const std::string& text) { writeLine("ERR : ", text); }

void writeRawLogLine(const std::string& line) {
  try {
    RunState& run = runState();
    if (run.log.isOpen()) run.log.writeLine(line);
  } catch (...) {
  }
}

void subMoveLog(const std::string& installationPath) {
  RunState& run = runState();
  run.fileAccess = true;  // a fresh access in place of the process-wide one
  try {
    std::string destFolder = installationPath + "ApplicationLog\\";
    if (!run.logPath.empty() && plat::fileExists(run.logPath) &&
        folderKey(folderOf(run.logPath)) != folderKey(destFolder)) {
      std::string dest = destFolder + fileNameOf(run.logPath);
      uint32_t rc = plat::kOk;
      if (plat::fileExists(dest)) {
        // A run in the same second already left its log there: this run's
        // lines are added to it, as for runs that share a log file.
        std::string content;
        rc = plat::readTextFile(run.logPath, &content);
        if (rc == plat::kOk) rc = plat::appendTextFile(dest, content, false);
      } else {
        rc = plat::copyFile(run.logPath, dest);
      }
      if (rc == plat::kOk) rc = plat::deleteFile(run.logPath, true);
      if (rc != plat::kOk) subWriteMsg(std::to_string(rc) + " : " + describe(rc));
    }
  } catch (...) {
  }
  run.log.close();
  run.fileAccess = false;
}

std::string GetShortpath(const std::string& path) {
  try {
    std::string shortForm = plat::shortPath(path);
    // A short form that does not fit the 164 characters of the buffer is not
    // given; the path serves unchanged then.
    if (shortForm.size() > 164) return path;
    return shortForm;
  } catch (...) {
    ErrInfo e = errorOf(std::current_exception());
    subWriteErr("GetShortpath ()- " + std::to_string(e.number) + "-" + e.description);
    return path;
  }
}

void subRegisterWebPost(const std::string& installationPath) {
  try {
    // Quoted, so that an installation path with blanks stays one argument.
    plat::startHidden("regsvr32 -s \"" + installationPath + "Quillon.dll\"");
  } catch (...) {
  }
}

namespace {

// One run of the channel: the status file, the component and the counters.
class PostRun {
 public:
  PostRun(const std::string& xml, const std::string& address) {
    args_.xml = xml;
    args_.flag = false;
    args_.address = address;
  }

  void run() {
    RunState& state = runState();
    const bool perAttempt = state.tool == Tool::GrantPost;
    const int16_t limit = perAttempt ? 5 : 3;

    step_ = 20;
    uint32_t rc = status_.open(AgentIdentity.InstallationPath + "WebPostStatus.txt",
                               plat::TextStream::Mode::CreateOverwrite);
    if (rc != plat::kOk) fatal({static_cast<int32_t>(rc), describe(rc)});
    step_ = 30;
    int16_t counter = 1;
    if (!perAttempt) {
      step_ = 40;
      if (!create()) return giveUp();
    }
    for (;;) {
      step_ = 50;
      if (counter > limit) break;
      if (perAttempt) {
        step_ = 40;
        if (!create()) return giveUp();
      }
      step_ = 60;
      subWriteMsg("Trying to web post string");
      step_ = 70;
      if (!call()) return giveUp();
      step_ = 80;
      if (state.post.success) {
        step_ = 90;
        subWriteMsg("webpost successfully");
        step_ = 100;
        status_.writeLine("SUCCESS");
        step_ = 110;
        status_.close();
        step_ = 120;
        component_.reset();
        return;
      }
      step_ = 150;
      ++counter;
      step_ = 160;
      plat::sleepMs(kWebPostRetryWaitMs);
      if (perAttempt) component_.reset();
    }
    step_ = 190;
    component_.reset();
    finishFailed();
  }

 private:
  // The component cannot be created or its type library is missing: register
  // it again and repeat the step, a bounded number of times.
  bool canRegister(const plat::WebPostError& e) {
    if (e.number != plat::kWebPostCannotCreate && e.number != plat::kWebPostLibNotRegistered) {
      return false;
    }
    if (registrations_ >= kWebPostRegistrations) return false;
    ++registrations_;
    subRegisterWebPost(AgentIdentity.InstallationPath);
    plat::sleepMs(kWebPostRegisterWaitMs);
    return true;
  }

  bool isRegistrationError(const plat::WebPostError& e) const {
    return e.number == plat::kWebPostCannotCreate || e.number == plat::kWebPostLibNotRegistered;
  }

  bool create() {
    for (;;) {
      plat::WebPostError e = plat::createWebPost("Quillon.WebPost", &component_);
      if (!e) return true;
      if (canRegister(e)) continue;
      if (isRegistrationError(e)) return false;
      fatal(e);
    }
  }

  bool call() {
    PostOutcome& post = runState().post;
    for (;;) {
      bool result = false;
      plat::WebPostError e = component_->postXMLString(args_, &result);
      post.answer = args_.answer;
      post.second = args_.second;
      post.third = args_.third;
      post.fourth = args_.fourth;
      if (!e) {
        post.success = result;
        return true;
      }
      post.success = false;
      if (canRegister(e)) continue;
      if (isRegistrationError(e)) return false;
      fatal(e);
    }
  }

  // The component could not be created even after the registrations.
  void giveUp() {
    component_.reset();
    runState().post.success = false;
    subWriteErr("Unable to create the web-post component Quillon.WebPost after " +
                std::to_string(kWebPostRegistrations) + " registrations");
    finishFailed();
  }

  void finishFailed() {
    step_ = 200;
    status_.writeLine("FAILED");
    step_ = 210;
    status_.close();
    step_ = 220;
    runState().post.success = false;
  }

  // Any other error ends the process; the run log stays as it is.
  [[noreturn]] void fatal(const plat::WebPostError& e) { abandon(ErrInfo{e.number, e.description}); }

 public:
  std::string errorLine(int32_t number, const std::string& description) const {
    const PostOutcome& post = runState().post;
    std::string line = "error in webpost : " + post.third + ": " + post.second;
    if (runState().tool == Tool::HostIdPost) {
      line += " Err.num " + std::to_string(number) + " ERR DESC " + description +
              " line no ." + std::to_string(step_);
    }
    return line;
  }

  [[noreturn]] void abandon(const ErrInfo& e) {
    subWriteMsg(errorLine(e.number, e.description));
    if (status_.isOpen()) {
      status_.writeLine("FAILED");
      status_.close();
    }
    component_.reset();
    endProcess();
  }

 private:
  plat::PostXMLArgs args_;
  plat::TextStream status_;
  std::unique_ptr<plat::WebPostObject> component_;
  int registrations_ = 0;
  int step_ = 0;
};

}  // namespace

void subPostXML(const std::string& xml, const std::string& address) {
  runState().post.success = false;
  PostRun post(xml, address);
  try {
    post.run();
  } catch (...) {
    post.abandon(errorOf(std::current_exception()));
  }
}

std::string osCodeFor(uint32_t platformId, uint32_t major, uint32_t minor) {
  if (platformId == 2) {
    if (major == 3 || major == 4) return "NT";
    if (major == 5 && minor == 0) return "2000";
    if (major == 5 && minor == 1) return "XP";
    if (major == 5 && minor == 2) return "2003";
    if (major == 6 && minor == 0) return "2008";
    return "";
  }
  if (platformId == 1) {
    if (minor == 0) return "95";
    if (minor == 10) return "98";
    if (minor == 90) return "ME";
  }
  return "";
}

}  // namespace zuvoze::reporters

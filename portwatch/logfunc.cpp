// LogFunc: the run log, the agent-key read and the short path.
#include "portwatch/logfunc.h"

#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/message.h"
#include "zuvoze/platform/registry.h"

namespace zuvoze::portwatch {

namespace {
plat::TextStream g_log;

void writeLine(const std::string& line) {
  try {
    if (g_log.isOpen()) g_log.writeLine(line);
  } catch (...) {
    // A log line that cannot be written is lost; the run goes on.
  }
}
}  // namespace

uint32_t OpenLog(const std::string& path) {
  return g_log.open(path, plat::TextStream::Mode::CreateOverwrite);
}

void CloseLog() { g_log.close(); }
bool LogIsOpen() { return g_log.isOpen(); }

void WriteLog(const std::string& text) {
  writeLine(plat::fmtLogStamp(plat::localNow()) + "\tMSG : " + text);
}

void WriteErrLog(const std::string& text) {
  writeLine(plat::fmtLogStamp(plat::localNow()) + "\tERR : " + text);
}

void WriteRule() { writeLine(std::string(80, '-')); }

std::string ErrorText(uint32_t code) {
  char buf[512];
  uint32_t n = plat::systemMessage(code, buf, sizeof buf);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "Error " + std::to_string(code) + ".";
  return text;
}

std::string ReadReg(const std::string& valueName) {
  plat::RegKey key = 0;
  uint32_t rc = plat::regOpenKey(plat::hklm(), "SOFTWARE\\ZUVOZE", plat::RegAccess::Read,
                                 plat::RegView::Default, &key);
  if (rc != plat::kOk) {
    WriteErrLog("ReadReg () - " + ErrorText(rc));
    return "";
  }
  std::string value;
  uint32_t type = 0;
  uint32_t size = 0;
  rc = plat::regGetValue(key, valueName, &type, nullptr, &size);
  if (rc == plat::kOk && size > 0) {
    std::string data(size, '\0');
    rc = plat::regGetValue(key, valueName, &type, data.data(), &size);
    if (rc == plat::kOk) {
      data.resize(size < data.size() ? size : data.size());
      std::string::size_type nul = data.find('\0');
      value = nul == std::string::npos ? data : data.substr(0, nul);
    }
  }
  if (rc != plat::kOk) WriteErrLog("ReadReg () - " + ErrorText(rc));
  plat::regCloseKey(key);
  return value;
}

std::string GetShortPath(const std::string& path) {
  const std::string::size_type kBuffer = 164;
  std::string s = plat::shortPath(path);
  if (s.empty()) {
    WriteErrLog("GetShortPath () - " + ErrorText(plat::lastError()));
    return "";
  }
  if (s.size() >= kBuffer) {
    WriteErrLog("GetShortPath () - " + ErrorText(plat::kErrInsufficientBuffer));
    return "";
  }
  return s;
}

}  // namespace zuvoze::portwatch

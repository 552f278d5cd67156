// The process-wide run state of a reporter and small text helpers.
#include <new>
#include <stdexcept>

#include "reporters.h"

namespace zuvoze::reporters {

AgentIdentityRecord AgentIdentity;

namespace {
RunState g_run;
}

RunState& runState() { return g_run; }

void initRun(Tool tool) {
  g_run.log.close();
  g_run.tool = tool;
  g_run.logPath.clear();
  g_run.fileAccess = false;
  g_run.post = PostOutcome{};
  AgentIdentity = AgentIdentityRecord{};
}

ErrInfo errorOf(std::exception_ptr e) {
  try {
    if (e) std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return {7, "Out of memory"};
  } catch (const std::exception& ex) {
    return {51, std::string("Internal error: ") + ex.what()};
  } catch (...) {
  }
  return {51, "Internal error"};
}

std::string trimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

double leadingNumber(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::string num;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) num += s[i++];
  bool digits = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') { num += s[i++]; digits = true; }
  if (i < s.size() && s[i] == '.') {
    num += s[i++];
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') { num += s[i++]; digits = true; }
  }
  if (!digits) return 0.0;
  try {
    return std::stod(num);
  } catch (...) {
    return 0.0;
  }
}

std::string xmlEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string firstField(const std::string& commandLine) {
  size_t comma = commandLine.find(',');
  return comma == std::string::npos ? commandLine : commandLine.substr(0, comma);
}

}  // namespace zuvoze::reporters

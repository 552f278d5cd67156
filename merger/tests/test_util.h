// Shared helpers of the merger's tests: the run log's messages, INI text.
#pragma once
#include <string>
#include <vector>

#include "merger/runstate.h"
#include "zuvoze/testsupport.h"

namespace zuvoze::merger::testutil {

// The log's lines (CR LF separated; the final empty piece dropped).
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find("\r\n", start);
    if (pos == std::string::npos) {
      if (start < text.size()) out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, pos - start));
    start = pos + 2;
  }
}

// The messages of the log entries of a run log (the text after the time
// stamp and its TAB); lines without a TAB are skipped.
inline std::vector<std::string> messages(const std::string& logText) {
  std::vector<std::string> out;
  for (const std::string& l : lines(logText)) {
    size_t tab = l.find('\t');
    if (tab != std::string::npos) out.push_back(l.substr(tab + 1));
  }
  return out;
}

// INI text from lines, CR LF after each.
inline std::string ini(const std::vector<std::string>& ls) {
  std::string out;
  for (const std::string& l : ls) out += l + "\r\n";
  return out;
}

}  // namespace zuvoze::merger::testutil

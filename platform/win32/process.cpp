// Starting another program with a hidden window, without waiting for it.
#include <windows.h>

#include <cctype>
#include <vector>

#include "zuvoze/platform/process.h"

namespace zuvoze::plat {
namespace {

// The program part of a command line, by the same rule the system uses.
std::string programOf(const std::string& commandLine) {
  size_t i = 0;
  while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
  if (i < commandLine.size() && commandLine[i] == '"') {
    size_t end = commandLine.find('"', i + 1);
    return commandLine.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
  }
  size_t end = commandLine.find_first_of(" \t", i);
  return commandLine.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

bool endsWithNoCase(const std::string& text, const char* suffix) {
  std::string s(suffix);
  if (text.size() < s.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(text[text.size() - s.size() + i]);
    if (std::tolower(a) != static_cast<unsigned char>(s[i])) return false;
  }
  return true;
}

}  // namespace

uint32_t startHidden(const std::string& commandLine) {
  std::string program = programOf(commandLine);
  std::string line = commandLine;
  std::string interpreter;
  if (endsWithNoCase(program, ".bat") || endsWithNoCase(program, ".cmd")) {
    // A batch file runs in the command interpreter. cmd.exe would start (and
    // report success) for a batch file that is not there, so look first.
    char found[MAX_PATH];
    if (SearchPathA(nullptr, program.c_str(), nullptr, MAX_PATH, found, nullptr) == 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return ERROR_FILE_NOT_FOUND;
    }
    // The interpreter of the system folder, never one found beside the
    // program; cmd drops the outer quotes and runs the rest as typed.
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return ERROR_PATH_NOT_FOUND;
    }
    interpreter = std::string(sys, n) + "\\cmd.exe";
    line = "\"" + interpreter + "\" /c \"" + commandLine + "\"";
  }
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  const char* application = interpreter.empty() ? nullptr : interpreter.c_str();
  if (!CreateProcessA(application, buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi)) {
    DWORD e = GetLastError();
    return e != 0 ? e : ERROR_INVALID_FUNCTION;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}

}  // namespace zuvoze::plat

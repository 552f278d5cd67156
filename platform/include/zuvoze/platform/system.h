// System information: folders, environment, the running program.
#pragma once
#include <string>

namespace zuvoze::plat {

// Remembers the command line; call first thing in main (posix needs argv, win32
// reads GetCommandLineA and ignores the arguments).
void initProcess(int argc, char** argv);

// GetWindowsDirectoryA / GetSystemDirectoryA. posix: $ZUVOZE_WINDIR (default
// "C:\Windows") and that folder followed by "\System32".
std::string windowsFolder();
std::string systemFolder();

// An environment variable; empty when unset.
std::string getEnv(const std::string& name);

// Full path of the running executable, its folder (no trailing separator) and
// its file name without extension.
std::string programPath();
std::string programFolder();
std::string programName();

// The command-line text after the program name (posix: the arguments joined by
// single blanks).
std::string commandLineText();

// True when another instance of this program (the same executable file) is
// running. The first call also marks this process as the running instance
// for as long as it lives.
bool previousInstanceRunning();

}  // namespace zuvoze::plat

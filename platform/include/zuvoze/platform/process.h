// Starting another program.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::plat {

// Starts a command line (Windows quoting rules) with a hidden window and returns
// at once, without waiting. Returns 0 or a Windows error code (2 when the
// program cannot be found). posix: a detached child with standard input and
// output on /dev/null; a .bat or .cmd file runs through /bin/sh.
uint32_t startHidden(const std::string& commandLine);

}  // namespace zuvoze::plat

// Starting a program on posix: a detached child (its own session, standard
// input and output on /dev/null) that the caller does not wait for.
//
// The command line follows the Windows quoting rules. A program named by a path
// is found through the files layer (Windows paths allowed); a bare name is
// looked up on PATH, also without a ".exe" ending. A .bat or .cmd file runs
// through /bin/sh; since our batch files carry Windows paths, the command word
// and every double-quoted text of the batch that holds a backslash or a drive
// prefix are turned into host paths first (into a temporary script that removes
// itself).
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "posix_util.h"
#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/process.h"

namespace zuvoze::plat {
namespace {

// CommandLineToArgv rules: blanks separate, double quotes group, 2n
// backslashes before a quote give n backslashes, 2n+1 give n and a quote.
std::vector<std::string> splitCommandLine(const std::string& cmd) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < cmd.size()) {
    while (i < cmd.size() && (cmd[i] == ' ' || cmd[i] == '\t')) ++i;
    if (i >= cmd.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < cmd.size()) {
      char c = cmd[i];
      if (c == '\\') {
        size_t n = 0;
        while (i < cmd.size() && cmd[i] == '\\') {
          ++n;
          ++i;
        }
        if (i < cmd.size() && cmd[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(n, '\\');
        }
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && (c == ' ' || c == '\t')) break;
      arg += c;
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

bool looksLikeWindowsPath(const std::string& s) {
  return s.find('\\') != std::string::npos ||
         (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':');
}

bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

bool executable(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

std::string searchPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::vector<std::string> names{name};
  if (endsWithNoCase(name, ".exe")) names.push_back(name.substr(0, name.size() - 4));
  for (const std::string& n : names) {
    size_t start = 0;
    while (start <= dirs.size()) {
      size_t colon = dirs.find(':', start);
      std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + n;
      if (executable(candidate)) return candidate;
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  return std::string();
}

// The batch text with its Windows paths turned into host paths.
std::string translateBatch(const std::string& text) {
  std::string out;
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t end = text.find_first_of("\r\n", lineStart);
    std::string line = text.substr(lineStart, end == std::string::npos ? std::string::npos : end - lineStart);
    std::string translated;
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) translated += line[i++];
    // The command word, when it is not quoted.
    if (i < line.size() && line[i] != '"') {
      size_t wordEnd = line.find_first_of(" \t", i);
      std::string word = line.substr(i, wordEnd == std::string::npos ? std::string::npos : wordEnd - i);
      translated += looksLikeWindowsPath(word) ? hostPath(word) : word;
      i = wordEnd == std::string::npos ? line.size() : wordEnd;
    }
    while (i < line.size()) {
      if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        if (close == std::string::npos) {
          translated += line.substr(i);
          break;
        }
        std::string inner = line.substr(i + 1, close - i - 1);
        translated += '"';
        translated += looksLikeWindowsPath(inner) ? hostPath(inner) : inner;
        translated += '"';
        i = close + 1;
      } else {
        translated += line[i++];
      }
    }
    out += translated + "\n";
    if (end == std::string::npos) break;
    lineStart = end + 1;
    if (text[end] == '\r' && lineStart < text.size() && text[lineStart] == '\n') ++lineStart;
  }
  return out;
}

uint32_t spawnDetached(const std::vector<std::string>& argv) {
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return posix::fail(errno);
  pid_t child = fork();
  if (child < 0) {
    int err = errno;
    close(pipefd[0]);
    close(pipefd[1]);
    return posix::fail(err);
  }
  if (child == 0) {
    close(pipefd[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    signal(SIGHUP, SIG_IGN);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      if (null > 2) close(null);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    int err = errno;
    ssize_t ignored = write(pipefd[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(pipefd[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(pipefd[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(pipefd[0]);
  if (n == static_cast<ssize_t>(sizeof err)) return posix::fail(err);
  return kOk;
}

}  // namespace

uint32_t startHidden(const std::string& commandLine) {
  std::vector<std::string> args = splitCommandLine(commandLine);
  if (args.empty()) return posix::failCode(kErrFileNotFound);
  std::string program = args[0];
  std::string host;
  if (program.find('/') != std::string::npos || looksLikeWindowsPath(program)) {
    host = hostPath(program);
  } else {
    host = searchPath(program);
    if (host.empty() && fileExists(program)) host = hostPath(program);
  }
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return posix::failCode(kErrFileNotFound);

  if (endsWithNoCase(host, ".bat") || endsWithNoCase(host, ".cmd")) {
    std::string text;
    if (uint32_t rc = readTextFile(host, &text)) return rc;
    char tmpl[] = "/tmp/zuvoze-batch-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return posix::fail(errno);
    std::string script = std::string("/bin/rm -f \"$0\"\n") + translateBatch(text);
    ssize_t written = write(fd, script.data(), script.size());
    close(fd);
    if (written != static_cast<ssize_t>(script.size())) {
      unlink(tmpl);
      return posix::failCode(kErrDiskFull);
    }
    std::vector<std::string> sh{"/bin/sh", tmpl};
    for (size_t i = 1; i < args.size(); ++i) sh.push_back(args[i]);
    uint32_t rc = spawnDetached(sh);
    if (rc != kOk) unlink(tmpl);
    return rc;
  }
  if (access(host.c_str(), X_OK) != 0) return posix::failCode(kErrAccessDenied);
  args[0] = host;
  return spawnDetached(args);
}

}  // namespace zuvoze::plat

// Service control on posix: stop and start requests go to the host's service
// manager as a command (systemctl, or the program named by $ZUVOZE_SERVICECTL).
#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "zuvoze/platform/errors.h"
#include "zuvoze/platform/service.h"
#include "zuvoze/platform/system.h"

namespace zuvoze::plat {

namespace {

// What a handle points to: the manager, or one service by name.
struct Handle {
  bool isService = false;
  std::string name;
};

Handle* fromHandle(ServiceHandle h) { return reinterpret_cast<Handle*>(h); }

// Runs PROGRAM VERB NAME and waits for it. Returns its exit status, -1 for an
// end by a signal, or -2 when the program cannot be started.
int runControl(const std::string& verb, const std::string& name) {
  std::string program = getEnv("ZUVOZE_SERVICECTL");
  if (program.empty()) program = "systemctl";

  // The child reports a failed exec through this pipe; a successful exec
  // closes it unseen.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -2;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -2;
  }
  if (pid == 0) {
    close(fds[0]);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    const char* argv[] = {program.c_str(), verb.c_str(), name.c_str(), nullptr};
    execvp(argv[0], const_cast<char* const*>(argv));
    int err = errno;
    ssize_t ignored = write(fds[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(fds[1]);
  int childErr = 0;
  ssize_t got;
  do {
    got = read(fds[0], &childErr, sizeof childErr);
  } while (got < 0 && errno == EINTR);
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -2;
  }
  if (got == static_cast<ssize_t>(sizeof childErr)) return -2;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

bool control(ServiceHandle service, const std::string& verb) {
  Handle* h = fromHandle(service);
  if (h == nullptr || !h->isService) {
    setLastError(kErrInvalidHandle);
    return false;
  }
  int rc = runControl(verb, h->name);
  switch (rc) {
    case 0: return true;
    case -2: setLastError(kErrFileNotFound); break;
    case 4: setLastError(kErrAccessDenied); break;
    case 5: setLastError(kErrServiceDoesNotExist); break;
    case 7:
      setLastError(verb == "stop" ? static_cast<uint32_t>(kErrServiceNotActive) : 1066u);
      break;
    default: setLastError(1066); break;  // ERROR_SERVICE_SPECIFIC_ERROR
  }
  return false;
}

}  // namespace

ServiceHandle openServiceManager(uint32_t) {
  return reinterpret_cast<ServiceHandle>(new Handle{});
}

ServiceHandle openService(ServiceHandle manager, const std::string& name, uint32_t) {
  Handle* m = fromHandle(manager);
  if (m == nullptr || m->isService) {
    setLastError(kErrInvalidHandle);
    return 0;
  }
  return reinterpret_cast<ServiceHandle>(new Handle{true, name});
}

bool stopService(ServiceHandle service) { return control(service, "stop"); }
bool startService(ServiceHandle service) { return control(service, "start"); }

void closeServiceHandle(ServiceHandle handle) { delete fromHandle(handle); }

}  // namespace zuvoze::plat

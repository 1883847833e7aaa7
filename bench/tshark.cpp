#include "tshark.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

double childrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

double tsharkCpuSeconds(const std::string& pcapPath) {
  if (!onPath("tshark")) return -1;
  static const char* const fields[] = {"frame.time_relative", "usbll.pid",       "usbll.device_addr",
                                       "usbll.endp",          "usbll.frame_num", "usbll.crc5.status",
                                       "usbll.crc16.status",  "usbll.data"};
  std::vector<const char*> argv = {"tshark", "-r", pcapPath.c_str(), "-T", "fields"};
  for (const char* field : fields) argv.insert(argv.end(), {"-e", field});
  argv.push_back(nullptr);
  const double before = childrenCpuSeconds();
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    // Only the work counts, not the terminal: the text goes nowhere.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execvp(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return childrenCpuSeconds() - before;
}

// twr-sim: runs a program with the simulated sniffer plugged in, the way umockdev-run runs
// one with recorded devices: the testbed lives in this process, the program gets the preload
// library and the testbed's environment.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "device/simaccess.h"
#include "device/simsniffer.h"

namespace {

const char preloadLibrary[] = "libumockdev-preload.so.0";
std::atomic<pid_t> child{0};

void usage(std::ostream& out) {
  out << "usage: twr-sim [options] -- COMMAND [ARGS...]\n"
         "Runs COMMAND with a simulated Tracewren sniffer on its USB bus and exits with its status.\n"
         "Ctrl-C and Ctrl-\\ are left to COMMAND; SIGTERM and SIGHUP are passed on to it.\n\n"
         "  --pace realtime|fast  stream at the rate of the real bus (default) or as fast as read\n"
         "  --replay FILE         stream this raw capture instead of the simulated target traffic\n"
         "  --serial TEXT         hardware serial number in the EEPROM (up to 16 characters)\n"
         "  --fault NAME          switch a fault on; may be repeated (names below)\n"
         "  --stall-ms MS         length of the stream-stall fault (default 3000)\n"
         "  --unplug-after MS     pull the cable MS milliseconds after the start\n"
         "  --kernel-driver       a kernel driver holds interface 0 when the device appears\n"
         "  --renumerate-ms MS    time the FX2 is off the bus after the firmware download (default 1000)\n"
         "  --help                this text\n\nFaults:\n";
  for (TsimFault fault : simfaults::all())
    out << "  " << simfaults::name(fault) << std::string(20 - std::strlen(simfaults::name(fault)), ' ')
        << simfaults::describe(fault) << "\n";
}

void forward(int signal) {
  if (child > 0) kill(child, signal);
}

bool number(const char* text, unsigned& out) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (!*text || *end || value > 3600000) return false;
  out = unsigned(value);
  return true;
}

// The environment variable with the entry put in front of its list.
void prependEnv(const char* name, const std::string& entry, char separator) {
  const char* old = std::getenv(name);
  const std::string value = old && *old ? entry + separator + old : entry;
  setenv(name, value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  TsimConfig config;
  config.pace = TsimPace::realtime;
  unsigned unplugAfter = 0;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    TsimFault fault;
    if (arg == "--") {
      ++i;
      break;
    } else if (arg == "--help" || arg == "-h") {
      usage(std::cout);
      return 0;
    } else if (arg == "--kernel-driver") {
      config.kernelDriverBound = true;
      continue;
    } else if (!value) {
      std::cerr << "twr-sim: " << arg << " needs a value\n";
      return 2;
    } else if (arg == "--pace" && (std::strcmp(value, "realtime") == 0 || std::strcmp(value, "fast") == 0)) {
      config.pace = std::strcmp(value, "fast") == 0 ? TsimPace::fast : TsimPace::realtime;
    } else if (arg == "--replay") {
      config.replayFile = value;
      if (access(value, R_OK) != 0) {
        std::cerr << "twr-sim: cannot read " << value << "\n";
        return 2;
      }
    } else if (arg == "--serial" && std::strlen(value) <= 16) {
      config.serial = value;
    } else if (arg == "--fault" && simfaults::fromName(value, fault)) {
      config.faults.insert(fault);
    } else if (!((arg == "--stall-ms" && number(value, config.stallMs)) ||
                 (arg == "--unplug-after" && number(value, unplugAfter)) ||
                 (arg == "--renumerate-ms" && number(value, config.returnDelayMs)))) {
      std::cerr << "twr-sim: bad option " << arg << " " << value << "\n\n";
      usage(std::cerr);
      return 2;
    }
    ++i;
  }
  if (i >= argc) {
    usage(std::cerr);
    return 2;
  }

  TsimSniffer sniffer(config);
  prependEnv("LD_PRELOAD", preloadLibrary, ':');
  // A sanitized program would refuse to run with a library preloaded before its runtime.
  prependEnv("ASAN_OPTIONS", "verify_asan_link_order=0", ':');

  // As system() does: a Ctrl-C or Ctrl-\ from the terminal reaches the program too, as one
  // process group, and is the program's to handle; ending here would take the device from
  // under it before it has kept what it captured.
  struct sigaction ignore = {}, oldInt = {}, oldQuit = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &oldInt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("twr-sim: fork");
    return 1;
  }
  if (pid == 0) {
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    if (config.has(TsimFault::accessDenied) && !dropFileOverridesForGood()) {
      std::cerr << "twr-sim: cannot take root's file access override from " << argv[i] << "\n";
      _exit(127);
    }
    execvp(argv[i], argv + i);
    std::cerr << "twr-sim: cannot run " << argv[i] << ": " << std::strerror(errno) << "\n";
    _exit(127);
  }
  child = pid;
  // These end the program, which ends us: it keeps the device until then.
  std::signal(SIGTERM, forward);
  std::signal(SIGHUP, forward);

  std::atomic<bool> done{false};
  std::thread unplugger;
  if (unplugAfter > 0) {
    unplugger = std::thread([&] {
      const auto when = std::chrono::steady_clock::now() + std::chrono::milliseconds(unplugAfter);
      while (!done && std::chrono::steady_clock::now() < when)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!done) sniffer.unplug();
    });
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  done = true;
  if (unplugger.joinable()) unplugger.join();
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

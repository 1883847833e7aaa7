#include "files/ovtempcleanup.h"

#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

namespace {

constexpr int slotCount = 8;
// SIGKILL cannot be caught: only an unnamed temporary survives it unseen.
constexpr int guardedSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ};
constexpr size_t signalCount = std::size(guardedSignals);

// Read by the handler: fixed storage, published through the atomic flags.
char paths[slotCount][PATH_MAX];
std::atomic<bool> held[slotCount];
struct sigaction previous[signalCount];
bool installed[signalCount];

std::mutex lock;  // for hold and release, never taken by the handler
int holders = 0;

bool isDefault(const struct sigaction& action) {
  return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_DFL;
}

bool isIgnored(const struct sigaction& action) {
  return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

void onSignal(int sig, siginfo_t* info, void* context) {
  size_t i = 0;
  while (i < signalCount && guardedSignals[i] != sig) ++i;
  if (i == signalCount) return;
  const struct sigaction& before = previous[i];
  if (!isDefault(before)) {
    // The program goes on: its files are still being written.
    const int savedErrno = errno;
    if (before.sa_flags & SA_SIGINFO)
      before.sa_sigaction(sig, info, context);
    else
      before.sa_handler(sig);
    errno = savedErrno;
    return;
  }
  for (int s = 0; s < slotCount; ++s)
    if (held[s].load()) unlink(paths[s]);
  // Blocked until this handler returns, then the default action ends the process.
  sigaction(sig, &before, nullptr);
  raise(sig);
}

void install() {
  struct sigaction action {};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < signalCount; ++i) {
    installed[i] = sigaction(guardedSignals[i], nullptr, &previous[i]) == 0 && !isIgnored(previous[i]) &&
                   sigaction(guardedSignals[i], &action, nullptr) == 0;
  }
}

// A handler the program set meanwhile stays.
void restore() {
  for (size_t i = 0; i < signalCount; ++i) {
    struct sigaction current {};
    if (installed[i] && sigaction(guardedSignals[i], nullptr, &current) == 0 &&
        (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == onSignal)
      sigaction(guardedSignals[i], &previous[i], nullptr);
  }
}

}  // namespace

namespace tempcleanup {

int hold(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  std::lock_guard<std::mutex> guard(lock);
  for (int s = 0; s < slotCount; ++s) {
    if (held[s].load()) continue;
    std::memcpy(paths[s], path.c_str(), path.size() + 1);
    if (holders++ == 0) install();
    held[s].store(true);
    return s;
  }
  return -1;
}

void release(int slot) {
  if (slot < 0 || slot >= slotCount) return;
  std::lock_guard<std::mutex> guard(lock);
  held[slot].store(false);
  if (--holders == 0) restore();
}

}  // namespace tempcleanup

namespace {

// The pid of a name PREFIX<pid>-..., 0 when it is not one.
pid_t ownerOf(const char* name, const std::string& prefix) {
  if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(name + prefix.size(), &end, 10);
  return end != name + prefix.size() && *end == '-' && pid > 0 ? pid_t(pid) : 0;
}

}  // namespace

namespace tempcleanup {

void removeLeftovers(const std::string& dir, const std::string& prefix) {
  DIR* listing = opendir(dir.c_str());
  if (!listing) return;
  while (const dirent* entry = readdir(listing)) {
    const pid_t owner = ownerOf(entry->d_name, prefix);
    // EPERM: alive, another user's.
    if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) unlinkat(dirfd(listing), entry->d_name, 0);
  }
  closedir(listing);
}

}  // namespace tempcleanup

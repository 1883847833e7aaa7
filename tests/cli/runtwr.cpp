#include "runtwr.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Tests run in parallel processes: each needs its own files.
std::string stem() { return testing::TempDir() + "twr_" + std::to_string(getpid()); }

}  // namespace

std::string configDir() { return stem() + ".config"; }

Trun runTwr(const std::string& args) { return runTwr("", args, 0); }

Trun runTwr(const std::string& prefix, const std::string& args, int seconds) {
  const std::string stem = ::stem();
  const std::string out = stem + ".out";
  const std::string err = stem + ".err";
  const std::string limit = seconds > 0 ? "timeout -k 5 " + std::to_string(seconds) + " " : "";
  // Descriptors twr remembers go to a directory of this process, never the user's.
  const std::string command = prefix + " XDG_CONFIG_HOME='" + configDir() + "' " + limit + "'" + TWR_BINARY +
                              "' " + args + " >'" + out + "' 2>'" + err + "'";
  Trun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readFile(out);
  run.err = readFile(err);
  return run;
}

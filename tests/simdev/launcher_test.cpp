// twr-sim runs other programs with the simulated sniffer on their bus.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Output and exit status of a shell command.
int run(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(Launcher, PassesOnTheChildsExitStatus) {
  std::string output;
  const std::string launcher = TWR_SIM_LAUNCHER;
  // The bus under the child is checked by the programs run this way (twr capture, the GUI).
  EXPECT_EQ(run(launcher + " --pace fast -- true", output), 0) << output;
  EXPECT_EQ(run(launcher + " -- false", output), 1) << "the child's exit status is passed on";
  EXPECT_EQ(run(launcher + " --fault no-such-fault -- true", output), 2);
}

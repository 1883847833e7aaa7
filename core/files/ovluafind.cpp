#include "files/ovluafind.h"

#include <cstdlib>
#include <system_error>
#include <vector>

namespace rowutils {

namespace {

bool holdsInit(const std::filesystem::path& dir) {
  std::error_code ec;
  return std::filesystem::is_regular_file(dir / "init.lua", ec);
}

std::filesystem::path programDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

std::filesystem::path findScripts(std::string& why) {
  if (const char* env = std::getenv("TWR_SCRIPTS"); env && *env) {
    if (holdsInit(env)) return env;
    why = std::string("TWR_SCRIPTS=") + env + " holds no init.lua";
    return {};
  }
  std::string tried;
  std::vector<std::filesystem::path> dirs;
  if (const auto exeDir = programDir(); !exeDir.empty()) {
    dirs.push_back(exeDir / "scripts");
    // An installed tree may have moved since it was configured, so its data
    // directory is also looked for relative to the program (PREFIX/bin).
    dirs.push_back(exeDir.parent_path() / "share/tracewren/scripts");
  }
  dirs.emplace_back(TWR_SCRIPTS_INSTALL_DIR);
  dirs.emplace_back("./scripts");
  for (const auto& dir : dirs) {
    if (holdsInit(dir)) return dir;
    tried += (tried.empty() ? "" : ", ") + dir.string();
  }
  why = "no init.lua in " + tried + " (set TWR_SCRIPTS to the scripts directory)";
  return {};
}

}  // namespace rowutils

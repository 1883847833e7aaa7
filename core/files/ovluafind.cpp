#include "files/ovluafind.h"

#include <cstdlib>
#include <system_error>

namespace rowutils {

namespace {

bool holdsInit(const std::filesystem::path& dir) {
  std::error_code ec;
  return std::filesystem::is_regular_file(dir / "init.lua", ec);
}

std::filesystem::path besideProgram() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path() / "scripts";
}

}  // namespace

std::filesystem::path findScripts(std::string& why) {
  if (const char* env = std::getenv("TWR_SCRIPTS"); env && *env) {
    if (holdsInit(env)) return env;
    why = std::string("TWR_SCRIPTS=") + env + " holds no init.lua";
    return {};
  }
  std::string tried;
  for (const auto& dir : {besideProgram(), std::filesystem::path(TWR_SCRIPTS_INSTALL_DIR),
                          std::filesystem::path("./scripts")}) {
    if (dir.empty()) continue;
    if (holdsInit(dir)) return dir;
    tried += (tried.empty() ? "" : ", ") + dir.string();
  }
  why = "no init.lua in " + tried + " (set TWR_SCRIPTS to the scripts directory)";
  return {};
}

}  // namespace rowutils

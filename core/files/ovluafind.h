// Where the decode scripts live, so a decode works from any directory.
#pragma once

#include <filesystem>
#include <string>

namespace rowutils {

// The first of these that holds init.lua: the directory in TWR_SCRIPTS,
// "scripts" next to the running program, the installed data directory,
// "./scripts". When none does, returns an empty path and sets `why` to the
// places tried. A TWR_SCRIPTS without init.lua is an error, not skipped: the
// user asked for those scripts.
std::filesystem::path findScripts(std::string& why);

}  // namespace rowutils

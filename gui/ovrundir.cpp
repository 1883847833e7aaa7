#include "ovrundir.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>

#include <filesystem>
#include <system_error>

std::string findShippedFile(const std::string& name, const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    const std::filesystem::path path = std::filesystem::path(dir) / name;
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return path.string();
  }
  return name;
}

std::vector<std::string> shippedFileDirs() {
  const wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
  std::error_code ec;
  const std::filesystem::path exeDir(std::string(exe.GetPath().fn_str()));
  // Installed, the program is PREFIX/bin/tracewren and its files are in PREFIX/share/tracewren.
  return {std::filesystem::current_path(ec).string(), exeDir.string(),
          (exeDir.parent_path() / "share" / "tracewren").string()};
}

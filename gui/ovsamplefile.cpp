#include "ovsamplefile.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "files/ovdataio.h"

TsampleRead readSampleFile(const std::string& path) {
  TsampleRead result;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    result.missing = true;
    result.problem = "Cannot read \"" + path + "\": there is no such file.";
    return result;
  }
  TdataIO io;
  try {
    if (io.loadLinearFile(path, result.objs, result.rows) == 0)
      result.problem = "Cannot read \"" + path + "\": " + io.lastError() + ".";
  } catch (const std::exception&) {
    result.problem = "Cannot read \"" + path + "\": line " + std::to_string(io.lineNumber()) +
                     " holds a malformed number.";
  }
  if (!result.problem.empty()) {
    result.objs->clear();
    result.rows->clear();
  }
  return result;
}

std::string saveSampleFile(const std::vector<TlinRow>& rows, const std::string& path) {
  TdataIO io;
  if (io.saveLinearToFile(rows, path) == 0 && !io.lastError().empty())
    return "Cannot save \"" + path + "\": " + io.lastError() + ".";
  return "";
}

#include "ovsamplefile.h"

#include <filesystem>
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
  // A failed load leaves both lists empty.
  if (io.loadLinearFile(path, result.objs, result.rows) == 0)
    result.problem = "Cannot read \"" + path + "\": " + io.lastError() + ".";
  return result;
}

std::string saveSampleFile(const std::vector<TlinRow>& rows, const std::string& path) {
  TdataIO io;
  if (io.saveLinearToFile(rows, path) == 0 && !io.lastError().empty())
    return "Cannot save \"" + path + "\": " + io.lastError() + ".";
  return "";
}

// twr show: a sample file's text or boxes.
#include <memory>

#include "commands.h"
#include "files/ovdataio.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  if (args.has("--boxes") && args.has("--decode")) {
    std::fprintf(stderr, "twr show: --boxes and --decode cannot be combined\n");
    return exitUsage;
  }
  const std::string& path = args.operands[0];
  auto objs = std::make_shared<TobjVec>();
  auto rows = std::make_shared<std::vector<TlinRow>>();
  TdataIO io;
  if (io.loadLinearFile(path, objs, rows) == 0 && !io.lastError().empty())
    return inputError(path + ": " + io.lastError());
  startOutput();
  if (args.has("--decode")) {
    if (!printDecodes(rows)) return exitBadInput;
  } else if (args.has("--boxes"))
    printBoxes(*rows);
  else
    printBody(*rows);
  return finishOutput();
}

}  // namespace

const Tcommand showCommand{
    "show",
    {"FILE.ovd"},
    "Print the text of every object of a sample file, as 'twr decode' does.",
    "FILE.ovd may be gzip-compressed or plain.",
    {
        {"--boxes", "", "print one box string per row"},
        {"--decode", "",
         "print one decode text per row (scripts: $TWR_SCRIPTS, beside twr, installed, ./scripts)"},
    },
    run,
};

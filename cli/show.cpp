// twr show: a sample file's text or boxes.
#include "commands.h"
#include "descriptors.h"
#include "files/ovcapturefile.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  if (args.has("--boxes") && args.has("--decode")) {
    std::fprintf(stderr, "twr show: --boxes and --decode cannot be combined\n");
    return exitUsage;
  }
  TexternalDevices external;
  if (const int status = externalDevicesFrom("show", args, external)) return status;
  const std::string& path = args.operands[0];
  TcaptureFile file;
  Tcapture capture;
  const bool pcap = TcaptureFile::kindOf(path) == TcaptureFile::Tkind::pcap;
  if (!(pcap ? file.loadPcap(path, capture) : file.loadSample(path, capture)))
    return inputError(file.lastError());
  inputWarnings(path, file.warnings());
  const auto& rows = capture.rows;
  startOutput();
  if (args.has("--decode")) {
    if (!printDecodes(rows, external, path)) return exitBadInput;
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
    "FILE.ovd may be gzip-compressed or plain; a pcap or pcapng file of USB packets (told apart by\n"
    "content) is decoded first.",
    {
        {"--boxes", "", "print one box string per row"},
        {"--decode", "",
         "print one decode text per row (scripts: $TWR_SCRIPTS, beside twr, installed, ./scripts); the "
         "descriptors of the devices it enumerates are remembered for later captures"},
        descriptorsOption(),
        hintOption(),
    },
    run,
};

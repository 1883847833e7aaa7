// twr show: a sample file's text or boxes.
#include "commands.h"
#include "descriptors.h"
#include "files/ovcapturefile.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  if (args.has("--boxes") + args.has("--decode") + args.has("--format") > 1) {
    std::fprintf(stderr, "twr show: only one of --boxes, --decode and --format can be given\n");
    return exitUsage;
  }
  if (!formatKnown(args)) {
    std::fprintf(stderr, "twr show: --format is text or summary\n");
    return exitUsage;
  }
  TexternalDevices external;
  if (const int status = externalDevicesFrom("show", args, external)) return status;
  Tinput input(args.operands[0]);
  TcaptureFile file;
  const auto capture = std::make_shared<Tcapture>();
  const bool pcap = TcaptureFile::kindOf(input) == TcaptureFile::Tkind::pcap;
  if (!(pcap ? file.loadPcap(input, *capture) : file.loadSample(input, *capture)))
    return inputError(file.lastError());
  inputWarnings(input.name(), file.warnings());
  startOutput();
  if (args.has("--decode")) {
    if (!printDecodes(capture, external, input.name())) return exitBadInput;
  } else if (args.has("--boxes"))
    printBoxes(*capture);
  else
    printRows(args, *capture);
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
         "print one decode text per row (scripts: $TWR_SCRIPTS, beside twr, installed, ./scripts)"},
        formatOption(),
        descriptorsOption(),
        hintOption(),
    },
    run,
};

// twr decode: a raw capture from the device to its sample-file text, boxes or file.
#include "commands.h"
#include "descriptors.h"
#include "files/ovcapturefile.h"
#include "files/ovdataio.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  const int prints =
      args.has("--boxes") + args.has("--decode") + args.has("--objects") + args.has("--format");
  if (prints > 1) {
    std::fprintf(stderr, "twr decode: only one of --boxes, --decode, --objects and --format can be given\n");
    return exitUsage;
  }
  if (stdoutCount(args, {"-o"}) != 0 && prints != 0) {
    std::fprintf(
        stderr,
        "twr decode: -o - takes standard output; --boxes, --decode, --objects and --format need it\n");
    return exitUsage;
  }
  if (!formatKnown(args)) {
    std::fprintf(stderr, "twr decode: --format is text or summary\n");
    return exitUsage;
  }
  TexternalDevices external;
  if (const int status = externalDevicesFrom("decode", args, external)) return status;
  Tinput input(args.operands[0]);
  TcaptureFile file;
  const auto capture = std::make_shared<Tcapture>();
  const bool pcap = TcaptureFile::kindOf(input) == TcaptureFile::Tkind::pcap;
  if (!(pcap ? file.loadPcap(input, *capture) : file.loadRaw(input, *capture)))
    return inputError(file.lastError());
  inputWarnings(input.name(), file.warnings());
  startOutput();
  if (args.has("-o")) {
    TdataIO io;
    const std::string& out = args.value("-o");
    if (io.saveLinearToFile(*capture, out) == 0 && !io.lastError().empty())
      return inputError(outputName(out) + ": " + io.lastError());
  }
  if (args.has("--objects")) {
    printObjects(*capture);
  } else if (args.has("--decode")) {
    if (!printDecodes(capture, external, input.name())) return exitBadInput;
  } else if (args.has("--boxes")) {
    printBoxes(*capture);
  } else if (args.has("--format") || !args.has("-o")) {
    printRows(args, *capture);
  }
  return finishOutput();
}

}  // namespace

const Tcommand decodeCommand{
    "decode",
    {"RAWFILE"},
    "Decode a raw capture and print the text of every object as a sample file holds it.",
    "RAWFILE is the byte stream as the device delivers it, starting with its magic, or a pcap or\n"
    "pcapng file of USB packets (told apart by content). With -o the text\n"
    "goes to a sample file instead; --boxes, --decode and --format print either way.",
    {
        {"-o", "OUT.ovd", "save a sample file instead of printing the text (- for standard output)"},
        {"--boxes", "", "print one box string per row"},
        {"--decode", "",
         "print one decode text per row (scripts: $TWR_SCRIPTS, beside twr, installed, ./scripts); the "
         "descriptors of the devices it enumerates are remembered for later captures"},
        {"--objects", "", "print the packets and resets in bus order, before grouping"},
        formatOption(),
        descriptorsOption(),
        hintOption(),
    },
    run,
};

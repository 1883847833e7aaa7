// twr stats: what a capture holds, counted per device and endpoint.
#include "commands.h"
#include "decode/ovstats.h"
#include "files/ovcapturefile.h"
#include "files/ovstatsload.h"
#include "files/ovstatstable.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  Tinput input(args.operands[0]);
  Tcapture capture;
  TcaptureStats stats;
  if (TcaptureFile::kindOf(input) == TcaptureFile::Tkind::sample) {
    TdataIO io;
    if (!loadCounted(input, capture, io, stats)) return inputError(input.name() + ": " + io.lastError());
  } else {
    TcaptureFile file;
    if (!file.load(input, capture)) return inputError(file.lastError());
    inputWarnings(input.name(), file.warnings());
    stats = captureStats(capture);
  }
  const TstatsTable table = statsTable(stats);
  startOutput();
  const std::string text = args.has("--csv") ? statsCsv(table) : statsText(table);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return finishOutput();
}

}  // namespace

const Tcommand statsCommand{
    "stats",
    {"FILE"},
    "Count the transactions, packets, bytes, errors and bus use of a capture per device and endpoint.",
    "FILE is a sample file (gzip-compressed or plain), a pcap or pcapng file of USB packets or a raw\n"
    "capture, told apart by content. A device is an address between two bus resets: an address used\n"
    "again after a reset is another device. Bytes in and out are the payloads of transactions answered\n"
    "with ACK or not answered (isochronous); bus use counts SYNC, PID, fields and CRC of each packet,\n"
    "mean over the capture's span and in its busiest millisecond.",
    {
        {"--csv", "", "print comma-separated values with a header line, for scripts"},
    },
    run,
};

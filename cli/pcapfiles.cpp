// twr export and twr import: captures to and from pcap and pcapng files.
#include "commands.h"
#include "files/ovcapturefile.h"
#include "files/ovdataio.h"
#include "files/ovpcapexport.h"

namespace {

// The summary gives way to a file written to standard output.
FILE* summaryStream(const std::string& out) { return out == "-" ? stderr : stdout; }

int runExport(const Tparsed& args) {
  TpcapWriter::Toptions options;
  if (args.has("--linktype")) {
    const std::string& type = args.value("--linktype");
    if (type != "288" && type != "294") {
      std::fprintf(stderr, "twr export: --linktype takes 288 or 294, not '%s'\n", type.c_str());
      return exitUsage;
    }
    options.linkType = static_cast<uint32_t>(std::stoul(type));
  }
  options.pcapng = args.has("--pcapng");
  Tinput in(args.operands[0]);
  const std::string& out = args.operands[1];
  TcaptureFile file;
  Tcapture capture;
  if (!file.load(in, capture)) return inputError(file.lastError());
  inputWarnings(in.name(), file.warnings());
  TexportCounts counts;
  std::string error;
  if (!exportPcap(capture, out, options, counts, error)) return inputError(outputName(out) + ": " + error);
  std::fprintf(summaryStream(out), "packets written %lu\nbus resets left out %lu\n", counts.packets,
               counts.resets);
  return exitOk;
}

int runImport(const Tparsed& args) {
  Tinput in(args.operands[0]);
  const std::string& out = args.operands[1];
  if (!in.error().empty()) return inputError(in.name() + ": " + in.error());
  if (TcaptureFile::kindOf(in) != TcaptureFile::Tkind::pcap)
    return inputError(in.name() + ": not a pcap or pcapng file");
  TcaptureFile file;
  Tcapture capture;
  if (!file.loadPcap(in, capture)) return inputError(file.lastError());
  inputWarnings(in.name(), file.warnings());
  TdataIO io;
  if (io.saveLinearToFile(capture, out) == 0 && !io.lastError().empty())
    return inputError(outputName(out) + ": " + io.lastError());
  std::fprintf(summaryStream(out), "packets read %zu\nrows saved %zu\n", capture.eventCount(),
               capture.rowCount());
  return exitOk;
}

}  // namespace

const Tcommand exportCommand{
    "export",
    {"FILE", "OUT.pcap"},
    "Write the packets of a capture as pcap (or pcapng) for Wireshark and other tools.",
    "FILE is a raw capture, a sample file or a pcap file, told apart by content. Each record is one\n"
    "packet from its PID through its CRC, as recorded (bad CRCs and PID checks included), with\n"
    "nanosecond time stamps from the start of the capture. Bus resets cannot be written: these link\n"
    "types have no record for them, so they are only counted in the summary. OUT.pcap may be - for\n"
    "standard output (the summary then goes to standard error).",
    {
        {"--linktype", "288|294", "294 USB full speed (default), 288 USB 2.0 for tools that lack 294"},
        {"--pcapng", "", "write pcapng instead of pcap"},
    },
    runExport,
};

const Tcommand importCommand{
    "import",
    {"IN.pcap", "OUT.ovd"},
    "Decode a pcap or pcapng file of USB packets and save it as a sample file.",
    "Link types 288, 293 (low speed, with a warning) and 294 are read; the packets are decoded into\n"
    "transactions and transfers as a capture from the sniffer is. OUT.ovd may be - for standard\n"
    "output (the summary then goes to standard error).",
    {},
    runImport,
};

// twr stream: the data one endpoint moved, as its receiver took it.
#include <string>
#include <vector>

#include "commands.h"
#include "decode/ovstream.h"
#include "decode/ovstreamtext.h"
#include "files/ovcapturefile.h"
#include "output.h"

namespace {

int run(const Tparsed& args) {
  unsigned address = 0, endpoint = 0;
  if (!args.has("--address") || !args.has("--endpoint")) {
    std::fprintf(stderr, "twr stream: --address and --endpoint are needed\n");
    return exitUsage;
  }
  if (!parseStreamNumber(args.value("--address"), 127, address)) {
    std::fprintf(stderr, "twr stream: --address takes a device address from 0 to 127\n");
    return exitUsage;
  }
  if (!parseEndpointAddress(args.value("--endpoint"), endpoint)) {
    std::fprintf(stderr,
                 "twr stream: --endpoint takes an endpoint address as descriptors write it: 0x00 to "
                 "0x0F (OUT), 0x80 to 0x8F (IN)\n");
    return exitUsage;
  }
  if (args.has("--raw") && args.has("--hex")) {
    std::fprintf(stderr, "twr stream: --raw and --hex cannot be combined\n");
    return exitUsage;
  }
  Tinput input(args.operands[0]);
  TcaptureFile file;
  Tcapture capture;
  if (!file.load(input, capture)) return inputError(file.lastError());
  inputWarnings(input.name(), file.warnings());
  const TendpointStream stream = endpointStream(capture, address, endpoint);
  startOutput();
  if (args.has("--raw")) {
    const std::vector<uint8_t> bytes = streamBytes(stream);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return finishOutput();
  }
  std::printf("%s\n%s", streamHeadLine(address, endpoint, stream).c_str(),
              streamRunLines(stream, args.has("--hex") ? TstreamForm::hex : TstreamForm::text).c_str());
  return finishOutput();
}

}  // namespace

const Tcommand streamCommand{
    "stream",
    {"FILE"},
    "Print the data one endpoint moved, as its receiver took it.",
    "FILE is a sample file, a pcap or pcapng file or a raw capture (told apart by content). Each line is\n"
    "a run of payloads with no pause of 2 ms or more, after its time from the capture start; a first line\n"
    "starting with # counts the bytes, packets, retries and unacknowledged packets.",
    {
        {"--address", "A", "the device address (0 to 127)"},
        {"--endpoint", "E", "the endpoint address as descriptors write it: 0x82 for IN 2, 0x02 for OUT 2"},
        {"--hex", "", "the bytes in hex, 16 a line, instead of quoted text"},
        {"--raw", "", "only the bare bytes, to standard output"},
    },
    run,
};

// twr stream: the data one endpoint moved, as its receiver took it.
#include <cinttypes>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "decode/ovstream.h"
#include "files/ovcapturefile.h"
#include "output.h"

namespace {

// Decimal, or hex after 0x.
bool number(const std::string& text, unsigned max, unsigned& value) {
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  const unsigned long v = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
  if (*end != 0 || v > max) return false;
  value = static_cast<unsigned>(v);
  return true;
}

// Seconds from the capture start, to the microsecond.
std::string timeText(uint64_t ticks) {
  char text[32];
  const uint64_t us = ticks / ticksPerMicrosecond;
  std::snprintf(text, sizeof text, "%" PRIu64 ".%06" PRIu64 " s", us / 1000000, us % 1000000);
  return text;
}

std::string escaped(const std::vector<uint8_t>& bytes) {
  std::string out = "\"";
  for (uint8_t b : bytes) {
    if (b == '\r')
      out += "\\r";
    else if (b == '\n')
      out += "\\n";
    else if (b == '\t')
      out += "\\t";
    else if (b == '\\' || b == '"')
      out += std::string("\\") + static_cast<char>(b);
    else if (b >= 0x20 && b < 0x7F)
      out += static_cast<char>(b);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out + "\"";
}

// 16 bytes a line, the lines after the first indented under the first byte.
std::string hexLines(const std::vector<uint8_t>& bytes, size_t indent) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 16 == 0) out += "\n" + std::string(indent, ' ');
    std::snprintf(b, sizeof b, i % 16 ? " %02X" : "%02X", bytes[i]);
    out += b;
  }
  return out;
}

std::string plural(uint64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

int run(const Tparsed& args) {
  unsigned address = 0, endpoint = 0;
  if (!args.has("--address") || !args.has("--endpoint")) {
    std::fprintf(stderr, "twr stream: --address and --endpoint are needed\n");
    return exitUsage;
  }
  if (!number(args.value("--address"), 127, address)) {
    std::fprintf(stderr, "twr stream: --address takes a device address from 0 to 127\n");
    return exitUsage;
  }
  if (!number(args.value("--endpoint"), 0x8F, endpoint) || (endpoint & 0x70) != 0) {
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
    for (const TstreamRun& r : stream.runs) std::fwrite(r.bytes.data(), 1, r.bytes.size(), stdout);
    return finishOutput();
  }
  uint64_t total = 0;
  for (const TstreamRun& r : stream.runs) total += r.bytes.size();
  std::printf("# device %u endpoint 0x%02X (%s %u): %s in %s; left out: %" PRIu64
              " repeated by a retry, %" PRIu64 " unacknowledged\n",
              address, endpoint, endpoint & 0x80 ? "IN" : "OUT", endpoint & 15, plural(total, "byte").c_str(),
              plural(stream.packets, "packet").c_str(), stream.retries, stream.unacknowledged);
  for (const TstreamRun& r : stream.runs) {
    const std::string time = timeText(r.time) + "  ";
    const std::string body = args.has("--hex") ? hexLines(r.bytes, time.size()) : escaped(r.bytes);
    std::printf("%s%s\n", time.c_str(), body.c_str());
  }
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

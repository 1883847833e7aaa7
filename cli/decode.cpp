// twr decode: a raw capture from the device to its sample-file text, boxes or file.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "commands.h"
#include "decode/ovexthrd.h"
#include "decode/ovraw.h"
#include "files/ovdataio.h"
#include "output.h"

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

int run(const Tparsed& args) {
  if (args.has("--boxes") && args.has("--decode")) {
    std::fprintf(stderr, "twr decode: --boxes and --decode cannot be combined\n");
    return exitUsage;
  }
  const std::string& path = args.operands[0];
  std::vector<uint8_t> raw;
  errno = 0;
  if (!readFile(path, raw))
    return inputError("cannot read " + path + ": " + std::strerror(errno ? errno : EIO));
  // The decoder accepts anything and yields nothing for a foreign file; say why instead.
  if (!Traw().addRawData(raw)) return inputError(path + ": not a raw capture (bad magic or no data)");

  TexThread decoder;
  decoder.startDecode(&raw);
  const std::vector<TlinRow>& rows = *decoder.rows;
  startOutput();
  if (args.has("-o")) {
    TdataIO io;
    const std::string& out = args.value("-o");
    if (io.saveLinearToFile(rows, out) == 0 && !io.lastError().empty())
      return inputError(out + ": " + io.lastError());
  }
  if (args.has("--decode"))
    printDecodes(decoder.rows);
  else if (args.has("--boxes"))
    printBoxes(rows);
  else if (!args.has("-o"))
    printBody(rows);
  return finishOutput();
}

}  // namespace

const Tcommand decodeCommand{
    "decode",
    {"RAWFILE"},
    "Decode a raw capture and print the text of every object as a sample file holds it.",
    "RAWFILE is the byte stream as the device delivers it, starting with its magic. With -o the text\n"
    "goes to a sample file instead; --boxes prints box strings and --decode decode texts either way.",
    {
        {"-o", "OUT.ovd", "save a sample file instead of printing the text"},
        {"--boxes", "", "print one box string per row"},
        {"--decode", "", "print one decode text of ./scripts per row"},
    },
    run,
};

// twr decode: a raw capture from the device to its sample-file text, boxes or file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "commands.h"
#include "decode/ovexthrd.h"
#include "decode/ovraw.h"
#include "descriptors.h"
#include "files/ovcapturefile.h"
#include "files/ovdataio.h"
#include "output.h"

namespace {

// The whole file, or only its first block when that lacks the magic: a pipe
// may never end. false with errno set when it cannot be read.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    ok = false;
  }
  if (ok && S_ISREG(st.st_mode)) bytes.reserve(st.st_size);
  uint8_t buf[1 << 16];
  for (ssize_t n; ok && (n = read(fd, buf, sizeof buf)) != 0;) {
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    const bool headerDue = bytes.size() < 8;
    bytes.insert(bytes.end(), buf, buf + n);
    if (headerDue && bytes.size() >= 8 && !Traw::magicAt(bytes.data(), bytes.size())) break;
  }
  const int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

int run(const Tparsed& args) {
  if (args.has("--boxes") + args.has("--decode") + args.has("--objects") > 1) {
    std::fprintf(stderr, "twr decode: only one of --boxes, --decode and --objects can be given\n");
    return exitUsage;
  }
  if (stdoutCount(args, {"-o"}) != 0 &&
      (args.has("--boxes") || args.has("--decode") || args.has("--objects"))) {
    std::fprintf(stderr, "twr decode: -o - takes standard output; --boxes, --decode and --objects need it\n");
    return exitUsage;
  }
  TexternalDevices external;
  if (const int status = externalDevicesFrom("decode", args, external)) return status;
  const std::string& path = args.operands[0];
  std::vector<uint8_t> raw;
  TexThread decoder;
  // Telling the kinds apart opens the file once more: a pipe would lose its head to that.
  struct stat st {};
  const bool regular = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (regular && TcaptureFile::kindOf(path) == TcaptureFile::Tkind::pcap) {
    TcaptureFile file;
    Tcapture capture{decoder.events, decoder.trees, decoder.rows, decoder.objects};
    if (!file.loadPcap(path, capture)) return inputError(file.lastError());
    inputWarnings(path, file.warnings());
  } else {
    errno = 0;
    if (!readFile(path, raw))
      return inputError("cannot read " + path + ": " + std::strerror(errno ? errno : EIO));
    // The decoder accepts anything and yields nothing for a foreign file; say why instead.
    if (!Traw().addRawData(raw)) return inputError(path + ": not a raw capture (bad magic or no data)");
    if (!decoder.startDecode(&raw)) return inputError(path + ": decoding failed: " + decoder.failureText());
    if (decoder.skippedEvents != 0)
      std::fprintf(stderr,
                   "twr: %s: %llu of %zu bus events made no object (no packet bytes, or a PING, SPLIT, "
                   "PRE or reserved PID)\n",
                   path.c_str(), static_cast<unsigned long long>(decoder.skippedEvents),
                   decoder.events->size());
  }
  const std::vector<TlinRow>& rows = *decoder.rows;
  startOutput();
  if (args.has("-o")) {
    TdataIO io;
    const std::string& out = args.value("-o");
    if (io.saveLinearToFile(rows, out) == 0 && !io.lastError().empty())
      return inputError(outputName(out) + ": " + io.lastError());
  }
  if (args.has("--objects")) {
    printObjects(*decoder.objects);
  } else if (args.has("--decode")) {
    if (!printDecodes(decoder.rows, external, path)) return exitBadInput;
  } else if (args.has("--boxes")) {
    printBoxes(rows);
  } else if (!args.has("-o")) {
    printBody(rows);
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
    "goes to a sample file instead; --boxes prints box strings and --decode decode texts either way.",
    {
        {"-o", "OUT.ovd", "save a sample file instead of printing the text (- for standard output)"},
        {"--boxes", "", "print one box string per row"},
        {"--decode", "",
         "print one decode text per row (scripts: $TWR_SCRIPTS, beside twr, installed, ./scripts); the "
         "descriptors of the devices it enumerates are remembered for later captures"},
        {"--objects", "", "print the packets and resets in bus order, before grouping"},
        descriptorsOption(),
        hintOption(),
    },
    run,
};

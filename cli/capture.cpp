// twr capture: a capture from the sniffer, decoded and saved as a sample file.
// Like the GUI it drives the core's capture and decode threads directly; the C
// library is a front end of its own, proven by the examples that use it.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <thread>

#include "commands.h"
#include "files/ovbytesize.h"
#include "files/ovdataio.h"
#include "files/ovfilewriter.h"
#include "files/ovpcapexport.h"
#include "hardware/ovlivedecode.h"
#include "hardware/ovlothrd.h"
#include "output.h"
#include "progress.h"

namespace {

constexpr int exitInterrupted = 130;
const std::vector<std::string> outputOptions = {"-o", "--raw", "--pcap"};
constexpr auto pollPeriod = std::chrono::milliseconds(100);

volatile std::sig_atomic_t interrupted = 0;

// Ctrl-C and SIGTERM end the capture as Stop does; a second Ctrl-C ends the program at once,
// should the device hang.
void onStopSignal(int) {
  interrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

std::string statusText(int status) {
  switch (status) {
    case TloThread::statusNotFound:
      return "waiting for the sniffer: starting it up, or plug it in (Ctrl-C to give up)";
    case TloThread::statusInitFailed:
      return "sniffer found but it failed to start; retrying";
    case TloThread::statusNoPermission:
      return std::string("no permission to open the sniffer: install the udev rule ") +
             TloThread::accessRule + " and plug the sniffer in again (see 'man twr'); waiting";
    case TloThread::statusNoRoom:
      return "no room left for the capture";
    default:
      return "unexpected hardware status";
  }
}

// Waits until the sniffer is up; false when interrupted first.
bool waitForHardware(const TloThread& lo) {
  int shown = TloThread::statusReady;
  while (!interrupted) {
    const int status = lo.hardwareStatus;
    if (status == TloThread::statusReady && lo.state == TloThread::stateIdle) {
      std::fprintf(stderr, "twr: sniffer %s ready\n", lo.serialCopy().c_str());
      return true;
    }
    if (status != shown) std::fprintf(stderr, "twr: %s\n", statusText(status).c_str());
    shown = status;
    std::this_thread::sleep_for(pollPeriod);
  }
  return false;
}

// Follows the requested capture to its end, decoding it as it arrives; Ctrl-C ends it early.
// With --live, prints each row once no later byte can change it.
uint64_t followCapture(const Tparsed& args, TloThread& lo, uint64_t size,
                       const std::shared_ptr<Tcapture>& decoded) {
  const bool live = args.has("--live");
  // Rows on the terminal take the place of the progress bar.
  Tprogress progress(size / TloThread::sizeGranularity * TloThread::sizeGranularity, !live);
  TliveDecode decode(lo, decoded);
  size_t printed = 0;
  bool stopping = false;
  for (bool finished = false; !finished;) {
    if (interrupted && !stopping) {
      // Taken even before the run starts: that run then ends before its first read.
      lo.stop = true;
      stopping = true;
      progress.note("stopping; decoding what was captured");
    }
    progress.update(lo.captureCount);
    finished = decode.poll(pollPeriod);
    if (live && decode.finalRows() > printed) {
      printRowsNow(args, *decoded, printed, decode.finalRows());
      printed = decode.finalRows();
    }
    if (!finished) std::this_thread::sleep_for(pollPeriod);
  }
  const uint64_t captured = lo.buffer.size();
  progress.finish(captured);
  if (!lo.cutShort().empty())
    progress.note(("no room left for the capture (" + lo.cutShort() + "); keeping and decoding the " +
                   std::to_string(captured) + " bytes captured")
                      .c_str());
  else if (!stopping && captured < size / TloThread::sizeGranularity * TloThread::sizeGranularity)
    progress.note("the sniffer stopped streaming (unplugged?); keeping what was captured");
  return captured;
}

bool writeRaw(const TmappedFile& bytes, const std::string& path) {
  TfileWriter out;
  if (out.open(path) && out.write(bytes.data(), bytes.size()) && out.commit()) return true;
  inputError(outputName(path) + ": " + out.lastError());
  return false;
}

bool writePcap(const Tcapture& decoded, const std::string& path) {
  TexportCounts counts;
  std::string error;
  if (exportPcap(decoded, path, {}, counts, error)) return true;
  inputError(outputName(path) + ": " + error);
  return false;
}

void printSummary(const Tcapture& capture, FILE* to) {
  unsigned long packets = 0, transactions = 0, transfers = 0, resets = 0;
  unsigned long errorCounts[std::size(errorFlags)] = {};
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TrowSummary row = capture.rowSummary(ix);
    switch (row.objType) {
      case otReset:
        ++resets;
        break;
      case otSof:
      case otToken:
      case otData:
      case otHandshake:
        ++packets;
        for (size_t i = 0; i < std::size(errorFlags); ++i)
          if (row.errors & errorFlags[i].flag) ++errorCounts[i];
        break;
      case otTransax:
        ++transactions;
        break;
      case otTransfer:
        ++transfers;
        break;
      default:
        break;
    }
  }
  const std::pair<const char*, unsigned long> counts[] = {
      {"packets", packets}, {"transactions", transactions}, {"transfers", transfers}, {"resets", resets}};
  for (const auto& [name, count] : counts) std::fprintf(to, "%-30s %lu\n", name, count);
  for (size_t i = 0; i < std::size(errorFlags); ++i)
    std::fprintf(to, "%-30s %lu\n", ("packets with " + std::string(errorFlags[i].name) + " error").c_str(),
                 errorCounts[i]);
}

int capture(const Tparsed& args, uint64_t size) {
  TloThread lo;
  const uint64_t room = lo.largestCaptureWithRoom();
  if (size / TloThread::sizeGranularity * TloThread::sizeGranularity > room)
    return inputError(lo.captureDirectory() + " has room for a capture of at most " +
                      std::to_string(room / 1024) + "K with its decode (TMPDIR chooses the directory)");
  if (!waitForHardware(lo)) return exitInterrupted;
  if ((args.has("--connect") || args.has("--disconnect")) &&
      !lo.low.setTargetConnected(args.has("--connect")))
    return inputError("the sniffer did not take the connect request");

  lo.requestCapture(size);
  if (args.has("--live")) startOutput();
  const auto decoded = std::make_shared<Tcapture>();
  const uint64_t captured = followCapture(args, lo, size, decoded);
  if (captured == 0) return inputError("nothing was captured");

  if (args.has("--raw") && !writeRaw(lo.buffer, args.value("--raw"))) return exitBadInput;
  if (args.has("--pcap") && !writePcap(*decoded, args.value("--pcap"))) return exitBadInput;
  TdataIO io;
  const std::string& out = args.value("-o");
  if (io.saveLinearToFile(*decoded, out) == 0 && !io.lastError().empty())
    return inputError(outputName(out) + ": " + io.lastError());
  std::fprintf(stderr, "twr: saved %zu rows to %s\n", decoded->rowCount(), outputName(out).c_str());
  printSummary(*decoded, stdoutCount(args, outputOptions) != 0 || args.has("--live") ? stderr : stdout);
  return exitOk;
}

int usage(const std::string& message) {
  std::fprintf(stderr, "twr capture: %s (see 'twr capture --help')\n", message.c_str());
  return exitUsage;
}

int run(const Tparsed& args) {
  uint64_t size = 0;
  if (!args.has("--size") || !parseByteSize(args.value("--size"), size) ||
      size < TloThread::sizeGranularity)
    return usage("--size needs a capture size of at least 1K, such as 4M");
  if (size / TloThread::sizeGranularity * TloThread::sizeGranularity > TloThread::largestCapture) {
    const std::string most = std::to_string(TloThread::largestCapture / 1024) + "K";
    return usage("--size " + args.value("--size") + " is larger than the largest capture, " + most);
  }
  if (!args.has("-o")) return usage("-o OUT.ovd is required");
  if (stdoutCount(args, outputOptions) > 1)
    return usage("only one of -o, --raw and --pcap can be - (standard output)");
  if (args.has("--connect") && args.has("--disconnect"))
    return usage("--connect and --disconnect exclude each other");
  if (!formatKnown(args)) return usage("--format is text or summary");
  if (args.has("--format") && !args.has("--live")) return usage("--format goes with --live");
  if (args.has("--live") && stdoutCount(args, outputOptions) != 0)
    return usage("--live prints the rows on standard output, so no output can be - too");
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  const int status = capture(args, size);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  return status;
}

}  // namespace

const Tcommand captureCommand{
    "capture",
    {},
    "Capture from the sniffer, decode, save a sample file and print a summary.",
    "Waits for the sniffer to be plugged in, captures SIZE bytes of line-state stream (K, M, G\n"
    "suffixes; rounded down to 1 KiB) and saves the decoded rows to OUT.ovd. Ctrl-C or SIGTERM ends\n"
    "the capture early, as does the sniffer going away: what was captured so far is still decoded\n"
    "and written to every output, exit status 0; a second Ctrl-C quits at once. Progress goes to\n"
    "standard error, the summary to standard output, or to standard error when an output file is\n"
    "- (standard output; one at most). A file is replaced only once its successor is complete.",
    {
        {"--size", "SIZE", "bytes to capture, such as 4M"},
        {"-o", "OUT.ovd", "sample file to write (- for standard output)"},
        {"--raw", "OUT.raw", "also keep the raw stream as captured"},
        {"--pcap", "OUT.pcap", "also write the packets as pcap (bus resets left out, see 'twr export')"},
        {"--live", "", "print each row as it is decoded, in the order 'twr decode' prints them"},
        formatOption(),
        {"--connect", "", "connect the target to its host before capturing"},
        {"--disconnect", "", "disconnect the target from its host before capturing"},
    },
    run,
};

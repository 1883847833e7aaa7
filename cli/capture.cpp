// twr capture: a capture from the sniffer, decoded and saved as a sample file.
// Like the GUI it drives the core's capture and decode threads directly; the C
// library is a front end of its own, proven by the examples that use it.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "commands.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "files/ovpcapexport.h"
#include "hardware/ovlothrd.h"
#include "progress.h"

namespace {

constexpr int exitInterrupted = 130;
constexpr auto pollPeriod = std::chrono::milliseconds(100);

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
  interrupted = 1;
  // A second Ctrl-C ends the program at once, should the device hang.
  std::signal(SIGINT, SIG_DFL);
}

// "4M", "512K", "1G" or plain bytes; binary multiples. False when not a size
// the capture thread can take (1 KiB up to below 4 GiB).
bool parseSize(const std::string& text, uint32_t& bytes) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str() || text[0] == '-') return false;
  unsigned long long scale = 1;
  const std::string suffix = end;
  if (suffix == "K" || suffix == "k")
    scale = 1ull << 10;
  else if (suffix == "M" || suffix == "m")
    scale = 1ull << 20;
  else if (suffix == "G" || suffix == "g")
    scale = 1ull << 30;
  else if (!suffix.empty())
    return false;
  if (value == 0 || value > 0xffffffffull / scale) return false;
  const unsigned long long total = value * scale;
  if (total < TloThread::sizeGranularity || total > 0xffffffffull) return false;
  bytes = static_cast<uint32_t>(total);
  return true;
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
    case TloThread::statusNoMemory:
      return "no memory for the capture buffer";
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

// Runs one capture; Ctrl-C ends it early. Leaves only the captured bytes in the buffer.
uint64_t runCapture(TloThread& lo, uint32_t size) {
  lo.buffer.clear();
  lo.captureCount = 0;
  lo.needed = size;
  lo.run = true;
  Tprogress progress(size / TloThread::sizeGranularity * TloThread::sizeGranularity);
  bool stopping = false;
  // Until the thread takes the request, captureDone still speaks of the last run.
  while (lo.run || !lo.captureDone) {
    if (interrupted && !stopping) {
      // Taken even before the run starts: that run then ends before its first read.
      lo.stop = true;
      stopping = true;
      progress.note("stopping; decoding what was captured");
    }
    progress.update(lo.captureCount);
    std::this_thread::sleep_for(pollPeriod);
  }
  const uint64_t captured = lo.captureCount;
  progress.finish(captured);
  // After a stop the tail of the buffer is filler, not captured data.
  lo.buffer.resize(captured);
  return captured;
}

bool writeRaw(const std::vector<uint8_t>& bytes, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.flush().good();
}

bool writePcap(const TexThread& decoder, const std::string& path) {
  TexportCounts counts;
  std::string error;
  if (exportPcap({decoder.events, decoder.trees, decoder.rows}, path, {}, counts, error)) return true;
  inputError(error);
  return false;
}

void printSummary(const std::vector<TlinRow>& rows) {
  unsigned long packets = 0, transactions = 0, transfers = 0, resets = 0;
  unsigned long errorCounts[std::size(errorFlags)] = {};
  for (const TlinRow& row : rows) {
    const Tbase* obj = row.obj.get();
    if (!obj) continue;
    switch (obj->objType) {
      case otReset:
        ++resets;
        break;
      case otSof:
      case otToken:
      case otData:
      case otHandshake:
        ++packets;
        for (size_t i = 0; i < std::size(errorFlags); ++i)
          if (obj->flags & errorFlags[i].flag) ++errorCounts[i];
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
  for (const auto& [name, count] : counts) std::printf("%-30s %lu\n", name, count);
  for (size_t i = 0; i < std::size(errorFlags); ++i)
    std::printf("%-30s %lu\n", ("packets with " + std::string(errorFlags[i].name) + " error").c_str(),
                errorCounts[i]);
}

int capture(const Tparsed& args, uint32_t size) {
  TloThread lo;
  if (!waitForHardware(lo)) return exitInterrupted;
  if ((args.has("--connect") || args.has("--disconnect")) &&
      !lo.low.setTargetConnected(args.has("--connect")))
    return inputError("the sniffer did not take the connect request");

  const uint64_t captured = runCapture(lo, size);
  if (lo.hardwareStatus == TloThread::statusNoMemory)
    return inputError(statusText(TloThread::statusNoMemory));
  if (captured == 0) return inputError("nothing was captured");
  TexThread ex;
  if (!ex.startDecode(&lo.buffer)) return inputError("decoding failed");

  if (args.has("--raw") && !writeRaw(lo.buffer, args.value("--raw")))
    return inputError("cannot write " + args.value("--raw"));
  if (args.has("--pcap") && !writePcap(ex, args.value("--pcap"))) return exitBadInput;
  TdataIO io;
  const std::string& out = args.value("-o");
  if (io.saveLinearToFile(*ex.rows, out) == 0 && !io.lastError().empty())
    return inputError(out + ": " + io.lastError());
  std::fprintf(stderr, "twr: saved %zu rows to %s\n", ex.rows->size(), out.c_str());
  printSummary(*ex.rows);
  return interrupted ? exitInterrupted : exitOk;
}

int usage(const char* message) {
  std::fprintf(stderr, "twr capture: %s (see 'twr capture --help')\n", message);
  return exitUsage;
}

int run(const Tparsed& args) {
  uint32_t size = 0;
  if (!args.has("--size") || !parseSize(args.value("--size"), size))
    return usage("--size needs a capture size from 1K to below 4G, such as 4M");
  if (!args.has("-o")) return usage("-o OUT.ovd is required");
  if (args.has("--connect") && args.has("--disconnect"))
    return usage("--connect and --disconnect exclude each other");
  std::signal(SIGINT, onInterrupt);
  const int status = capture(args, size);
  std::signal(SIGINT, SIG_DFL);
  return status;
}

}  // namespace

const Tcommand captureCommand{
    "capture",
    {},
    "Capture from the sniffer, decode, save a sample file and print a summary.",
    "Waits for the sniffer to be plugged in, captures SIZE bytes of line-state stream (K, M, G\n"
    "suffixes; rounded down to 1 KiB) and saves the decoded rows to OUT.ovd. Ctrl-C ends the capture\n"
    "early; what was captured so far is still decoded and saved. Progress goes to standard error,\n"
    "the summary to standard output.",
    {
        {"--size", "SIZE", "bytes to capture, such as 4M"},
        {"-o", "OUT.ovd", "sample file to write"},
        {"--raw", "OUT.raw", "also keep the raw stream as captured"},
        {"--pcap", "OUT.pcap", "also write the packets as pcap (bus resets left out, see 'twr export')"},
        {"--connect", "", "connect the target to its host before capturing"},
        {"--disconnect", "", "disconnect the target from its host before capturing"},
    },
    run,
};

// twr-synth: writes the raw capture stream of a synthetic scenario.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "synth/generator.h"

namespace {

void usage(FILE* to) {
  std::fprintf(to,
               "usage: twr-synth --scenario NAME [--seconds N | --bytes N] [--seed N] [--varied] [-o FILE]\n"
               "  --seconds N  bus time to cover (default 1; fractions allowed)\n"
               "  --bytes N    stop at exactly N bytes, as a full capture buffer would\n"
               "  --seed N     traffic and encoding seed (default 1)\n"
               "  --varied     vary the encoding between equivalent forms\n"
               "  -o FILE      output file (default standard output)\n"
               "scenarios (NAME-late: enumerated before the capture starts):");
  for (const std::string& name : synth::scenarioNames()) std::fprintf(to, " %s", name.c_str());
  std::fprintf(to, "\n");
}

bool parseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == 0 && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioName, outPath;
  double seconds = 1, bytes = 0, seed = 1;
  synth::TrawOptions raw;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--scenario" && hasValue) {
      scenarioName = argv[++i];
    } else if (arg == "--seconds" && hasValue && parseNumber(argv[i + 1], seconds)) {
      ++i;
    } else if (arg == "--bytes" && hasValue && parseNumber(argv[i + 1], bytes)) {
      ++i;
    } else if (arg == "--seed" && hasValue && parseNumber(argv[i + 1], seed)) {
      ++i;
    } else if (arg == "--varied") {
      raw.varied = true;
    } else if (arg == "-o" && hasValue) {
      outPath = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      usage(stdout);
      return 0;
    } else {
      usage(stderr);
      return 2;
    }
  }
  raw.seed = static_cast<uint64_t>(seed);
  auto scenario = synth::makeScenario(scenarioName, raw.seed);
  if (!scenario) {
    std::fprintf(stderr, "twr-synth: unknown scenario '%s'\n", scenarioName.c_str());
    usage(stderr);
    return 2;
  }

  FILE* out = outPath.empty() ? stdout : std::fopen(outPath.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "twr-synth: cannot write %s: %s\n", outPath.c_str(), std::strerror(errno));
    return 1;
  }
  synth::Tgenerator generator(std::move(scenario), raw.seed, raw);
  generator.setRecording(false);
  const uint64_t byteLimit = static_cast<uint64_t>(bytes);
  const uint64_t tickLimit = static_cast<uint64_t>(seconds * 12e6);
  uint64_t written = 0;
  std::vector<uint8_t> block;
  bool done = false;
  while (!done) {
    block.clear();
    if (byteLimit ? written < byteLimit : generator.time() < tickLimit) {
      generator.next(block);
    } else {
      generator.finish(block);
      done = true;
    }
    size_t n = block.size();
    if (byteLimit && written + n >= byteLimit) {
      n = static_cast<size_t>(byteLimit - written);
      done = true;
    }
    if (n && std::fwrite(block.data(), 1, n, out) != n) {
      std::fprintf(stderr, "twr-synth: write failed: %s\n", std::strerror(errno));
      return 1;
    }
    written += n;
  }
  if (out != stdout ? std::fclose(out) != 0 : std::fflush(out) != 0) {
    std::fprintf(stderr, "twr-synth: write failed: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

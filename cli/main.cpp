// twr: decodes raw captures and reads sample files without a display.
#include <cstdio>
#include <new>
#include <string>

#include "commands.h"
#include "decode/ovmemtune.h"

namespace {

const Tcommand* const commands[] = {&decodeCommand, &showCommand,   &captureCommand, &exportCommand,
                                    &importCommand, &streamCommand, &statsCommand};

void printCommands(FILE* to) {
  std::fprintf(to,
               "usage: twr COMMAND [ARGS]  ('twr COMMAND --help' for details; twr --version)\ncommands:\n");
  for (const Tcommand* command : commands) {
    std::fprintf(to, "  %-8s %s\n", command->name.c_str(), command->summary.c_str());
  }
  std::fprintf(to, "an input file may be a FIFO or a pipe; - reads standard input\n");
}

}  // namespace

int main(int argc, char** argv) {
  memtune::forLargeDecodes();
  if (argc < 2) {
    std::fprintf(stderr, "twr: missing command (see 'twr --help')\n");
    return exitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h") {
    printCommands(stdout);
    return exitOk;
  }
  if (name == "--version") {
    std::printf("twr %s\n", TWR_VERSION);
    return exitOk;
  }
  for (const Tcommand* command : commands) {
    if (command->name != name) continue;
    Tparsed parsed;
    int status = exitOk;
    if (!parseArgs(*command, argc - 2, argv + 2, parsed, status)) return status;
    try {
      return command->run(parsed);
    } catch (const std::bad_alloc&) {
      return inputError("out of memory");
    }
  }
  std::fprintf(stderr, "twr: unknown command '%s' (see 'twr --help')\n", name.c_str());
  return exitUsage;
}

#include "args.h"

namespace {

const Toption* findOption(const Tcommand& command, const std::string& name) {
  for (const Toption& option : command.options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

std::string synopsis(const Tcommand& command) {
  std::string text = "twr " + command.name;
  for (const std::string& operand : command.operands) text += " " + operand;
  for (const Toption& option : command.options) {
    text += " [" + option.name + (option.valueName.empty() ? "" : " " + option.valueName) + "]";
  }
  return text;
}

int usageError(const Tcommand& command, const std::string& message) {
  std::fprintf(stderr, "twr %s: %s (usage: %s)\n", command.name.c_str(), message.c_str(),
               synopsis(command).c_str());
  return exitUsage;
}

}  // namespace

void printHelp(const Tcommand& command, FILE* to) {
  std::fprintf(to, "usage: %s\n%s\n%s\n", synopsis(command).c_str(), command.summary.c_str(),
               command.details.c_str());
  if (!command.options.empty()) std::fprintf(to, "options:\n");
  for (const Toption& option : command.options) {
    const std::string head = option.name + (option.valueName.empty() ? "" : " " + option.valueName);
    std::fprintf(to, "  %-14s %s\n", head.c_str(), option.help.c_str());
  }
  std::fprintf(to, "  %-14s %s\n", "--help", "show this help");
}

bool parseArgs(const Tcommand& command, int argc, char** argv, Tparsed& parsed, int& status) {
  // --help wins over anything else on the line, mistakes included.
  for (int i = 0; i < argc && std::string(argv[i]) != "--"; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      printHelp(command, stdout);
      status = exitOk;
      return false;
    }
  }
  bool onlyOperands = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (onlyOperands || arg == "-" || arg.empty() || arg[0] != '-') {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyOperands = true;
    } else if (const Toption* option = findOption(command, arg)) {
      if (option->valueName.empty()) {
        parsed.values[arg] = "";
      } else if (i + 1 < argc) {
        parsed.values[arg] = argv[++i];
      } else {
        status = usageError(command, arg + " needs " + option->valueName);
        return false;
      }
    } else {
      status = usageError(command, "unknown option " + arg);
      return false;
    }
  }
  if (parsed.operands.size() != command.operands.size()) {
    status = usageError(
        command, parsed.operands.size() < command.operands.size() ? "missing operand" : "too many operands");
    return false;
  }
  return true;
}

std::string outputName(const std::string& path) { return path == "-" ? "standard output" : path; }

int stdoutCount(const Tparsed& args, const std::vector<std::string>& options) {
  int count = 0;
  for (const std::string& option : options) count += args.has(option) && args.value(option) == "-";
  return count;
}

int inputError(const std::string& message) {
  std::fprintf(stderr, "twr: %s\n", message.c_str());
  return exitBadInput;
}

void inputWarnings(const std::string& path, const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings)
    std::fprintf(stderr, "twr: %s: %s\n", path.c_str(), warning.c_str());
}

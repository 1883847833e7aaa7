// Command-line parsing shared by the subcommands of twr. A subcommand is a
// Tcommand record; adding one is a new file and one entry in main.cpp.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct Toption {
  std::string name;       // "--boxes", "-o"
  std::string valueName;  // "OUT.ovd"; empty for a plain flag
  std::string help;
};

struct Tparsed {
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;  // flags map to ""

  bool has(const std::string& option) const { return values.count(option) != 0; }
  const std::string& value(const std::string& option) const { return values.at(option); }
};

struct Tcommand {
  std::string name;
  std::vector<std::string> operands;  // required, in order
  std::string summary;                // one line
  std::string details;
  std::vector<Toption> options;
  int (*run)(const Tparsed& args);
};

// Exit statuses of twr.
constexpr int exitOk = 0;
constexpr int exitBadInput = 1;
constexpr int exitUsage = 2;

// Parses argv after the subcommand name. On --help prints the help and sets
// status 0; on a usage error prints one line and sets status 2. Returns false
// in both cases (the command is not to run).
bool parseArgs(const Tcommand& command, int argc, char** argv, Tparsed& parsed, int& status);
void printHelp(const Tcommand& command, FILE* to);

// An output path of "-" is standard output: messages call it so, and only one
// output of a command may be it.
std::string outputName(const std::string& path);
// How many of the options name standard output as their file.
int stdoutCount(const Tparsed& args, const std::vector<std::string>& options);

// "twr: " and the message, one line on standard error; returns exitBadInput.
int inputError(const std::string& message);
// "twr: PATH: " and each warning, one line each on standard error.
void inputWarnings(const std::string& path, const std::vector<std::string>& warnings);

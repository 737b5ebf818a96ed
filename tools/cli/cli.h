// Subcommands of nubicorn-cli. Each takes the arguments after its own name
// (argv[0] is the subcommand) and returns the process exit code.
#pragma once

#include <cstdio>

struct CliCommand {
  const char* name;
  const char* usage;  // one line: arguments after the name
  int (*run)(int argc, char** argv);
};

// The table of subcommands, in the order `--help` lists them.
extern const CliCommand CliCommands[];
extern const int CliCommandCount;

void CliPrintUsage(FILE* out);

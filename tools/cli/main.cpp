// nubicorn-cli: headless access to the satellite-data library.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/cli/cli.h"

void CliPrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: nubicorn-cli COMMAND [ARGS...]\n"
               "       nubicorn-cli --help | --version\n\n"
               "Commands:\n");
  for (int i = 0; i < CliCommandCount; i++)
    std::fprintf(out, "  %s %s\n", CliCommands[i].name, CliCommands[i].usage);
}

int main(int argc, char** argv) {
  std::setlocale(LC_NUMERIC, "C");
  // Past a file-size limit a write then fails (EFBIG) and is reported, its temporary file
  // removed, instead of the signal ending the process in the middle.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    CliPrintUsage(stderr);
    return 2;
  }
  const char* cmd = argv[1];
  if (!std::strcmp(cmd, "--help") || !std::strcmp(cmd, "-h") || !std::strcmp(cmd, "help")) {
    CliPrintUsage(stdout);
    return 0;
  }
  if (!std::strcmp(cmd, "--version")) {
    std::printf("nubicorn-cli %s\n", NUBICORN_VERSION);
    return 0;
  }
  for (int i = 0; i < CliCommandCount; i++)
    if (!std::strcmp(cmd, CliCommands[i].name)) return CliCommands[i].run(argc - 1, argv + 1);
  std::fprintf(stderr, "nubicorn-cli: unknown command '%s'\n", cmd);
  CliPrintUsage(stderr);
  return 2;
}

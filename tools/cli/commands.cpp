// The subcommand table. Each command lives in its own cli_*.cpp file.
#include "tools/cli/cli.h"

int CliVersion(int argc, char** argv);

const CliCommand CliCommands[] = {
    {"version", "", CliVersion},
};
const int CliCommandCount = sizeof CliCommands / sizeof CliCommands[0];

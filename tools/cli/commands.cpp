// The subcommand table. Each command lives in its own cli_*.cpp file.
#include "tools/cli/cli.h"

int CliVersion(int argc, char** argv);
int CliSynth(int argc, char** argv);

const CliCommand CliCommands[] = {
    {"version", "", CliVersion},
    {"synth", "--out DIR --slot YYYYMMDDhhmm [--count N] [--seed S] [--clouds F]", CliSynth},
};
const int CliCommandCount = sizeof CliCommands / sizeof CliCommands[0];

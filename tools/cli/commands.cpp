// The subcommand table. Each command lives in its own cli_*.cpp file.
#include "tools/cli/cli.h"

int CliVersion(int argc, char** argv);
int CliInfo(int argc, char** argv);
int CliDecode(int argc, char** argv);
int CliGeo(int argc, char** argv);
int CliPrologue(int argc, char** argv);
int CliSynth(int argc, char** argv);
int CliChannel(int argc, char** argv);
int CliComposite(int argc, char** argv);

const CliCommand CliCommands[] = {
    {"version", "", CliVersion},
    {"info", "FILE [--json]", CliInfo},
    {"decode", "FILE -o|--out OUT.pgm", CliDecode},
    {"geo", "to-latlon X Y | to-pixel LAT LON", CliGeo},
    {"prologue", "FILE", CliPrologue},
    {"synth", "--out DIR --slot YYYYMMDDhhmm [--count N] [--seed S] [--clouds F] [--compress] "
     "[--land builtin|FILE]",
     CliSynth},
    {"channel",
     "--data DIR --slot YYYYMMDDhhmm --channel ID --rect X,Y,W,H -o|--out OUT.pgm "
     "[--display OUT.png] [--geotiff OUT.tif] [--hrv-east N]",
     CliChannel},
    {"composite",
     "--data DIR --slot YYYYMMDDhhmm --recipe NAME|INDEX --rect X,Y,W,H -o|--out OUT.png "
     "[--geotiff OUT.tif] [--settings nubicorn.ini]",
     CliComposite},
};
const int CliCommandCount = sizeof CliCommands / sizeof CliCommands[0];

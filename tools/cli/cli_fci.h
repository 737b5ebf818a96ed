// The MTG FCI side of the synth, info and channel subcommands; the MSG commands hand over to
// these when the arguments or the file are FCI's.
#pragma once

// True when the arguments choose an MTG satellite (--satellite MTG-I1) or name an FCI channel.
bool CliFciWanted(int argc, char** argv);
// True when the file's name is an FCI chunk name or the file is HDF5 (netCDF-4).
bool CliFciFile(const char* path);

int CliSynthFci(int argc, char** argv);
// The channels and rows a chunk file holds, as text or JSON.
int CliInfoFci(const char* path, bool json);
int CliChannelFci(int argc, char** argv);

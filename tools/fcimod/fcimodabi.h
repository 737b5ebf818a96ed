// The plain-C entry points of the FCI module (nubicorn-fci.so). netCDF, HDF5 and their own
// libraries (curl, XML, compression) are mapped only by the commands that read or write FCI chunks.
#pragma once

#define FCI_MODULE_ABI_VERSION 1
#define FCI_MODULE_ABI_ENTRY "nubicorn_fci_abi"
#define FCI_MODULE_SYNTH_ENTRY "nubicorn_fci_synth"
#define FCI_MODULE_INFO_ENTRY "nubicorn_fci_info"
#define FCI_MODULE_CHANNEL_ENTRY "nubicorn_fci_channel"

// Bumped whenever an entry point changes: a stale module is refused.
typedef int (*FciModuleAbiFn)(void);
// nubicorn-cli synth / channel for MTG (argv[0] is the command); the exit code.
typedef int (*FciModuleRunFn)(int argc, char** argv);
// nubicorn-cli info of a chunk file, as text or (json nonzero) JSON; the exit code.
typedef int (*FciModuleInfoFn)(const char* path, int json);

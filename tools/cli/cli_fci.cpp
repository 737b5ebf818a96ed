// The MTG FCI commands: recognised here, run by the module nubicorn-fci.so, loaded only for them
// so that every other command starts without netCDF, HDF5 and what they link.
#include "tools/cli/cli_fci.h"

#include <dlfcn.h>
#include <glib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "data/fci.h"
#include "data/gholder.h"
#include "data/suplfile.h"
#include "tools/fcimod/fcimodabi.h"
#include "tools/geotiff/geotiff.h"

namespace {

bool IsFciSatellite(const char* v) { return v && !g_ascii_strncasecmp(v, "MTG", 3); }

// The module's entry point name, or NULL (with the reason on stderr) when the module cannot be
// loaded or is of another version. The module stays mapped: HDF5 runs handlers at exit.
void* Entry(const char* cmd, const char* name) {
  const std::string path = ModulePath("nubicorn-fci.so", "NUBICORN_FCI_MODULE");
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    const char* why = dlerror();
    std::fprintf(stderr, "nubicorn-cli %s: cannot load the FCI module (netCDF): %s\n", cmd, why ? why : path.c_str());
    return nullptr;
  }
  auto abi = reinterpret_cast<FciModuleAbiFn>(dlsym(handle, FCI_MODULE_ABI_ENTRY));
  void* entry = dlsym(handle, name);
  if (!abi || !entry || abi() != FCI_MODULE_ABI_VERSION) {
    std::fprintf(stderr, "nubicorn-cli %s: %s is not the FCI module of this version of Nubicorn\n", cmd,
                 path.c_str());
    return nullptr;
  }
  return entry;
}

}  // namespace

bool CliFciWanted(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i++) {
    if (!std::strcmp(argv[i], "--satellite")) return IsFciSatellite(argv[i + 1]);
    if (!std::strcmp(argv[i], "--channel") && FciChannelIndex(argv[i + 1]) >= 0) return true;
  }
  return false;
}

bool CliFciFile(const char* path) {
  GStr base(g_path_get_basename(path));
  FciName n;
  if (FciParseName(base.get(), &n)) return true;
  // Any other netCDF-4 file: the HDF5 signature.
  // (Opened as every data file is: a FIFO or device named like one never blocks.)
  std::string why;
  const SuplFd fd = SuplFileOpen(path, 0, nullptr, &why);
  uint8_t sig[8] = {};
  return fd && SuplFileReadAt(fd.get(), sig, 8, 0) && !std::memcmp(sig, "\x89HDF\r\n\x1a\n", 8);
}

int CliSynthFci(int argc, char** argv) {
  auto run = reinterpret_cast<FciModuleRunFn>(Entry("synth", FCI_MODULE_SYNTH_ENTRY));
  return run ? run(argc, argv) : 1;
}

int CliInfoFci(const char* path, bool json) {
  auto run = reinterpret_cast<FciModuleInfoFn>(Entry("info", FCI_MODULE_INFO_ENTRY));
  return run ? run(path, json ? 1 : 0) : 1;
}

int CliChannelFci(int argc, char** argv) {
  auto run = reinterpret_cast<FciModuleRunFn>(Entry("channel", FCI_MODULE_CHANNEL_ENTRY));
  return run ? run(argc, argv) : 1;
}

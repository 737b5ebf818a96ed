#include <cstdio>

int CliVersion(int, char**) {
  std::printf("nubicorn-cli %s\n", NUBICORN_VERSION);
  return 0;
}

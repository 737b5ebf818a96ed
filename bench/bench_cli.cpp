// What a script pays for one `nubicorn-cli decode` of a WT-compressed segment, against the same
// read, unpack and PGM write in-process: the difference is the program's start-up. Also the bare
// start-up (`--version`). Uses the WT vectors beside the checkout when they are there.
#include <benchmark/benchmark.h>
#include <glib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "data/supl.h"
#include "data/xrit.h"
#include "tests/support/tempdir.h"
#include "tools/pgm.h"

namespace {

const char* const kVectors[] = {"nc3712_cloud", "nc5568_cloud", "nc3712_noise"};

std::string Vector(const char* name) {
  const std::string p = std::string(NUBICORN_SHARED) + "/wt/vectors/" + name + ".hrit";
  return std::filesystem::exists(p) ? p : std::string();
}

bool Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int status = -1;
  const bool spawned = g_spawn_sync(nullptr, argv.data(), nullptr,
                                    GSpawnFlags(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                                    nullptr, nullptr, nullptr, nullptr, &status, nullptr);
  return spawned && g_spawn_check_wait_status(status, nullptr);
}

void DecodeInProcess(benchmark::State& state, const std::string& in, const std::string& out) {
  for (auto _ : state) {
    const SuplBytes packed = XritSegmentRead(in.c_str());
    const int nc = packed.size() >= size_t(HRV_COLUMNS) * 580 ? HRV_COLUMNS : IR_COLUMNS;
    std::vector<uint16_t> counts(size_t(nc) * SEGMENT_LINES);
    SuplUnpack10Bit(packed.data(), counts.data(), nc);
    if (packed.empty() || !PgmWrite16(out, counts.data(), nc, SEGMENT_LINES, 1023, nullptr))
      state.SkipWithError("decode failed");
  }
}

void DecodeCli(benchmark::State& state, const std::string& in, const std::string& out) {
  for (auto _ : state) {
    if (!Run({NUBICORN_CLI, "decode", in, "-o", out})) state.SkipWithError("nubicorn-cli decode failed");
  }
}

void Version(benchmark::State& state) {
  for (auto _ : state) {
    if (!Run({NUBICORN_CLI, "--version"})) state.SkipWithError("nubicorn-cli --version failed");
  }
}

}  // namespace

int main(int argc, char** argv) {
  TestTempDir dir;
  int found = 0;
  const std::string out = dir.file("out.pgm");
  benchmark::RegisterBenchmark("CliVersion", Version)->Unit(benchmark::kMillisecond)->UseRealTime();
  for (const char* name : kVectors) {
    const std::string in = Vector(name);
    if (in.empty()) continue;
    found++;
    benchmark::RegisterBenchmark((std::string("DecodeInProcess/") + name).c_str(),
                                 [in, out](benchmark::State& s) { DecodeInProcess(s, in, out); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("DecodeCli/") + name).c_str(),
                                 [in, out](benchmark::State& s) { DecodeCli(s, in, out); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  if (!found) std::fprintf(stderr, "bench_cli: no WT vectors beside the checkout\n");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

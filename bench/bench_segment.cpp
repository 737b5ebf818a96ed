// Reading one uncompressed segment from the page cache, header parse included, against a single
// read() of the same file (target: within 2x).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/xrit.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

struct Fixture {
  TestTempDir dir;
  std::string ir, hrv;
  size_t ir_size = 0, hrv_size = 0;
  Fixture() {
    xb::Segment s;
    s.field = xb::Pack10(xb::Pattern(3712, 464));
    const xb::Bytes a = xb::File(s);
    ir = dir.file("H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_");
    xb::Write(ir, a);
    ir_size = a.size();
    s.nc = 5568;
    s.channel = 12;
    s.segment = 19;
    s.annotation = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
    s.field = xb::Pack10(xb::Pattern(5568, 464));
    const xb::Bytes b = xb::File(s);
    hrv = dir.file(s.annotation);
    xb::Write(hrv, b);
    hrv_size = b.size();
  }
};

Fixture& Files() {
  static Fixture f;
  return f;
}

void BM_SegmentRead(benchmark::State& state) {
  const bool hrv = state.range(0) == 5568;
  const std::string& path = hrv ? Files().hrv : Files().ir;
  for (auto _ : state) {
    SuplBytes packed = XritSegmentRead(path.c_str());
    if (packed.empty()) state.SkipWithError("segment not read");
    benchmark::DoNotOptimize(packed.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(hrv ? Files().hrv_size : Files().ir_size));
}

void BM_PlainRead(benchmark::State& state) {
  const bool hrv = state.range(0) == 5568;
  const std::string& path = hrv ? Files().hrv : Files().ir;
  std::vector<uint8_t> buf(hrv ? Files().hrv_size : Files().ir_size);
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY);
    const ssize_t n = read(fd, buf.data(), buf.size());
    close(fd);
    if (n != ssize_t(buf.size())) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
}

}  // namespace

BENCHMARK(BM_SegmentRead)->Arg(3712)->Arg(5568);
BENCHMARK(BM_PlainRead)->Arg(3712)->Arg(5568);
BENCHMARK_MAIN();

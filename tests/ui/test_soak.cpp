// Soak runs: every layer of a slot opened and closed many times (the heap comes back), and the
// monitor over many arriving cycles, some incomplete, some corrupt, some clashing with a name
// already in the target (every file accounted for, the window still answering, the memory flat
// once the monitor's cap on slots is reached). A short run is part of the suite; SOAK=1 runs
// the long one (100 rounds, 300 cycles with the default cap).
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "canvas/canvmonitor.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

namespace fs = std::filesystem;
using canvtest::CanvasTest;

constexpr const char* SLOT_A = "201607041200";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;  // the sanitizer's allocator: mallinfo2 knows nothing of it
#else
constexpr bool SANITIZED = false;
#endif

bool Long() {
  const char* s = g_getenv("SOAK");
  return s && std::string(s) == "1";
}

// Bytes the program holds from malloc (small blocks in the arenas and mmapped large ones).
size_t HeapInUse() {
  malloc_trim(0);
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// Resident set now and at its peak, in MB, from /proc/self/status.
double ProcMb(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key))) / 1024.0;
  return 0;
}

class Soak : public CanvasTest {
 protected:
  int LoadedLayers(const Slot* s) {
    int n = 0;
    for (int id = 1; s && id < SLOT_SIZE; id++) n += s[id] != nullptr;
    return n;
  }
};

// Opens each channel and each default composite, then closes every layer the slot holds.
TEST_F(Soak, OpeningAndClosingEveryLayerGivesTheMemoryBack) {
  canvtest::Link(home, SLOT_A);
  Build();
  ASSERT_TRUE(StartupDone());
  AddSlot(SLOT_A);
  std::vector<int> ids;
  for (int id = 1; id <= CHANNEL_COUNT; id++) ids.push_back(id);
  for (int i = 0; i < 7; i++) ids.push_back(RECIPE_FIRST_ID + i);
  int opened = 0;
  auto round = [&] {
    for (int id : ids) {
      Select(id);
      ASSERT_NE(SlotAt(0)[id], nullptr) << id;
      opened++;
      CanvFileClose(nullptr, nullptr);
      uitest::Drain();
      ASSERT_EQ(SlotAt(0)[id], nullptr) << id;
      // A composite leaves the channels it loaded: close the highest until none is left.
      for (int guard = 0; CanvSlotLast(SlotAt(0)) > 0 && guard < SLOT_SIZE; guard++) {
        CanvFileClose(nullptr, nullptr);
        uitest::Drain();
      }
      ASSERT_EQ(LoadedLayers(SlotAt(0)), 0);
    }
  };
  round();  // warm-up: caches of the toolkit, the fonts and OpenCV are made once
  if (HasFatalFailure()) return;
  const size_t heap_before = HeapInUse();
  const double rss_before = ProcMb("VmRSS:");
  const int rounds = Long() ? 100 : 2;
  for (int r = 0; r < rounds && !HasFatalFailure(); r++) round();
  const size_t heap_after = HeapInUse();
  const double rss_after = ProcMb("VmRSS:");
  std::printf("soak layers: %d opens in %d rounds; heap %.1f -> %.1f MB, RSS %.1f -> %.1f MB, peak %.1f MB\n",
              opened, rounds + 1, heap_before / 1048576.0, heap_after / 1048576.0, rss_before, rss_after,
              ProcMb("VmHWM:"));
  if (SANITIZED) return;  // LeakSanitizer checks these runs
  // One layer's images are several MB: a leak of one per round would show at once.
  EXPECT_LT(double(heap_after), double(heap_before) + 2.0 * 1048576) << "heap grew over " << rounds << " rounds";
}

class SoakMonitor : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    // The short run caps the slots at 3, so flatness shows in a few cycles; the long one has
    // the default, a day of the service.
    Build(Long() ? std::string() : std::string("[Interface]\nmax-slots=3\n"));
    ASSERT_TRUE(StartupDone());
    fs::create_directories(Mnt());
    fs::create_directories(Target());
    // Uncompressed: the arrivals cost the soak their loading, not WT decoding, and a slot's
    // memory is that of its images either way.
    source_ = testcycles::Cached("test-cycles-plain", SLOT_A, 7, false);
    ASSERT_FALSE(source_.empty());
  }
  std::string Mnt() { return home / "import/mnt"; }
  std::string Target() { return canvtest::Input(home); }
  void Tick() {
    canv.monitor = 1;
    EXPECT_TRUE(CanvMonitorStep(nullptr));
    EXPECT_TRUE(WaitFor([] { return !CanvMonitorBusy(); }));
  }
  // Drops cycle k (slot SLOT_A + k quarter hours) into import/mnt, hard-linked from the cached
  // cycle under the new slot time. Every fourth cycle of five differs: 1 lacks IR 10.8, 2 has
  // a VIS 0.6 segment cut short, 3 finds its VIS 0.8 segment already in the target.
  void Drop(int k) {
    const std::string slot = SlotText(k);
    const int kind = k % 5;
    for (const auto& e : fs::directory_iterator(source_)) {
      std::string name = e.path().filename().string();
      if (name.size() != 61) continue;
      name.replace(46, 12, slot);
      if (kind == 1 && name.compare(26, 6, "IR_108") == 0) continue;
      const std::string to = Mnt() + "/" + name;
      if (kind == 2 && name == SynthSegmentName(1, 7, slot)) {
        const std::string bytes = uitest::ReadFile(e.path());
        uitest::TempHome::Write(to, bytes.substr(0, bytes.size() / 3));
        cut_.push_back(name);
      } else {
        std::error_code ec;
        fs::create_hard_link(e.path(), to, ec);
        if (ec) fs::copy_file(e.path(), to);
      }
      if (kind == 3 && name == SynthSegmentName(2, 7, slot)) {
        uitest::TempHome::Write(Target() + "/" + name, "already here");
        clashing_.push_back(name);
      }
      dropped_.push_back(name);
    }
  }
  std::string SlotText(int k) {
    int64_t t0 = 0;
    std::string err;
    SynthParseSlot(SLOT_A, &t0, &err);
    return SynthSlotText(t0 + int64_t(k) * 900);
  }
  std::string ShownSlotText() {
    Slot* s = CanvCurrentSlot();
    return s && s[0] ? s[0]->slot : std::string();
  }
  static bool In(const std::vector<std::string>& v, const std::string& f) {
    return std::find(v.begin(), v.end(), f) != v.end();
  }
  std::string source_;
  std::vector<std::string> dropped_, clashing_, cut_;
};

// Cycles arrive one by one, two ticks each (a file is moved once seen unchanged over a tick);
// the monitor keeps at most its cap of slots, so the memory stops growing once it is reached.
TEST_F(SoakMonitor, EveryArrivingFileIsAccountedForAndTheMemoryStaysFlat) {
  const int cycles = Long() ? 300 : 8;
  const int cap = CanvMonitorMaxSlots(conf);
  const int checkpoint = Long() ? 100 : 4;
  LogCapture log;
  const double peak_before = ProcMb("VmHWM:");
  std::vector<std::pair<double, size_t>> marks;  // RSS MB and heap bytes at each checkpoint
  for (int k = 0; k < cycles && !HasFatalFailure(); k++) {
    Drop(k);
    Tick();
    Tick();
    if ((k + 1) % checkpoint == 0) {
      marks.emplace_back(ProcMb("VmRSS:"), HeapInUse());
      std::printf("soak monitor: after %d cycles, %u slots: RSS %.1f MB, heap %.1f MB\n", k + 1, SlotCount(),
                  marks.back().first, marks.back().second / 1048576.0);
      std::fflush(stdout);
    }
  }
  for (int i = 0; i <= MONITOR_SETTLE_TICKS; i++) Tick();  // the incomplete ones settle
  int moved = 0, left = 0, lost = 0;
  for (const std::string& f : dropped_) {
    const bool in_mnt = uitest::Exists(Mnt() + "/" + f), in_target = uitest::Exists(Target() + "/" + f);
    if (In(clashing_, f)) {
      EXPECT_TRUE(in_mnt) << f;
      EXPECT_EQ(uitest::ReadFile(Target() + "/" + f), "already here") << "never overwritten: " << f;
      EXPECT_TRUE(log.contains(f + " left in import/mnt")) << f;
      left += in_mnt && log.contains(f + " left in import/mnt");
    } else if (In(cut_, f)) {
      // Cut short and no longer growing: it waits where it is for the rest of its bytes.
      EXPECT_TRUE(in_mnt && !in_target) << f;
      EXPECT_TRUE(log.contains(f + " left in import/mnt: not complete yet")) << f;
      left += in_mnt && !in_target;
    } else if (in_target && !in_mnt) {
      moved++;
    } else {
      ADD_FAILURE() << "not accounted for: " << f;
      lost++;
    }
  }
  EXPECT_EQ(moved + left, int(dropped_.size()));
  EXPECT_EQ(lost, 0);
  // The newest cycles have their slots, no more than the cap; the incomplete were logged.
  EXPECT_EQ(int(SlotCount()), std::min(cycles, cap));
  EXPECT_EQ(ShownSlotText(), SlotText(cycles - 1));
  EXPECT_TRUE(log.contains("incomplete"));
  EXPECT_TRUE(log.contains(" Error!"));
  // The window still answers: a row chosen is shown, a queued callback runs.
  Select(9);
  EXPECT_EQ(CanvTreeGetId(), 9);
  bool ran = false;
  g_idle_add(+[](gpointer p) -> gboolean { *static_cast<bool*>(p) = true; return G_SOURCE_REMOVE; }, &ran);
  EXPECT_TRUE(WaitFor([&] { return ran; }));
  std::printf("soak monitor: %d cycles, cap %d, %zu files dropped, %d moved, %d left in place with a log line; "
              "peak RSS %.1f -> %.1f MB\n",
              cycles, cap, dropped_.size(), moved, left, peak_before, ProcMb("VmHWM:"));
  if (SANITIZED || marks.size() < 2) return;
  // Past the cap every arrival frees a slot as big as the one it brings: the heap after the
  // last checkpoint is that of the first one after the cap was reached, give or take a slot's
  // small change (one slot of this window is several MB).
  const size_t first = size_t((cap + checkpoint - 1) / checkpoint - 1);
  for (size_t i = first + 1; i < marks.size(); i++)
    EXPECT_LT(double(marks[i].second), double(marks[first].second) + 2.0 * 1048576)
        << "heap grew between checkpoints " << first << " and " << i;
}

}  // namespace

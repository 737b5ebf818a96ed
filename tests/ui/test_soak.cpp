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

#include "tests/support/logcapture.h"
#include "tests/ui/test_monitor_support.h"

namespace {

namespace fs = std::filesystem;
using canvtest::CanvasTest;
using canvtest::SLOT_A;

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

class Soak : public CanvasTest {};

// Opens each channel and each default composite, then closes every layer the slot holds.
TEST_F(Soak, OpeningAndClosingEveryLayerGivesTheMemoryBack) {
  Open({SLOT_A});
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
      int kept = 0;
      for (int i = 1; i < SLOT_SIZE; i++) kept += SlotAt(0)[i] != nullptr;
      ASSERT_EQ(kept, 0);
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

class SoakMonitor : public montest::Monitor {
 protected:
  // The short run caps the slots at 3, so flatness shows in a few cycles; the long one has the
  // default, a day of the service.
  std::string Ini() override { return Long() ? std::string() : "[Interface]\nmax-slots=3\n"; }
  // Drops cycle k, hard-linked from an uncompressed cycle (the arrivals cost the soak their
  // loading, not WT decoding). Every fourth cycle of five differs: 1 lacks IR 10.8, 2 has a
  // VIS 0.6 segment cut short, 3 finds its VIS 0.8 segment already in the target.
  void DropVaried(int k) {
    const std::string src = testcycles::Cached("test-cycles-plain", SLOT_A, 7, false);
    const std::string slot = SlotK(k);
    DropK(k, src, [&](std::string* name) {
      if (k % 5 == 1 && name->compare(26, 6, "IR_108") == 0) return false;
      dropped.push_back(*name);
      if (k % 5 == 2 && *name == SynthSegmentName(1, 7, slot)) {
        const std::string bytes = uitest::ReadFile(src + "/" + SynthSegmentName(1, 7, SLOT_A));
        uitest::TempHome::Write(Mnt() + "/" + *name, bytes.substr(0, bytes.size() / 3));
        left.push_back(*name);
        return false;
      }
      if (k % 5 == 3 && *name == SynthSegmentName(2, 7, slot)) {
        uitest::TempHome::Write(Target() + "/" + *name, "already here");
        left.push_back(*name);
      }
      return true;
    });
  }
  std::vector<std::string> dropped, left;
};

// Cycles arrive one by one, two ticks each; every file is moved or left in place with a log
// line, and the monitor keeps at most its cap of slots, so the memory stops growing once it is
// reached, the failures' paths included.
TEST_F(SoakMonitor, EveryArrivingFileIsAccountedForAndTheMemoryStaysFlat) {
  const int cycles = Long() ? 300 : 8, checkpoint = Long() ? 100 : 4;
  const int cap = CanvMonitorMaxSlots(conf);
  LogCapture log;
  std::vector<size_t> heap;  // at each checkpoint
  for (int k = 0; k < cycles && !HasFatalFailure(); k++) {
    DropVaried(k);
    Arrive();
    if ((k + 1) % checkpoint == 0) {
      heap.push_back(HeapInUse());
      std::printf("soak monitor: after %d cycles, %u slots: RSS %.1f MB, heap %.1f MB\n", k + 1, SlotCount(),
                  ProcMb("VmRSS:"), heap.back() / 1048576.0);
    }
  }
  for (int i = 0; i <= MONITOR_SETTLE_TICKS; i++) Tick();  // the incomplete ones settle
  std::vector<std::string> in_mnt;
  for (const auto& e : fs::directory_iterator(Mnt())) in_mnt.push_back(e.path().filename().string());
  std::sort(in_mnt.begin(), in_mnt.end());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(in_mnt, left);
  for (const std::string& f : left) EXPECT_TRUE(log.contains(f + " left in import/mnt")) << f;
  for (const std::string& f : dropped)
    EXPECT_TRUE(std::count(left.begin(), left.end(), f) || uitest::Exists(Target() + "/" + f)) << f;
  EXPECT_EQ(int(SlotCount()), std::min(cycles, cap));
  EXPECT_EQ(ShownSlot(), SlotK(cycles - 1));
  // The window still answers: a row chosen is shown.
  Select(9);
  EXPECT_EQ(CanvTreeGetId(), 9);
  if (SANITIZED || heap.size() < 2) return;
  // Past the cap every arrival frees a slot as big as the one it brings: the heap after the
  // last checkpoint is that of the first one after the cap was reached, give or take a slot's
  // small change (one slot of this window is several MB).
  const size_t first = size_t((cap + checkpoint - 1) / checkpoint - 1);
  for (size_t i = first + 1; i < heap.size(); i++)
    EXPECT_LT(double(heap[i]), double(heap[first]) + 2.0 * 1048576) << "heap grew by checkpoint " << i;
}

}  // namespace

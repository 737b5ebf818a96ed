// The monitor's test window: a home with import/mnt, generated cycles dropped into it, and the
// ticks that run the worker and the hand-over to the main loop.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "canvas/canvmonitor.h"
#include "tests/ui/test_canvas_support.h"

namespace montest {

namespace fs = std::filesystem;
using canvtest::SLOT_A;
using canvtest::SLOT_B;

class Monitor : public canvtest::CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    Build(Ini());
    ASSERT_TRUE(StartupDone());  // the monitor waits while the start-up loader runs
    fs::create_directories(Mnt());
    fs::create_directories(Target());
  }
  // The settings file the window starts with; empty: the defaults.
  virtual std::string Ini() { return {}; }
  std::string Mnt() { return home / "import/mnt"; }
  std::string Target() { return canvtest::Input(home); }
  // Copies the files of slot whose names pass keep (all when empty) into import/mnt.
  void Drop(const std::string& slot, const std::function<bool(const std::string&)>& keep = {}) {
    const std::string src = canvtest::Cycle(slot);
    ASSERT_FALSE(src.empty());
    for (const auto& e : fs::directory_iterator(src)) {
      const std::string name = e.path().filename().string();
      if (!keep || keep(name)) fs::copy_file(e.path(), Mnt() + "/" + name);
    }
  }
  static bool IsEpilogue(const std::string& n) { return n.find("-EPI______-") != std::string::npos; }
  // The names of the generated cycle of slot, as a receiver delivers them.
  static std::vector<std::string> Generated(const std::string& slot) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(canvtest::Cycle(slot))) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  int Count(const std::string& dir) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += !e.is_directory();
    return n;
  }
  // Files are moved once seen unchanged over a tick: the two ticks that take a complete cycle.
  void Arrive() {
    Tick();
    Tick();
  }
  int Loaded(guint slot) {
    Slot* s = SlotAt(slot);
    int n = 0;
    // Loaded: its counts are there (slots not shown keep no display image).
    for (int id = 1; s && id <= CHANNEL_COUNT; id++) n += s[id] && !s[id]->images[0].empty();
    return n;
  }
  // The slot text k quarter hours after SLOT_A.
  static std::string SlotK(int k) {
    int64_t t0 = 0;
    std::string err;
    SynthParseSlot(SLOT_A, &t0, &err);
    return SynthSlotText(t0 + int64_t(k) * 900);
  }
  // Drops cycle k: the cycle in folder src (SLOT_A's) hard-linked under the names of slot
  // SlotK(k); each name passes edit first, which may change it or drop it (returns false).
  void DropK(int k, const std::string& src = canvtest::Cycle(SLOT_A),
             const std::function<bool(std::string*)>& edit = {}) {
    ASSERT_FALSE(src.empty());
    for (const auto& e : fs::directory_iterator(src)) {
      std::string name = e.path().filename().string();
      if (name.size() != 61) continue;
      name.replace(46, 12, SlotK(k));
      if (edit && !edit(&name)) continue;
      std::error_code ec;
      fs::create_hard_link(e.path(), Mnt() + "/" + name, ec);
      if (ec) fs::copy_file(e.path(), Mnt() + "/" + name);
    }
  }
  // The slot text of the slot shown.
  std::string ShownSlot() {
    Slot* s = CanvCurrentSlot();
    return s && s[0] ? s[0]->slot : std::string();
  }
};

}  // namespace montest

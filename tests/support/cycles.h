// Generated repeat cycles for the tests, made once per build tree and shared between runs.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "data/fileinfo.h"
#include "synth_stamp.h"
#include "tools/synth.h"

namespace testcycles {

// The folder <build>/<cache>-<generator digest>/<slot> holding one cycle generated with seed (WT-compressed when
// compress; segments from first_segment on, 0: the northern strip). Made under a temporary
// name and renamed, so an interrupted run leaves no half cycle; empty (with a test failure)
// when it cannot be made. Cycles of another satellite than MSG3's full disk go to a folder
// named with its settings text too, those from another first segment to one ending in "-from<N>".
inline std::string Cached(const std::string& cache, const std::string& slot, uint32_t seed,
                          bool compress, const Sat& sat = Sat{}, int first_segment = 0) {
  namespace fs = std::filesystem;
  const std::string base = std::string(NUBICORN_BINARY_DIR) + "/" + cache + "-" + NUBICORN_SYNTH_STAMP;
  const std::string dir = base + "/" + (sat == Sat{} ? slot : SatText(sat) + "-" + slot) +
                          (first_segment ? "-from" + std::to_string(first_segment) : "");
  if (fs::exists(dir)) return dir;
  fs::create_directories(base);
  std::string tmpl = base + "/tmp-XXXXXX";
  if (!g_mkdtemp(tmpl.data())) return {};
  SynthOptions o;
  o.out = tmpl;
  o.slot = slot;
  o.seed = seed;
  o.compress = compress;
  o.satellite = sat;
  o.first_segment = first_segment;
  std::string err;
  if (!SynthCycle(o, &err)) {
    ADD_FAILURE() << err;
    return {};
  }
  std::error_code ec;
  fs::rename(tmpl, dir, ec);
  if (ec) fs::remove_all(tmpl, ec);  // another run made it first
  return dir;
}

// The cycle of slot that the window tests share: made once per build tree, WT-compressed as
// received (a sixth of the size).
inline std::string Shared(const std::string& slot) { return Cached("test-cycles-wt", slot, 7, true); }

// Hard-links (or copies) the files of the shared cycle of slot whose names pass keep (all when
// empty) into the folder dir.
inline void LinkInto(const std::string& slot, const std::string& dir,
                     const std::function<bool(const std::string&)>& keep = {}) {
  namespace fs = std::filesystem;
  const std::string src = Shared(slot);
  ASSERT_FALSE(src.empty());
  fs::create_directories(dir);
  for (const auto& e : fs::directory_iterator(src)) {
    const std::string name = e.path().filename().string();
    if (keep && !keep(name)) continue;
    std::error_code ec;
    fs::create_hard_link(e.path(), dir + "/" + name, ec);
    if (ec) fs::copy_file(e.path(), dir + "/" + name, fs::copy_options::overwrite_existing);
  }
}

// The reference segment name of channel id in slot.
inline std::string Name(int id, const std::string& slot) {
  return SynthSegmentName(id, id == HRV_ID ? 19 : 7, slot);
}

}  // namespace testcycles

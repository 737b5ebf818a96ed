// What happens to each file of an arriving cycle: a table of arrivals (a segment still growing,
// one cut short, FIFOs named like a segment and a prologue, a name already in the target) with
// what is moved, what stays, what is loaded and what the status bar says; and the file
// operations the monitor is built on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "tests/support/logcapture.h"
#include "tests/ui/test_monitor_support.h"

namespace {

namespace fs = std::filesystem;
using montest::Monitor;
using montest::SLOT_A;

struct Arrival {
  const char* label;
  int ticks;
  // Files of the cycle that are FIFOs, cut to a third, or taken in the target beforehand.
  std::vector<std::string> fifos, cut, taken;
  bool grows;  // the cut file gets its next third before each of the next two ticks
  int loaded;
  const char* status;  // part of a status message, with {mnt} for the watched folder
};

const std::string VIS006 = canvtest::Name(1, SLOT_A);
const std::string PRO = SynthPrologueName(SLOT_A);

const Arrival ARRIVALS[] = {
    {"GrowingSegment", 4, {}, {VIS006}, {}, true, 12, ""},
    {"CutShortSegment", MONITOR_SETTLE_TICKS + 1, {}, {VIS006}, {}, false, 11,
     "1 file(s) not complete yet, left in {mnt}"},
    {"FifosNamedLikeSegmentAndPrologue", MONITOR_SETTLE_TICKS + 1, {VIS006, PRO}, {}, {}, false, 11,
     "2 file(s) that are no regular files left in {mnt}"},
    {"NameTakenInTarget", 2, {}, {}, {VIS006}, false, 11, "1 file(s) left in {mnt}: the name is taken in import/SEVIRI_data"},
};

class Arrivals : public Monitor, public ::testing::WithParamInterface<Arrival> {};

// The file at path holds exactly bytes; on failure says how long each is (not the bytes).
::testing::AssertionResult Holds(const std::string& path, const std::string& bytes) {
  const std::string got = uitest::ReadFile(path);
  if (got == bytes) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " holds " << got.size() << " bytes, not the " << bytes.size()
                                       << " written";
}

std::string Fill(std::string s, const std::string& key, const std::string& value) {
  for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
  return s;
}

TEST_P(Arrivals, MovedKeptLoadedAndSaid) {
  const Arrival& a = GetParam();
  const std::string src = canvtest::Cycle(SLOT_A);
  ASSERT_FALSE(src.empty());
  auto in = [](const std::vector<std::string>& v, const std::string& f) {
    return std::find(v.begin(), v.end(), f) != v.end();
  };
  for (const std::string& f : a.taken) uitest::TempHome::Write(Target() + "/" + f, "already here");
  std::map<std::string, std::string> bytes;
  for (const auto& e : fs::directory_iterator(src)) {
    const std::string f = e.path().filename().string();
    bytes[f] = uitest::ReadFile(e.path());
    if (in(a.fifos, f))
      ASSERT_EQ(mkfifo((Mnt() + "/" + f).c_str(), 0644), 0);
    else
      uitest::TempHome::Write(Mnt() + "/" + f, in(a.cut, f) ? bytes[f].substr(0, bytes[f].size() / 3) : bytes[f]);
  }
  LogCapture log;
  for (int t = 0; t < a.ticks; t++) {
    if (a.grows && (t == 1 || t == 2)) {
      // The writer goes on with the file it has open; appending fails once it is gone.
      for (const std::string& f : a.cut) {
        const int fd = open((Mnt() + "/" + f).c_str(), O_WRONLY | O_APPEND);
        const std::string& b = bytes[f];
        const size_t from = b.size() * size_t(t) / 3, to = t == 2 ? b.size() : b.size() * 2 / 3;
        if (fd >= 0) {
          EXPECT_EQ(write(fd, b.data() + from, to - from), ssize_t(to - from));
          close(fd);
        }
      }
    }
    Tick();  // a tick that opened a FIFO for reading would wait for a writer: it ends, or fails
  }
  for (const std::string& f : Generated(SLOT_A)) {
    const std::string m = Mnt() + "/" + f, t = Target() + "/" + f;
    if (in(a.fifos, f)) {
      EXPECT_TRUE(fs::is_fifo(m)) << f << " stays where it is";
      EXPECT_FALSE(uitest::Exists(t)) << f;
    } else if (in(a.taken, f) || (in(a.cut, f) && !a.grows)) {
      EXPECT_TRUE(uitest::Exists(m)) << f << " stays where it is";
      if (uitest::Exists(m)) {
        EXPECT_TRUE(Holds(m, in(a.cut, f) ? bytes[f].substr(0, bytes[f].size() / 3) : bytes[f]));
      }
      if (in(a.taken, f)) {
        EXPECT_EQ(uitest::ReadFile(t), "already here") << f << " is never overwritten";
      }
      if (in(a.cut, f)) {
        EXPECT_FALSE(uitest::Exists(t)) << f;
      }
    } else {
      EXPECT_FALSE(uitest::Exists(m)) << f << " moved";
      ASSERT_TRUE(uitest::Exists(t)) << f;
      EXPECT_TRUE(Holds(t, bytes[f])) << "every byte arrives";
    }
  }
  // No temporary copy is left in the target.
  EXPECT_EQ(Count(Target()), int(Generated(SLOT_A).size() - a.fifos.size() - (a.grows ? 0 : a.cut.size())));
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), a.loaded);
  const std::string said = Fill(a.status, "{mnt}", Mnt());
  EXPECT_TRUE(std::any_of(status.begin(), status.end(), [&](const std::string& s) {
    return said.empty() ? s.empty() : s.find(said) != std::string::npos;
  })) << "status bar never said: " << said;
  // The cycle is handled once: what stays is not taken up again.
  const size_t messages = log.count();
  Tick();
  EXPECT_EQ(log.count(), messages);
  EXPECT_EQ(SlotCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cycle, Arrivals, ::testing::ValuesIn(ARRIVALS),
                         [](const ::testing::TestParamInfo<Arrival>& i) { return std::string(i.param.label); });

TEST(MonitorMove, CopyMoveKeepsEverythingNeverReplacesAndCrossesFileSystems) {
  uitest::TempHome home;
  const std::string a = home / "a", b = home / "b", c = home / "c";
  std::string big(300000, 'x');
  for (size_t i = 0; i < big.size(); i++) big[i] = char(i * 7 + i / 251);
  uitest::TempHome::Write(a, big);
  ASSERT_TRUE(CanvMonitorCopyMove(a, b));
  EXPECT_FALSE(uitest::Exists(a));
  EXPECT_EQ(uitest::ReadFile(b), big);
  uitest::TempHome::Write(c, "other");
  errno = 0;
  EXPECT_FALSE(CanvMonitorCopyMove(c, b));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(uitest::ReadFile(b), big);
  EXPECT_EQ(uitest::ReadFile(c), "other");
  EXPECT_FALSE(CanvMonitorMove(c, b));
  EXPECT_EQ(uitest::ReadFile(c), "other");
  EXPECT_FALSE(CanvMonitorCopyMove(home / "absent", home / "d"));
  EXPECT_FALSE(uitest::Exists(home / "d"));
  // A FIFO is neither opened for reading (which would wait for a writer) nor moved.
  ASSERT_EQ(mkfifo((home / "fifo").c_str(), 0644), 0);
  EXPECT_FALSE(CanvMonitorCopyMove(home / "fifo", home / "e"));
  EXPECT_FALSE(CanvMonitorMove(home / "fifo", home / "e"));
  EXPECT_FALSE(CanvMonitorComplete(home / "fifo"));
  EXPECT_FALSE(uitest::Exists(home / "e"));
  int entries = 0;
  for (const auto& e : fs::directory_iterator(home.path())) entries += bool(e.path().string().size());
  EXPECT_EQ(entries, 3);  // b, c and the FIFO: no temporary copy is left
  // /dev/shm is a separate file system on most Linux machines: rename reports EXDEV there.
  if (!fs::exists("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  std::string shm = "/dev/shm/nubicorn-move-XXXXXX";
  if (!g_mkdtemp(shm.data())) GTEST_SKIP() << "cannot use /dev/shm";
  const std::string from = shm + "/seg";
  uitest::TempHome::Write(from, "segment bytes");
  const bool ok = CanvMonitorMove(from, home / "seg");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(uitest::Exists(from));
  EXPECT_EQ(uitest::ReadFile(home / "seg"), "segment bytes");
  fs::remove_all(shm);
}

// The primary header decides: a file is complete once it holds header and data field.
TEST(MonitorComplete, DataFieldAsLongAsTheHeaderSays) {
  uitest::TempHome home;
  const std::string src = canvtest::Cycle(SLOT_A);
  ASSERT_FALSE(src.empty());
  for (const std::string& f : {canvtest::Name(1, SLOT_A), SynthPrologueName(SLOT_A), SynthEpilogueName(SLOT_A)}) {
    const std::string bytes = uitest::ReadFile(src + "/" + f);
    ASSERT_GT(bytes.size(), 16u) << f;
    const struct {
      size_t size;
      bool complete;
    } cases[] = {{0, false}, {15, false}, {16, false}, {bytes.size() / 2, false},
                 {bytes.size() - 1, false}, {bytes.size(), true}};
    for (const auto& c : cases) {
      uitest::TempHome::Write(home / "f", bytes.substr(0, c.size));
      EXPECT_EQ(CanvMonitorComplete(home / "f"), c.complete) << f << " cut to " << c.size;
    }
  }
  EXPECT_FALSE(CanvMonitorComplete(home / "absent"));
  EXPECT_FALSE(CanvMonitorComplete(home.path()));
}

TEST(MonitorNames, CycleFilesAndOrder) {
  const auto files = CanvMonitorCycleFiles(SLOT_A);
  ASSERT_EQ(files.size(), 88u + 24 + 2);
  for (const auto& f : files) EXPECT_EQ(f.size(), 61u) << f;
  EXPECT_EQ(files[0], SynthSegmentName(1, 1, SLOT_A));
  EXPECT_EQ(files[7], SynthSegmentName(1, 8, SLOT_A));
  EXPECT_EQ(files[88], SynthSegmentName(HRV_ID, 1, SLOT_A));
  EXPECT_EQ(files[111], SynthSegmentName(HRV_ID, 24, SLOT_A));
  EXPECT_EQ(files[112], SynthPrologueName(SLOT_A));
  EXPECT_EQ(files.back(), SynthEpilogueName(SLOT_A));
  EXPECT_LT(CanvNameCompare("H-000-MSG3__-MSG3________-IR_016", "H-000-MSG3__-MSG3________-IR_039"), 0);
  EXPECT_EQ(CanvNameCompare("abc", "abc"), 0);
}

}  // namespace

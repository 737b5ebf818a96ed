// What happens to each file of an arriving cycle: a table of arrivals (complete, a segment
// still growing, one cut short, FIFOs named like a segment and a prologue, a name already in
// the target) with what is moved, what stays, what is loaded and what the status bar says;
// and a slow writer on a RAM disk of its own while the monitor ticks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "tests/support/logcapture.h"
#include "tests/ui/test_monitor_support.h"

namespace {

namespace fs = std::filesystem;
using montest::Monitor;
using montest::SLOT_A;

// Ends a tick that waits on a FIFO: after a while, opens the write end of every FIFO in the
// folders and closes it again, so a reader gets end of file; fired() says it had to.
class FifoGuard {
 public:
  explicit FifoGuard(std::vector<std::string> dirs) : dirs_(std::move(dirs)), thread_([this] { Run(); }) {}
  ~FifoGuard() {
    stop_ = true;
    thread_.join();
  }
  bool fired() const { return fired_; }

 private:
  void Run() {
    const auto start = std::chrono::steady_clock::now();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) continue;
      for (const std::string& d : dirs_) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(d, ec)) {
          if (!e.is_fifo()) continue;
          const int fd = open(e.path().c_str(), O_WRONLY | O_NONBLOCK);
          if (fd >= 0) {
            fired_ = true;
            close(fd);
          }
        }
      }
    }
  }
  std::vector<std::string> dirs_;
  std::atomic<bool> stop_{false}, fired_{false};
  std::thread thread_;
};

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
    {"Complete", 2, {}, {}, {}, false, 12, ""},
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
    FifoGuard guard({Mnt(), Target()});
    Tick();
    EXPECT_FALSE(guard.fired()) << "tick " << t << " waited on a FIFO";
  }
  std::set<std::string> kept;
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
}

INSTANTIATE_TEST_SUITE_P(Cycle, Arrivals, ::testing::ValuesIn(ARRIVALS),
                         [](const ::testing::TestParamInfo<Arrival>& i) { return std::string(i.param.label); });

// Unmounts what it mounted.
struct Mounted {
  std::string dir;
  ~Mounted() {
    if (!dir.empty()) umount2(dir.c_str(), MNT_DETACH);
  }
};

// The receiver writes into a RAM disk of its own; one segment comes slowly through a file it
// keeps open, while the monitor ticks. Not a byte of it may be lost.
TEST_F(Monitor, ASlowWriterOnAnotherFileSystemLosesNoByte) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  Mounted ram;
  if (mount("tmpfs", Mnt().c_str(), "tmpfs", 0, "size=16m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  ram.dir = Mnt();
  const std::string src = canvtest::Cycle(SLOT_A);
  ASSERT_FALSE(src.empty());
  const std::string slow = canvtest::Name(9, SLOT_A);
  const std::string bytes = uitest::ReadFile(src + "/" + slow);
  for (const auto& e : fs::directory_iterator(src))
    if (e.path().filename() != slow) fs::copy_file(e.path(), Mnt() + "/" + e.path().filename().string());
  const int fd = open((Mnt() + "/" + slow).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    constexpr int PIECES = 12;
    for (int i = 0; i < PIECES; i++) {
      const size_t from = bytes.size() * i / PIECES, to = bytes.size() * (i + 1) / PIECES;
      if (write(fd, bytes.data() + from, to - from) != ssize_t(to - from)) ADD_FAILURE() << "write";
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    close(fd);
    written = true;
  });
  for (int i = 0; i < 200 && (!written || Count(Mnt()) > 0); i++) {
    Tick();
    g_usleep(100000);
  }
  writer.join();
  EXPECT_EQ(Count(Mnt()), 0);
  EXPECT_TRUE(Holds(Target() + "/" + slow, bytes)) << "the slow segment arrives whole";
  for (const std::string& f : Generated(SLOT_A)) EXPECT_TRUE(Holds(Target() + "/" + f, uitest::ReadFile(src + "/" + f)));
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), 12);
}

}  // namespace

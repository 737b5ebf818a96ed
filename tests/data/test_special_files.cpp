// Data files that are not regular files (a FIFO without a writer, a link to /dev/zero, a
// folder) named like a segment or prologue: every reader returns at once with a warning naming
// the file, instead of blocking in open() or reading without end. And the size bound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "data/layer.h"
#include "data/prologue.h"
#include "data/satellite.h"
#include "data/suplfile.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const SEG7 = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const HRV19 = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

enum class Kind { fifo, dev_zero, folder };

// Makes `path` a special file of the kind; false (test skipped) when the system cannot.
bool MakeSpecial(Kind k, const std::string& path) {
  switch (k) {
    case Kind::fifo: return mkfifo(path.c_str(), 0600) == 0;
    case Kind::dev_zero: return g_file_test("/dev/zero", G_FILE_TEST_EXISTS) && symlink("/dev/zero", path.c_str()) == 0;
    case Kind::folder: return g_mkdir(path.c_str(), 0700) == 0;
  }
  return false;
}

// Runs f on another thread and waits a while. A reader that blocks on a FIFO fails the test
// instead of hanging it: the FIFO gets a writer end opened and closed, which lets the blocked
// open() return and the read see the end.
bool ReturnsPromptly(const std::function<void()>& f, const std::string& fifo) {
  auto done = std::async(std::launch::async, f);
  if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return true;
  const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  if (fd >= 0) close(fd);
  done.wait();
  return false;
}

struct Reader {
  const char* what;
  const char* special;  // the file made special: "segment" or "prologue"
  // Reads through the program's path and checks its result; the warning it must log names
  // `file` (the special file) with "(input: not a regular file)", or none when null.
  std::function<void(const TestTempDir& dir, const std::string& file)> run;
  bool warns = true;
};

std::vector<Reader> Readers() {
  return {
      {"segment_read", "segment",
       [](const TestTempDir&, const std::string& file) { EXPECT_TRUE(XritSegmentRead(file.c_str()).empty()); }},
      {"segment_open", "segment",
       [](const TestTempDir&, const std::string& file) {
         XritSegmentFile f;
         std::string note;
         EXPECT_FALSE(XritSegmentOpen(file.c_str(), &f, &note));
         EXPECT_EQ(note, "input: not a regular file");
       }},
      {"channel_load", "segment",
       [](const TestTempDir&, const std::string& file) {
         int32_t w[4] = {2710, 464, 92, 60};
         std::string damaged;
         EXPECT_FALSE(LayerLoadChannel(file.c_str(), 9, w, nullptr, nullptr, &damaged).has_value());
         EXPECT_EQ(damaged, std::string(SEG7) + "(input: not a regular file)");
       }},
      {"prologue_window", "prologue",
       [](const TestTempDir& dir, const std::string&) {
         int32_t out[4] = {-1, -1, -1, -1};
         EXPECT_FALSE(LayerPrologueWindow(dir.file(HRV19).c_str(), out));
         EXPECT_EQ(out[2], -1);
       }},
      {"longitude", "segment",
       [](const TestTempDir&, const std::string& file) { EXPECT_EQ(SatFileLongitude(file.c_str(), 7.5), 7.5); },
       false},
  };
}

struct SpecialCase {
  Kind kind;
  Reader reader;
};

class SpecialFile : public ::testing::TestWithParam<SpecialCase> {
 protected:
  TestTempDir dir;
};

TEST_P(SpecialFile, IsRefusedWithoutBlocking) {
  const SpecialCase& c = GetParam();
  const std::string file = dir.file(std::string(c.reader.special) == "prologue" ? PROLOGUE : SEG7);
  if (!MakeSpecial(c.kind, file)) GTEST_SKIP() << "cannot make the special file";
  LogCapture log;
  ASSERT_TRUE(ReturnsPromptly([&] { c.reader.run(dir, file); }, file)) << "the reader blocked";
  // One warning names the file (a failed channel load adds its own about the layer).
  const std::vector<std::string> m = log.messages();
  EXPECT_EQ(std::count(m.begin(), m.end(), file + "(input: not a regular file)"), c.reader.warns ? 1 : 0);
  if (!c.reader.warns) {
    EXPECT_EQ(m.size(), 0u);
  }
}

std::vector<SpecialCase> SpecialCases() {
  std::vector<SpecialCase> v;
  for (Kind k : {Kind::fifo, Kind::dev_zero, Kind::folder})
    for (const Reader& r : Readers()) v.push_back({k, r});
  return v;
}

INSTANTIATE_TEST_SUITE_P(KindsAndReaders, SpecialFile, ::testing::ValuesIn(SpecialCases()),
                         [](const ::testing::TestParamInfo<SpecialCase>& i) {
                           const char* k = i.param.kind == Kind::fifo       ? "fifo"
                                           : i.param.kind == Kind::dev_zero ? "dev_zero"
                                                                            : "folder";
                           return std::string(k) + "_" + i.param.reader.what;
                         });

// The whole-file reader: regular files up to the bound as they are; beyond it, special files
// and missing ones refused with the reason.
TEST(SuplFileRead, BoundAndKinds) {
  TestTempDir dir;
  const std::string small = dir.file("small");
  ASSERT_TRUE(xb::Write(small, xb::Bytes{1, 2, 3}));
  std::vector<uint8_t> got;
  std::string err;
  ASSERT_TRUE(SuplFileRead(small.c_str(), 3, &got, &err)) << err;
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(SuplFileRead(small.c_str(), 2, &got, &err));
  EXPECT_EQ(err, "larger than 2 bytes");
  // A sparse file one byte past the bound of xRIT files costs nothing to make or to refuse.
  const std::string big = dir.file("big");
  {
    const int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(SUPL_XRIT_MAX_FILE) + 1), 0);
    close(fd);
  }
  EXPECT_FALSE(SuplFileRead(big.c_str(), SUPL_XRIT_MAX_FILE, &got, &err));
  EXPECT_EQ(err, "larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes");
  EXPECT_FALSE(SuplFileRead(dir.file("missing").c_str(), 10, &got, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(SuplFileRead(nullptr, 10, &got, &err));
  const std::string fifo = dir.file("fifo");
  if (mkfifo(fifo.c_str(), 0600) == 0) {
    EXPECT_TRUE(ReturnsPromptly([&] { EXPECT_FALSE(SuplFileRead(fifo.c_str(), 10, nullptr, &err)); }, fifo));
    EXPECT_EQ(err, "not a regular file");
  }
  // The opener hands a blocking descriptor back: reads of a regular file wait for the data.
  off_t size = 0;
  SuplFd fd = SuplFileOpen(small.c_str(), 0, &size, &err);
  ASSERT_TRUE(fd);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);
}

// A segment file larger than any xRIT file is refused before it is read.
TEST(SuplFileRead, OversizedSegmentIsRefused) {
  TestTempDir dir;
  const std::string path = dir.file(SEG7);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(2) << 30), 0);  // sparse: 2 GB of nothing
  close(fd);
  LogCapture log;
  EXPECT_TRUE(XritSegmentRead(path.c_str()).empty());
  EXPECT_EQ(log.messages(),
            std::vector<std::string>{path + "(input: larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes)"});
}

}  // namespace

// nubicorn-cli info, decode and prologue on hostile input, run as a user's script would: files
// larger than any xRIT file, links to /dev/zero, FIFOs, and segments cut short. Each ends at
// once with a clear message; a command that would block or read without end is stopped by a
// time limit and fails the test instead of hanging it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/suplfile.h"
#include "tests/support/cli.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

// The CLI under coreutils' timeout: a regression that blocks ends with status 124.
CliRun TimedCli(std::vector<std::string> args) {
  std::vector<std::string> all = {"timeout", "-k", "5", "30", NUBICORN_CLI};
  all.insert(all.end(), args.begin(), args.end());
  return SpawnRun(all);
}

const char* const SEG = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";

enum class Kind { oversized, dev_zero, fifo };

struct Hostile {
  const char* what;
  const char* command;  // info, decode or prologue
  Kind kind;
  const char* message;  // in the error output
};

class CliHostile : public ::testing::TestWithParam<Hostile> {
 protected:
  TestTempDir dir;
};

TEST_P(CliHostile, EndsPromptlyWithAClearMessage) {
  const Hostile& h = GetParam();
  const std::string path = dir.file(SEG);
  switch (h.kind) {
    case Kind::oversized: {
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(ftruncate(fd, off_t(2) << 30), 0);  // 2 GB, sparse
      close(fd);
      break;
    }
    case Kind::dev_zero:
      if (symlink("/dev/zero", path.c_str()) != 0) GTEST_SKIP() << "no /dev/zero link";
      break;
    case Kind::fifo:
      if (mkfifo(path.c_str(), 0600) != 0) GTEST_SKIP() << "no FIFO";
      break;
  }
  std::vector<std::string> args = {h.command, path};
  if (std::string(h.command) == "decode") args = {h.command, path, "-o", dir.file("out.pgm")};
  const CliRun r = TimedCli(args);
  ASSERT_NE(r.status, 124) << "the command did not end";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(h.message), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_FALSE(g_file_test(dir.file("out.pgm").c_str(), G_FILE_TEST_EXISTS));
}

const std::string TOO_LARGE = "larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes";

INSTANTIATE_TEST_SUITE_P(
    Commands, CliHostile,
    ::testing::Values(Hostile{"info_oversized", "info", Kind::oversized, TOO_LARGE.c_str()},
                      Hostile{"info_dev_zero", "info", Kind::dev_zero, "not a regular file"},
                      Hostile{"info_fifo", "info", Kind::fifo, "not a regular file"},
                      Hostile{"decode_oversized", "decode", Kind::oversized, TOO_LARGE.c_str()},
                      Hostile{"decode_dev_zero", "decode", Kind::dev_zero, "not a regular file"},
                      Hostile{"decode_fifo", "decode", Kind::fifo, "not a regular file"},
                      Hostile{"prologue_dev_zero", "prologue", Kind::dev_zero, "not a regular file"},
                      Hostile{"prologue_fifo", "prologue", Kind::fifo, "not a regular file"}),
    [](const ::testing::TestParamInfo<Hostile>& i) { return std::string(i.param.what); });

// decode of a segment cut short: the counts of the lines that arrived, the rest 0, and the
// warning naming the file and the lines.
TEST(CliReadDamage, DecodeOfACutSegmentKeepsItsLines) {
  TestTempDir dir;
  xb::Segment s;
  const std::vector<uint16_t> counts = xb::Pattern(3712, 464, 9);
  s.field = xb::Pack10(counts);
  xb::Bytes file = xb::File(s);
  file.resize(file.size() - 4640 * 300 - 17);  // 163 whole lines and a part of the next
  const std::string path = dir.file(SEG);
  ASSERT_TRUE(xb::Write(path, file));
  const std::string pgm = dir.file("out.pgm");
  const CliRun r = TimedCli({"decode", path, "-o", pgm});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(path + "(short: 163 of 464 lines)"), std::string::npos) << r.err;
  gchar* data = nullptr;
  gsize size = 0;
  ASSERT_TRUE(g_file_get_contents(pgm.c_str(), &data, &size, nullptr));
  const std::string bytes(data, size);
  g_free(data);
  const std::string head = "P5\n3712 464\n1023\n";
  ASSERT_EQ(bytes.size(), head.size() + 3712u * 464 * 2);
  size_t wrong = 0;
  for (size_t i = 0; i < counts.size(); i++) {
    const uint16_t v = uint16_t(uint8_t(bytes[head.size() + 2 * i]) << 8 | uint8_t(bytes[head.size() + 2 * i + 1]));
    wrong += v != (i < 163u * 3712 ? counts[i] : 0);
  }
  EXPECT_EQ(wrong, 0u);
}

}  // namespace

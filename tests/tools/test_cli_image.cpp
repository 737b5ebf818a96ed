// nubicorn-cli channel and composite on segment files whose counts are known.
#include <gtest/gtest.h>
#include <glib.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/satellite.h"
#include "tests/support/cli.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"
#include "tools/pgm.h"
#include "tools/png.h"

namespace {

const char* const SLOT = "201607041200";
const Sat MSG4{4, SatService::Full}, RSS{3, SatService::Rapid};
using xb::Ramp;

std::string Name(int ch, int segment, const Sat& sat = Sat{}) {
  return SatSegmentName(sat, InfoChannelText[ch], segment, SLOT);
}

// 160 MB of address space for the child.
void LimitChild(gpointer) {
  struct rlimit r = {rlim_t(160) << 20, rlim_t(160) << 20};
  setrlimit(RLIMIT_AS, &r);
}

class CliImage : public ::testing::Test {
 protected:
  TestTempDir dir;
  void WriteSegment(int ch, int segment, const xb::CountAt& f, const Sat& sat = Sat{}) {
    ASSERT_TRUE(xb::WriteKnown(dir.path(), Name(ch, segment, sat), ch, segment, f));
  }
};

// Counts and display of channels of MSG3, MSG4 and rapid-scan files, the folder read as it
// stands without naming the satellite; of a channel without files, the error names MSG3's.
TEST_F(CliImage, ChannelWritesCountsAndDisplayOfAnyMsgSpacecraft) {
  struct Case {
    const char* channel;
    int id;
    Sat sat;
    uint16_t (*f)(int, int);
  } cases[] = {{"IR_108", 9, Sat{}, Ramp}, {"IR_120", 10, MSG4, Ramp},
               {"VIS006", 1, RSS, [](int l, int c) { return uint16_t(Ramp(l, c) / 2 + 1); }}};
  for (const Case& c : cases) WriteSegment(c.id, 7, c.f, c.sat);
  const std::string pgm = dir.file("out.pgm"), png = dir.file("out.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    const CliRun r = Cli({"channel", "--data", dir.path(), "--slot", SLOT, "--channel", c.channel, "--rect",
                          "2710,464,92,60", "-o", pgm, "--display", png});
    ASSERT_EQ(r.status, 0) << r.err;
    int maxval = 0;
    const cv::Mat m = ReadPgm16(pgm, &maxval);
    ASSERT_EQ(m.size(), cv::Size(92, 60));
    EXPECT_EQ(maxval, 1023);
    for (auto [x, y] : {std::pair{0, 0}, {91, 0}, {0, 59}, {45, 30}})
      EXPECT_EQ(m.at<uint16_t>(y, x), c.f(3712 - 464 - y, 3712 - 2710 - x)) << x << "," << y;
    if (c.id != 9) continue;
    cv::Mat d = cv::imread(png, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(d.size(), cv::Size(276, 180));
    ASSERT_EQ(d.type(), CV_8UC3);
    const uint8_t grey =
        uint8_t(std::lround(Ramp(3712 - 464 - 10, 3712 - 2710 - 20) * 255.0 / 1024));
    EXPECT_EQ(d.at<cv::Vec3b>(31, 61), cv::Vec3b(grey, grey, grey));
  }
  const CliRun r = Cli({"channel", "--data", dir.path(), "--slot", SLOT, "--channel", "IR_134", "--rect",
                        "2710,464,92,60", "-o", pgm});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Name(11, 7)), std::string::npos) << r.err;
}

// The image writers of the CLI keep every value: PNG through libpng and our own PGM, read back
// by an independent decoder (OpenCV's), at sizes with odd rows and columns.
TEST(CliWriters, ReadBackExactly) {
  TestTempDir dir;
  cv::RNG rng(7);
  for (cv::Size size : {cv::Size(1, 1), cv::Size(3, 2), cv::Size(276, 180), cv::Size(1001, 7)}) {
    cv::Mat rgb(size, CV_8UC3), counts(size, CV_16UC1);
    rng.fill(rgb, cv::RNG::UNIFORM, 0, 256);
    rng.fill(counts, cv::RNG::UNIFORM, 0, 1024);
    const std::string png = dir.file("x.png"), pgm = dir.file("x.pgm");
    std::string err;
    ASSERT_TRUE(PngWriteRgb(png, rgb, &err)) << err;
    ASSERT_TRUE(PgmWrite16(pgm, counts.ptr<uint16_t>(), size.width, size.height, 1023, &err)) << err;
    cv::Mat back = cv::imread(png, cv::IMREAD_UNCHANGED), rgb_back;
    ASSERT_EQ(back.type(), CV_8UC3) << size;
    cv::cvtColor(back, rgb_back, cv::COLOR_BGR2RGB);
    EXPECT_EQ(cv::norm(rgb_back, rgb, cv::NORM_INF), 0) << size;
    int maxval = 0;
    const cv::Mat counts_back = ReadPgm16(pgm, &maxval);
    ASSERT_EQ(counts_back.size(), size);
    EXPECT_EQ(maxval, 1023);
    EXPECT_EQ(cv::norm(counts_back, counts, cv::NORM_INF), 0) << size;
  }
  std::string err;
  EXPECT_FALSE(PngWriteRgb(dir.file("grey.png"), cv::Mat(2, 2, CV_8UC1), &err));
  EXPECT_FALSE(g_file_test(dir.file("grey.png").c_str(), G_FILE_TEST_EXISTS));
  // A stream named as the output (-o /dev/stdout in a pipe) is written, not replaced by a file.
  const uint16_t two[2] = {1, 2};
  EXPECT_TRUE(PgmWrite16("/dev/null", two, 2, 1, 1023, &err)) << err;
  EXPECT_TRUE(PngWriteRgb("/dev/null", cv::Mat(2, 2, CV_8UC3, cv::Scalar(1, 2, 3)), &err)) << err;
  struct stat st;
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(CliImage, OutOfMemoryFailsTheLoadCleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers need more address space than the limit leaves";
#endif
  // HRV of the whole strip needs a few hundred MB (image, maps, display) beyond the program's
  // own mappings (a few tens of MB: the CLI links no codecs); with 160 MB of address space the
  // load must fail with the usual message, not abort.
  for (int seg = 19; seg <= 24; seg++) WriteSegment(12, seg, [](int, int) { return uint16_t(300); });
  SpawnOptions limited;
  limited.setup = LimitChild;
  CliRun r = Cli({"channel", "--data", dir.path(), "--slot", SLOT, "--channel", "HRV", "--rect",
                  "0,0,3712,928", "-o", dir.file("hrv.pgm")}, limited);
  if (r.err.find("error while loading shared libraries") != std::string::npos)
    GTEST_SKIP() << "the libraries alone need more than the limit here";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Input data error"), std::string::npos);
  EXPECT_NE(r.err.find("Insufficient memory"), std::string::npos);
}

// A recipe of the settings, chosen by its index: visible counts 100 + 10 per column west of
// column 990 give a known stretch per colour.
TEST_F(CliImage, CompositeFromTheSettingsRecipes) {
  auto vis = [](int, int column) -> uint16_t {
    return uint16_t(std::clamp(100 + (column - 990) * 10, 0, 1023));
  };
  WriteSegment(1, 7, vis);
  const std::string ini = dir.file("nubicorn.ini"), png = dir.file("rgb.png");
  {
    std::ofstream f(ini);
    f << "[Rgb composite]\n"
         "rgb-name-00=Plain\nrgb-channels-00=1;0;1;0;1;0;\n"
         "rgb-params-00=0;999;1;999;0;1;0;999;2;\n"
         "rgb-name-01=Broken\nrgb-channels-01=1;0;1;\nrgb-params-01=0;1;1;0;1;1;0;1;1;\n";
  }
  CliRun r = Cli({"composite", "--data", dir.path(), "--slot", SLOT, "--recipe", "0", "--rect",
               "2712,464,10,4", "-o", png, "--settings", ini});
  ASSERT_EQ(r.status, 0) << r.err;
  cv::Mat d = cv::imread(png, cv::IMREAD_UNCHANGED);  // B, G, R
  ASSERT_EQ(d.size(), cv::Size(30, 12));
  for (int x = 0; x < 10; x++) {
    const int count = 100 + (3712 - 2712 - x - 990) * 10;
    const int red = int(std::lround(count * 255.0 / 999));  // never a half
    const cv::Vec3b px = d.at<cv::Vec3b>(4, 3 * x + 1);
    EXPECT_EQ(px[2], red) << x;
    EXPECT_EQ(px[1], 255 - red) << x;
    EXPECT_EQ(px[0], int(255 * std::sqrt(red / 255.0))) << x;
  }
  // The incomplete recipe 01 ends the list: it is not there.
  r = Cli({"composite", "--data", dir.path(), "--slot", SLOT, "--recipe", "1", "--rect",
           "2712,464,10,4", "-o", png, "--settings", ini});
  EXPECT_EQ(r.status, 2);
}

}  // namespace

// XritSegmentRead and XritDecodeField: good segments to the exact counts, and every bad input
// to an empty result with exactly one warning.
#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

#include "data/supl.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const IR_NAME = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const HRV_NAME = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";

xb::Segment PlainIr() {
  xb::Segment s;
  s.field = xb::Pack10(xb::Pattern(3712, 464));
  return s;
}

xb::Segment PlainHrv() {
  xb::Segment s;
  s.nc = 5568;
  s.channel = 12;
  s.segment = 19;
  s.annotation = HRV_NAME;
  s.field = xb::Pack10(xb::Pattern(5568, 464, 2));
  return s;
}

class XritRead : public ::testing::Test {
 protected:
  TestTempDir dir;
  // Writes `bytes` under `name`, reads it back, and checks: empty and exactly one warning
  // "<path>(<what>...)" when `what` is set ("input" stands for any "input: REASON");
  // otherwise no warning.
  SuplBytes Read(const xb::Bytes& bytes, const char* what, const char* name = IR_NAME) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(xb::Write(path, bytes));
    return ReadPath(path, what);
  }
  SuplBytes ReadPath(const std::string& path, const char* what) {
    LogCapture log;
    SuplBytes out = XritSegmentRead(path.c_str());
    if (what) {
      EXPECT_TRUE(out.empty()) << what;
      const std::vector<std::string> m = log.messages();
      EXPECT_EQ(m.size(), 1u) << what;
      if (m.empty()) return out;
      const std::string w = what;
      const bool prefix = w == "input" || w.back() == ':';
      const std::string want = path + "(" + w + (prefix ? "" : ")");
      EXPECT_EQ(m[0].substr(0, want.size()), want);
      EXPECT_EQ(m[0].back(), ')') << m[0];
    } else {
      EXPECT_EQ(log.count(), 0u) << (log.count() ? log.messages()[0] : "");
    }
    return out;
  }
};

}  // namespace

TEST(SuplUnpack, FiveBytesToFourCounts) {
  std::vector<uint8_t> src(3712 * 580, 0);
  const uint8_t head[5] = {0xFF, 0xC0, 0x0F, 0xFC, 0x01};
  std::copy(head, head + 5, src.begin());
  std::vector<uint16_t> dst(3712 * 464 + 1, 0xBEEF);
  SuplUnpack10Bit(src.data(), dst.data(), 3712);
  EXPECT_EQ(dst[0], 1023);
  EXPECT_EQ(dst[1], 0);
  EXPECT_EQ(dst[2], 1023);
  EXPECT_EQ(dst[3], 1);
  EXPECT_EQ(dst[4], 0);
  EXPECT_EQ(dst[3712 * 464 - 1], 0);
  EXPECT_EQ(dst[3712 * 464], 0xBEEF);  // nothing past nc * 464
}

TEST(SuplUnpack, ZeroColumnsWritesNothing) {
  uint8_t src[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  uint16_t dst[4] = {7, 7, 7, 7};
  SuplUnpack10Bit(src, dst, 0);
  EXPECT_EQ(dst[0], 7);
  EXPECT_EQ(dst[3], 7);
}

TEST(SuplUnpack, WholeStripsMatchIndependentPacking) {
  for (int nc : {3712, 5568}) {
    const std::vector<uint16_t> counts = xb::Pattern(nc, 464, unsigned(nc));
    const xb::Bytes packed = xb::Pack10(counts);
    ASSERT_EQ(packed.size(), size_t(nc) * 580);
    std::vector<uint16_t> dst(counts.size() + 8, 0xBEEF);
    SuplUnpack10Bit(packed.data(), dst.data(), nc);
    EXPECT_TRUE(std::equal(counts.begin(), counts.end(), dst.begin())) << nc;
    EXPECT_EQ(dst[counts.size()], 0xBEEF);
  }
}

TEST(SuplUnpack, NarrowStrips) {
  for (int nc : {1, 2, 3, 7, 64, 3712}) {
    const std::vector<uint16_t> counts = xb::Pattern(nc, 464, unsigned(nc + 100));
    const xb::Bytes packed = xb::Pack10(counts);
    std::vector<uint16_t> dst(counts.size() + 16, 0xBEEF);
    SuplUnpack10Bit(packed.data(), dst.data(), nc);
    EXPECT_TRUE(std::equal(counts.begin(), counts.end(), dst.begin())) << nc;
    EXPECT_EQ(dst[counts.size()], 0xBEEF) << nc;
  }
}

TEST_F(XritRead, PlainIrSegmentToExactCounts) {
  const xb::Segment s = PlainIr();
  const SuplBytes out = Read(xb::File(s), nullptr);
  ASSERT_EQ(out.size(), 3712u * 580);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), s.field.begin()));
  std::vector<uint16_t> counts(3712 * 464);
  SuplUnpack10Bit(out.data(), counts.data(), 3712);
  EXPECT_EQ(counts, xb::Pattern(3712, 464));
}

TEST_F(XritRead, PlainHrvSegmentAndTrailingBytesIgnored) {
  xb::Segment s = PlainHrv();
  xb::Bytes file = xb::File(s);
  file.insert(file.end(), 100, 0xAA);  // bytes after the data field are not part of it
  const SuplBytes out = Read(file, nullptr, HRV_NAME);
  ASSERT_EQ(out.size(), 5568u * 580);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), s.field.begin()));
}

TEST_F(XritRead, ChannelFromFileNameWithoutSegmentRecord) {
  xb::Segment s = PlainHrv();
  s.segment_record = false;
  s.annotation = "";  // neither record nor annotation: the file name decides
  EXPECT_EQ(Read(xb::File(s), nullptr, HRV_NAME).size(), 5568u * 580);
  Read(xb::File(s), "width: NC 5568, not 3712", IR_NAME);
}

TEST_F(XritRead, WidthMustMatchTheChannel) {
  // An IR channel with the HRV width, and HRV with the IR width: both refused, whatever NC.
  xb::Segment s = PlainHrv();
  s.channel = 9;
  s.annotation = IR_NAME;
  Read(xb::File(s), "width:");
  s = PlainIr();
  s.channel = 12;
  s.annotation = HRV_NAME;
  Read(xb::File(s), "width:", HRV_NAME);
  s = PlainIr();
  s.nc = 1000;
  s.field = xb::Pack10(xb::Pattern(1000, 464));
  Read(xb::File(s), "width:");
}

TEST_F(XritRead, StripMustBe464Lines) {
  xb::Segment s = PlainIr();
  s.nl = 463;
  s.field = xb::Pack10(xb::Pattern(3712, 463));
  Read(xb::File(s), "strip:");
  s.nl = 465;
  Read(xb::File(s), "strip:");
}

TEST_F(XritRead, TestsComeInTheirOrder) {
  xb::Segment s = PlainIr();
  s.annotation = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-CE";
  s.nc = 5568;
  s.nl = 10;
  Read(xb::File(s), "encrypted");  // before width and strip
  s = PlainIr();
  s.nc = 5568;
  s.nl = 10;
  Read(xb::File(s), "width:");  // before strip
  s = PlainIr();
  s.nl = 10;
  s.data_bits = 1LL << 40;  // field past the end: looked at only after the strip test
  Read(xb::File(s), "strip:");
}

TEST_F(XritRead, EncryptedByAnnotationOrKeyHeader) {
  xb::Segment s = PlainIr();
  s.annotation = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-CE";
  Read(xb::File(s), "encrypted");
  s = PlainIr();
  s.key_header = true;
  Read(xb::File(s), "encrypted");
}

TEST_F(XritRead, MissingEmptyAndNonFiles) {
  ReadPath(dir.file(IR_NAME), "input");
  Read({}, "input");
  ReadPath(dir.path(), "input");  // a folder
  LogCapture log;
  EXPECT_TRUE(XritSegmentRead(nullptr).empty());
  EXPECT_EQ(log.count(), 1u);
}

TEST_F(XritRead, TruncatedFiles) {
  // Cut in the headers: nothing to read. Cut in the data field before its first whole line:
  // no line to give. (Cuts further on keep their lines: test_damaged_input.)
  const xb::Bytes full = xb::File(PlainIr());
  const size_t header = xb::Headers(PlainIr()).size();
  for (size_t n : {size_t(1), size_t(10), size_t(16), size_t(20), size_t(100), header - 1})
    Read(xb::Bytes(full.begin(), full.begin() + n), "input");
  for (size_t n : {header, header + 1, header + 4639})
    Read(xb::Bytes(full.begin(), full.begin() + n), "short: 0 of 464 lines");
}

TEST_F(XritRead, FieldLengthsThatDoNotFit) {
  xb::Segment s = PlainIr();
  s.data_bits = (long long)s.field.size() * 8 + 8;  // one byte more than the file
  Read(xb::File(s), "input");
  s.data_bits = -1;
  s.data_bits = (long long)s.field.size() * 8 - 10;  // not whole lines
  Read(xb::File(s), "input");
  s.data_bits = (long long)s.field.size() * 8 - 4640 * 8;  // 463 lines, NL says 464
  Read(xb::File(s), "input");
  s = PlainIr();
  s.data_bits = -1;
  s.field.resize(s.field.size() + 4640);  // 465 lines
  Read(xb::File(s), "input");
  s = PlainIr();
  s.nb = 8;  // a field of 8-bit pixels is too short for the 10-bit unpacker
  s.field.resize(3712 * 464);
  Read(xb::File(s), "depth: NB 8, not 10");
  s = PlainIr();
  s.data_bits = 0x7FFFFFFFFFFFFFFFLL;
  Read(xb::File(s), "input");
}

TEST_F(XritRead, BadHeaderRecords) {
  for (int len : {0, 1, 2, 65535}) {
    xb::Segment s = PlainIr();
    s.extra_records = xb::Record(200, xb::Bytes(8, 0), len);
    Read(xb::File(s), "input");
  }
  xb::Segment s = PlainIr();
  s.header_length = 1LL << 31;  // past the end
  Read(xb::File(s), "input");
  s = PlainIr();
  s.file_type = 128;  // a prologue is no segment
  Read(xb::File(s), "input");
}

TEST_F(XritRead, RandomBytesFixedSeed) {
  std::mt19937 rng(4);
  for (int i = 0; i < 50; i++) {
    xb::Bytes b(1 + rng() % 20000);
    for (auto& c : b) c = uint8_t(rng());
    Read(b, "input");
  }
  // A valid header followed by random bytes in place of some of it.
  const xb::Bytes good = xb::File(PlainIr());
  for (int i = 0; i < 50; i++) {
    xb::Bytes b = good;
    for (int k = 0; k < 4; k++) b[rng() % 200] = uint8_t(rng());
    LogCapture log;
    const std::string path = dir.file(IR_NAME);
    ASSERT_TRUE(xb::Write(path, b));
    const SuplBytes out = XritSegmentRead(path.c_str());
    // Damage may hit values that are not checked; either way: a whole strip or one warning,
    // and a strip with a warning only when the field length now runs past the file.
    if (out.empty()) EXPECT_EQ(log.count(), 1u);
    else {
      EXPECT_LE(log.count(), 1u);
      if (log.count()) {
        EXPECT_NE(log.messages()[0].find("(short: "), std::string::npos);
      }
      EXPECT_GE(out.size(), 3712u * 580);
    }
  }
}

TEST_F(XritRead, CompressedWithoutDecoder) {
  const char* saved = g_getenv("PATH");
  const std::string old = saved ? saved : "";
  g_setenv("PATH", dir.path().c_str(), TRUE);  // no xRITDecompress to be found
  xb::Segment s = PlainIr();
  s.compression = 1;
  for (uint8_t repr : {uint8_t(XRIT_REPR_JPEG), uint8_t(XRIT_REPR_T4), uint8_t(9)}) {
    s.representation = repr;
    Read(xb::File(s), "compressed");
  }
  s.segment_record = false;
  Read(xb::File(s), "compressed");
  g_setenv("PATH", old.c_str(), TRUE);
}

TEST_F(XritRead, RealWtSegment) {
  const char* saved = g_getenv("PATH");
  const std::string old = saved ? saved : "";
  g_setenv("PATH", dir.path().c_str(), TRUE);
  const std::string path = NUBICORN_TESTDATA "/wt_nc3712_zero.hrit";
  LogCapture log;
  const SuplBytes out = XritSegmentRead(path.c_str());
  g_setenv("PATH", old.c_str(), TRUE);
  if (out.empty()) {
    // Without a native WT decoder: refused as compressed, once.
    EXPECT_EQ(log.messages(), std::vector<std::string>{path + "(compressed)"});
  } else {
    // This vector is a strip of zero counts.
    EXPECT_EQ(log.count(), 0u);
    ASSERT_EQ(out.size(), 3712u * 580);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), long(out.size()));
  }
}

// A stand-in for EUMETSAT's xRITDecompress: records its working folder, writes the
// decompressed file there and names it on its output, as the real program does.
class XritExternal : public XritRead {
 protected:
  std::string old_path;
  void SetUp() override {
    const char* p = g_getenv("PATH");
    old_path = p ? p : "";
    g_mkdir(dir.file("bin").c_str(), 0755);
    g_setenv("PATH", (dir.file("bin") + ":" + old_path).c_str(), TRUE);
  }
  void TearDown() override {
    g_setenv("PATH", old_path.c_str(), TRUE);
    g_unsetenv("NUBICORN_FAKE_SRC");
    g_unsetenv("NUBICORN_FAKE_LOG");
  }
  void Script(const std::string& body) {
    const std::string path = dir.file("bin/xRITDecompress");
    std::ofstream(path) << "#!/bin/sh\n" << body;
    g_chmod(path.c_str(), 0755);
  }
  std::string Cwd() {
    gchar* s = nullptr;
    g_file_get_contents(dir.file("cwd").c_str(), &s, nullptr, nullptr);
    std::string r = s ? s : "";
    g_free(s);
    while (!r.empty() && r.back() == '\n') r.pop_back();
    return r;
  }
};

TEST_F(XritExternal, DecodesThroughTheProgramAndCleansUp) {
  xb::Segment plain = PlainIr();
  plain.annotation = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-__";
  ASSERT_TRUE(xb::Write(dir.file("decompressed"), xb::File(plain)));
  g_setenv("NUBICORN_FAKE_SRC", dir.file("decompressed").c_str(), TRUE);
  g_setenv("NUBICORN_FAKE_LOG", dir.file("cwd").c_str(), TRUE);
  Script("pwd > \"$NUBICORN_FAKE_LOG\"\n"
         "cp \"$NUBICORN_FAKE_SRC\" ./out.hrit\n"
         "echo \"Opening $1\"\necho \"Decompressed file: out.hrit\"\n");
  xb::Segment wt = PlainIr();
  wt.compression = 1;
  wt.representation = XRIT_REPR_WT;
  wt.field = xb::Bytes(5000, 0x55);  // not a WT stream the native decoder would accept
  const SuplBytes out = Read(xb::File(wt), nullptr);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.field.begin()));
  EXPECT_EQ(out.size(), plain.field.size());
  const std::string cwd = Cwd();
  ASSERT_FALSE(cwd.empty());
  EXPECT_NE(cwd, dir.path());
  EXPECT_FALSE(g_file_test(cwd.c_str(), G_FILE_TEST_EXISTS));
}

TEST_F(XritExternal, ProgramFailureIsCompressedAndCleansUp) {
  g_setenv("NUBICORN_FAKE_LOG", dir.file("cwd").c_str(), TRUE);
  xb::Segment wt = PlainIr();
  wt.compression = 1;
  wt.representation = XRIT_REPR_WT;
  wt.field = xb::Bytes(5000, 0x55);
  // Fails after leaving a file behind.
  Script("pwd > \"$NUBICORN_FAKE_LOG\"\ntouch ./partial\necho 'Opening/reading input file failed.'\nexit 1\n");
  Read(xb::File(wt), "compressed");
  std::string cwd = Cwd();
  ASSERT_FALSE(cwd.empty());
  EXPECT_FALSE(g_file_test(cwd.c_str(), G_FILE_TEST_EXISTS));
  // Succeeds but names a file elsewhere, or a short one: refused, folder gone.
  Script("pwd > \"$NUBICORN_FAKE_LOG\"\necho 'Decompressed file: ../../etc/passwd'\n");
  Read(xb::File(wt), "compressed");
  cwd = Cwd();
  EXPECT_FALSE(g_file_test(cwd.c_str(), G_FILE_TEST_EXISTS));
}

TEST(XritDecodeField, PlainFieldIsCheckedAndCopied) {
  xb::Segment s = PlainIr();
  XritHeader h;
  ASSERT_TRUE(XritParseHeaders(xb::Headers(s), &h, nullptr));
  std::vector<uint8_t> packed;
  std::string err;
  bool compressed = true;
  ASSERT_TRUE(XritDecodeField(h, s.field, nullptr, &packed, &err, &compressed)) << err;
  EXPECT_FALSE(compressed);
  EXPECT_EQ(packed, s.field);
  EXPECT_FALSE(XritDecodeField(h, std::span<const uint8_t>(s.field).first(s.field.size() - 1),
                               nullptr, &packed, &err, &compressed));
  EXPECT_FALSE(compressed);
  EXPECT_FALSE(err.empty());
  EXPECT_TRUE(packed.empty());
}

// A line range of an uncompressed segment is exactly those lines of the whole read, for ranges
// at either end, inside, one line, and ranges clamped to the segment; bad files still warn once.
TEST_F(XritRead, LineRangesOfAPlainSegment) {
  for (const bool hrv : {false, true}) {
    const std::string path = dir.file(hrv ? HRV_NAME : IR_NAME);
    ASSERT_TRUE(xb::Write(path, xb::File(hrv ? PlainHrv() : PlainIr())));
    const SuplBytes whole = XritSegmentRead(path.c_str());
    const size_t line = (hrv ? 5568u : 3712u) * 10 / 8;
    ASSERT_EQ(whole.size(), line * 464);
    struct Range {
      int first, count, from, lines;  // asked; expected start and number of lines
    };
    for (const Range r : {Range{0, 464, 0, 464}, Range{0, 1, 0, 1}, Range{463, 1, 463, 1},
                          Range{100, 60, 100, 60}, Range{400, 200, 400, 64},
                          Range{-5, 10, 0, 10}, Range{500, 3, 464, 0}}) {
      LogCapture log;
      int from = -1;
      const SuplBytes got =
          XritSegmentReadLines(path.c_str(), r.first, r.count, &from, 1);
      EXPECT_EQ(log.count(), 0u);
      if (r.lines == 0) {
        EXPECT_TRUE(got.empty());
        continue;
      }
      EXPECT_EQ(from, r.from);
      ASSERT_EQ(got.size(), line * size_t(r.lines)) << r.first << "+" << r.count;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin() + ptrdiff_t(line * r.from)))
          << r.first << "+" << r.count;
    }
  }
  // A field cut short: the lines it holds as they are, the lost last line 0, one warning
  // whatever the lines asked for.
  const xb::Segment s = PlainIr();
  xb::Bytes cut = xb::File(s);
  cut.resize(cut.size() - 100);
  const std::string path = dir.file(IR_NAME);
  ASSERT_TRUE(xb::Write(path, cut));
  const size_t line = 4640;
  LogCapture log;
  int from = -1;
  const SuplBytes got = XritSegmentReadLines(path.c_str(), 460, 4, &from);
  EXPECT_EQ(log.messages(), std::vector<std::string>{path + "(short: 463 of 464 lines)"});
  EXPECT_EQ(from, 460);
  ASSERT_EQ(got.size(), 4 * line);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 3 * line, s.field.begin() + 460 * line));
  EXPECT_EQ(std::count(got.begin() + 3 * line, got.end(), 0), long(line));
}

// An opened segment reads any lines asked for, from several threads at once, and refuses
// lines past its end with one warning; moving it hands the file over, and a file shrunk after
// opening fails the read instead of returning stale or short lines.
TEST_F(XritRead, AnOpenedSegmentReadsLinesOnDemand) {
  const std::string path = dir.file(IR_NAME);
  ASSERT_TRUE(xb::Write(path, xb::File(PlainIr())));
  const SuplBytes whole = XritSegmentRead(path.c_str());
  XritSegmentFile opened;
  ASSERT_TRUE(XritSegmentOpen(path.c_str(), &opened));
  EXPECT_FALSE(opened.compressed);
  const size_t line = opened.line_bytes;
  ASSERT_EQ(line, size_t(3712) * 10 / 8);
  XritSegmentFile f = std::move(opened);
  EXPECT_EQ(opened.fd, -1);
  std::vector<std::thread> readers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; t++)
    readers.emplace_back([&, t] {
      std::vector<uint8_t> buf(line * 29);
      for (int first = t; first + 29 <= 464; first += 37) {
        if (!XritSegmentReadInto(f, path.c_str(), first, 29, buf.data()) ||
            !std::equal(buf.begin(), buf.end(), whole.begin() + ptrdiff_t(line * first)))
          wrong++;
      }
    });
  for (auto& r : readers) r.join();
  EXPECT_EQ(wrong.load(), 0);
  std::vector<uint8_t> buf(line * 10);
  {
    LogCapture log;
    EXPECT_FALSE(XritSegmentReadInto(f, path.c_str(), 460, 10, buf.data()));
    EXPECT_EQ(log.messages(), std::vector<std::string>{path + "(input)"});
  }
  xb::Bytes cut = xb::File(PlainIr());
  cut.resize(cut.size() / 2);
  ASSERT_TRUE(xb::Write(path, cut));  // rewritten in place: the open file sees it shrink
  LogCapture log;
  EXPECT_FALSE(XritSegmentReadInto(f, path.c_str(), 400, 10, buf.data()));
  EXPECT_EQ(log.count(), 1u);
}

// A compressed segment is decoded whole: every line, starting at line 0.
TEST(XritReadLines, CompressedSegmentComesBackWhole) {
  const std::string path = NUBICORN_TESTDATA "/wt/nc3712_hramp.hrit";
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) GTEST_SKIP() << "WT vectors not in the tree";
  int from = -1;
  const SuplBytes got = XritSegmentReadLines(path.c_str(), 200, 5, &from);
  const SuplBytes whole = XritSegmentRead(path.c_str());
  ASSERT_FALSE(whole.empty());
  EXPECT_EQ(from, 0);
  EXPECT_EQ(got, whole);
}

// XritSegmentRead and its line readers: good segments to the exact counts, and every bad input
// to an empty result with exactly one warning.
#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "data/supl.h"
#include "data/wt.h"
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

// A WT segment of `nb`-bit counts, nc x nl as its headers say.
xb::Segment Wt(xb::Segment s, int nb, int nc, int nl) {
  s.compression = 1;
  s.representation = XRIT_REPR_WT;
  s.nb = nb, s.nc = nc, s.nl = nl;
  const WtImage img{nb, nc, nl};
  const std::vector<uint16_t> counts = xb::Pattern(nc, nl, 5);
  EXPECT_TRUE(WtEncode(counts.data(), img, WtDefaultParams(img), &s.field));
  return s;
}

// While a test runs no xRITDecompress is found: only the native decoder speaks.
class XritRead : public ::testing::Test {
 protected:
  TestTempDir dir;
  const std::string old_path = g_getenv("PATH") ? g_getenv("PATH") : "";
  XritRead() { g_setenv("PATH", dir.path().c_str(), TRUE); }
  ~XritRead() override { g_setenv("PATH", old_path.c_str(), TRUE); }

  // Writes `bytes` under `name`, reads it back, and checks: empty and exactly one warning
  // "<path>(<what>...)" when `what` is set; otherwise no warning.
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
      const std::string want = path + "(" + what;
      EXPECT_EQ(m[0].substr(0, want.size()), want);
      EXPECT_EQ(m[0].back(), ')') << m[0];
    } else {
      EXPECT_EQ(log.count(), 0u) << (log.count() ? log.messages()[0] : "");
    }
    return out;
  }
};

}  // namespace

TEST_F(XritRead, PlainSegmentsComeBackAsTheirField) {
  xb::Segment nameless = PlainHrv();
  nameless.segment_record = false;
  nameless.annotation = "";  // neither record nor annotation: the file name decides
  for (const auto& [s, name, trailing] : {std::tuple{PlainIr(), IR_NAME, 0},
                                          {PlainHrv(), HRV_NAME, 100}, {nameless, HRV_NAME, 0}}) {
    xb::Bytes file = xb::File(s);
    file.insert(file.end(), size_t(trailing), 0xAA);  // bytes after the field are not part of it
    const SuplBytes out = Read(file, nullptr, name);
    ASSERT_EQ(out.size(), s.field.size()) << name;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), s.field.begin())) << name;
  }
}

namespace {

// A segment changed in one way, and the warning its read must give.
struct Bad {
  const char* what;
  std::function<xb::Bytes()> file;
  const char* warning;
  const char* name = IR_NAME;
};

xb::Bytes With(const std::function<void(xb::Segment&)>& change, xb::Segment s = PlainIr()) {
  change(s);
  return xb::File(s);
}
xb::Bytes Extra(const xb::Bytes& record) {
  return With([&](xb::Segment& s) { s.extra_records = record; });
}
xb::Bytes Cut(size_t n) {
  xb::Bytes b = xb::File(PlainIr());
  b.resize(n);
  return b;
}
xb::Bytes Poke(size_t at, uint8_t v) {
  xb::Bytes b = xb::File(PlainIr());
  b[at] = v;
  return b;
}
const size_t HEADER = xb::Headers(PlainIr()).size();
const long long FIELD_BITS = 3712LL * 464 * 10;
const char* const ENCRYPTED = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-CE";

const Bad BAD[] = {
    {"empty", [] { return xb::Bytes(); }, "input"},
    {"record_length_2", [] { return Extra(xb::Record(200, xb::Bytes(8, 0), 2)); }, "input: header record of type 200 has length 2"},
    {"record_past_total", [] { return Extra(xb::Record(200, xb::Bytes(8, 0), 65535)); }, "input: header record of type 200 runs past the total header length"},
    {"structure_short", [] { return Extra(xb::Record(1, xb::Bytes(3, 0))); }, "input: header record of type 1 too short"},
    {"navigation_short", [] { return Extra(xb::Record(2, xb::Bytes(47, 0))); }, "input: header record of type 2 too short"},
    {"time_stamp_short", [] { return Extra(xb::Record(5, xb::Bytes(6, 0))); }, "input: header record of type 5 too short"},
    {"segment_id_short", [] { return Extra(xb::Record(128, xb::Bytes(9, 0))); }, "input: header record of type 128 too short"},
    {"line_quality_partial", [] { return Extra(xb::Record(129, xb::Bytes(14, 0))); }, "input: line quality record not whole entries"},
    {"second_primary", [] { return Extra(xb::Record(0, xb::Bytes(13, 0))); }, "input: second primary header"},
    {"not_primary_first", [] { return Poke(0, 1); }, "input: first record is not a primary header"},
    {"primary_length_17", [] { return Poke(2, 17); }, "input: primary header length is not 16"},
    {"sum_above_total", [] { return With([](xb::Segment& s) { s.header_length = (long long)HEADER - 1; }); }, "input: header record of type 129 runs past"},
    {"sum_below_total",
     [] {
       xb::Segment s = PlainIr();
       s.header_length = (long long)HEADER + 2;  // two stray bytes: no room for a record
       xb::Bytes b = xb::Headers(s);
       b.insert(b.end(), {0, 0});
       b.insert(b.end(), s.field.begin(), s.field.end());
       return b;
     },
     "input: header record cut by the total header length"},
    {"total_past_end", [] { return With([](xb::Segment& s) { s.header_length = 1LL << 31; }); }, "input: total header length past the end"},
    {"total_below_16", [] { return With([](xb::Segment& s) { s.header_length = 10; }); }, "input: total header length below 16"},
    {"prologue", [] { return With([](xb::Segment& s) { s.file_type = 128; }); }, "input: not an image file"},
    // Cut in the headers: nothing to read; in the data field before its first whole line: no
    // line to give (later cuts keep their lines: test_damaged_input).
    {"cut_1", [] { return Cut(1); }, "input"},
    {"cut_16", [] { return Cut(16); }, "input"},
    {"cut_in_headers", [] { return Cut(HEADER - 1); }, "input"},
    {"cut_at_field", [] { return Cut(HEADER); }, "short: 0 of 464 lines"},
    {"cut_in_first_line", [] { return Cut(HEADER + 4639); }, "short: 0 of 464 lines"},
    {"field_past_end", [] { return With([](xb::Segment& s) { s.data_bits = FIELD_BITS + 8; }); }, "input"},
    {"field_not_whole_lines", [] { return With([](xb::Segment& s) { s.data_bits = FIELD_BITS - 10; }); }, "input"},
    {"field_463_lines", [] { return With([](xb::Segment& s) { s.data_bits = FIELD_BITS - 4640 * 8; }); }, "input"},
    {"field_465_lines", [] { return With([](xb::Segment& s) { s.field.resize(s.field.size() + 4640); }); }, "input"},
    {"field_huge", [] { return With([](xb::Segment& s) { s.data_bits = 0x7FFFFFFFFFFFFFFFLL; }); }, "input"},
    {"depth_8", [] { return With([](xb::Segment& s) { s.nb = 8, s.field.resize(3712 * 464); }); }, "depth: NB 8, not 10"},
    // A 16-bit WT stream decodes "successfully": it must not be taken for 10-bit counts.
    {"wt_depth_16", [] { return xb::File(Wt(PlainIr(), 16, 3712, 464)); }, "depth: NB 16, not 10"},
    {"wt_strip_232", [] { return xb::File(Wt(PlainIr(), 10, 3712, 232)); }, "strip: NL 232, not 464"},
    // IR with the HRV width, HRV with the IR width, another width: refused whatever NC says.
    {"ir_at_hrv_width", [] { return With([](xb::Segment& s) { s.channel = 9, s.annotation = IR_NAME; }, PlainHrv()); }, "width: NC 5568, not 3712"},
    {"hrv_at_ir_width", [] { return With([](xb::Segment& s) { s.channel = 12, s.annotation = HRV_NAME; }); }, "width: NC 3712, not 5568", HRV_NAME},
    {"wt_hrv_at_ir_width", [] { return xb::File(Wt(PlainHrv(), 10, 3712, 464)); }, "width: NC 3712, not 5568", HRV_NAME},
    {"width_1000", [] { return With([](xb::Segment& s) { s.nc = 1000, s.field = xb::Pack10(xb::Pattern(1000, 464)); }); }, "width:"},
    {"width_by_name",  // neither segment record nor annotation: the file name decides
     [] { return With([](xb::Segment& s) { s.segment_record = false, s.annotation = ""; }, PlainHrv()); }, "width: NC 5568, not 3712"},
    {"strip_463", [] { return With([](xb::Segment& s) { s.nl = 463, s.field = xb::Pack10(xb::Pattern(3712, 463)); }); }, "strip: NL 463, not 464"},
    {"strip_928", [] { return With([](xb::Segment& s) { s.nl = 928; }); }, "strip: NL 928, not 464"},
    {"encrypted_by_annotation", [] { return With([](xb::Segment& s) { s.annotation = ENCRYPTED; }); }, "encrypted"},
    {"encrypted_by_key_header", [] { return With([](xb::Segment& s) { s.key_header = true; }); }, "encrypted"},
    // The tests come in their order: encryption before width, width before strip, the strip
    // before the field's length.
    {"encrypted_first", [] { return With([](xb::Segment& s) { s.annotation = ENCRYPTED, s.nc = 5568, s.nl = 10; }); }, "encrypted"},
    {"width_before_strip", [] { return With([](xb::Segment& s) { s.nc = 5568, s.nl = 10; }); }, "width:"},
    {"strip_before_field", [] { return With([](xb::Segment& s) { s.nl = 10, s.data_bits = 1LL << 40; }); }, "strip:"},
    // Compressed fields the native decoder cannot take, and no xRITDecompress on PATH.
    {"jpeg", [] { return With([](xb::Segment& s) { s.compression = 1, s.representation = XRIT_REPR_JPEG; }); }, "compressed"},
    {"t4", [] { return With([](xb::Segment& s) { s.compression = 1, s.representation = XRIT_REPR_T4; }); }, "compressed"},
    {"representation_9", [] { return With([](xb::Segment& s) { s.compression = 1, s.representation = 9; }); }, "compressed"},
    {"compressed_without_segment_record", [] { return With([](xb::Segment& s) { s.compression = 1, s.segment_record = false; }); }, "compressed"},
    // A whole WT stream of the IR width under HRV headers: refused, not over-read.
    {"wt_stream_of_another_width",
     [] {
       xb::Segment hrv = PlainHrv();
       hrv.compression = 1, hrv.representation = XRIT_REPR_WT;
       hrv.field = Wt(PlainIr(), 10, 3712, 464).field;
       return xb::File(hrv);
     },
     "compressed", HRV_NAME},
};

class XritBad : public XritRead, public ::testing::WithParamInterface<Bad> {};

TEST_P(XritBad, IsRefusedWithOneWarning) {
  Read(GetParam().file(), GetParam().warning, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Segments, XritBad, ::testing::ValuesIn(BAD),
                         [](const ::testing::TestParamInfo<Bad>& i) { return std::string(i.param.what); });

}  // namespace

TEST_F(XritRead, MissingEmptyAndNonFiles) {
  ReadPath(dir.file(IR_NAME), "input");
  ReadPath(dir.path(), "input");  // a folder
  LogCapture log;
  EXPECT_TRUE(XritSegmentRead(nullptr).empty());
  EXPECT_EQ(log.count(), 1u);
}

// A valid segment with random bytes in place of some of its headers.
TEST_F(XritRead, RandomlyDamagedHeadersFixedSeed) {
  std::mt19937 rng(4);
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

// The received WT vectors come back to their exact ramps, whatever lines are asked for: a
// compressed segment is decoded whole, from line 0.
TEST_F(XritRead, RealWtSegmentsToExactCounts) {
  for (const bool hrv : {false, true}) {
    const std::string path = NUBICORN_TESTDATA + std::string(hrv ? "/wt/nc5568_vramp.hrit"
                                                                  : "/wt/nc3712_hramp.hrit");
    const int nc = hrv ? 5568 : 3712;
    const SuplBytes packed = ReadPath(path, nullptr);
    ASSERT_EQ(packed.size(), size_t(nc) * 580);
    std::vector<uint16_t> c(size_t(nc) * 464);
    SuplUnpack10Bit(packed.data(), c.data(), nc);
    size_t bad = 0;
    for (int y = 0; y < 464; y++)
      for (int x = 0; x < nc; x++) bad += c[size_t(y) * nc + x] != (hrv ? y * 1023 / 463 : x * 1023 / 3711);
    EXPECT_EQ(bad, 0u);
    int from = -1;
    EXPECT_EQ(XritSegmentReadLines(path.c_str(), 200, 5, &from), packed);
    EXPECT_EQ(from, 0);
  }
}

// A stand-in for EUMETSAT's xRITDecompress: records its working folder, writes the
// decompressed file there and names it on its output, as the real program does.
class XritExternal : public XritRead {
 protected:
  void SetUp() override {
    g_mkdir(dir.file("bin").c_str(), 0755);
    g_setenv("PATH", (dir.file("bin") + ":" + old_path).c_str(), TRUE);
    g_setenv("NUBICORN_FAKE_LOG", dir.file("cwd").c_str(), TRUE);
    wt.compression = 1;
    wt.representation = XRIT_REPR_WT;
    wt.field = xb::Bytes(5000, 0x55);  // not a WT stream the native decoder would accept
  }
  void TearDown() override {
    g_unsetenv("NUBICORN_FAKE_SRC");
    g_unsetenv("NUBICORN_FAKE_LOG");
  }
  void Script(const std::string& body) {
    const std::string path = dir.file("bin/xRITDecompress");
    std::ofstream(path) << "#!/bin/sh\npwd > \"$NUBICORN_FAKE_LOG\"\n" << body;
    g_chmod(path.c_str(), 0755);
  }
  // The program's working folder, which must be gone once the read returns.
  void ExpectCwdGone() {
    gchar* s = nullptr;
    g_file_get_contents(dir.file("cwd").c_str(), &s, nullptr, nullptr);
    std::string cwd = s ? s : "";
    g_free(s);
    while (!cwd.empty() && cwd.back() == '\n') cwd.pop_back();
    ASSERT_FALSE(cwd.empty());
    EXPECT_NE(cwd, dir.path());
    EXPECT_FALSE(g_file_test(cwd.c_str(), G_FILE_TEST_EXISTS));
  }
  xb::Segment wt = PlainIr();
};

TEST_F(XritExternal, DecodesThroughTheProgramAndCleansUp) {
  xb::Segment plain = PlainIr();
  plain.annotation = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-__";
  ASSERT_TRUE(xb::Write(dir.file("decompressed"), xb::File(plain)));
  g_setenv("NUBICORN_FAKE_SRC", dir.file("decompressed").c_str(), TRUE);
  Script("cp \"$NUBICORN_FAKE_SRC\" ./out.hrit\n"
         "echo \"Opening $1\"\necho \"Decompressed file: out.hrit\"\n");
  const SuplBytes out = Read(xb::File(wt), nullptr);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.field.begin()));
  EXPECT_EQ(out.size(), plain.field.size());
  ExpectCwdGone();
}

// Fails after leaving a file behind; succeeds but names a file elsewhere: refused, folder gone.
TEST_F(XritExternal, ProgramFailureIsCompressedAndCleansUp) {
  for (const char* body : {"touch ./partial\necho 'Opening/reading input file failed.'\nexit 1\n",
                           "echo 'Decompressed file: ../../etc/passwd'\n"}) {
    Script(body);
    Read(xb::File(wt), "compressed");
    ExpectCwdGone();
  }
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
  // A field cut short keeps the whole lines that arrived: the lines it holds as they are, the
  // lost ones 0, one warning whatever the lines asked for. Its last line short, and HRV with
  // only its first line and a bit.
  for (const bool hrv : {false, true}) {
    const xb::Segment s = hrv ? PlainHrv() : PlainIr();
    const size_t line = size_t(s.nc) * 10 / 8;
    const int kept = hrv ? 1 : 463, first = hrv ? 0 : 460;
    xb::Bytes cut = xb::File(s);
    cut.resize(hrv ? cut.size() - s.field.size() + line * 6 / 5 : cut.size() - 100);
    const std::string path = dir.file(hrv ? HRV_NAME : IR_NAME);
    ASSERT_TRUE(xb::Write(path, cut));
    LogCapture log;
    int from = -1;
    const SuplBytes got = XritSegmentReadLines(path.c_str(), first, 4, &from);
    EXPECT_EQ(log.messages(), std::vector<std::string>{path + "(short: " + std::to_string(kept) +
                                                       " of 464 lines)"});
    EXPECT_EQ(from, first);
    ASSERT_EQ(got.size(), 4 * line);
    const size_t have = line * size_t(kept - first);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(have), s.field.begin() + long(first * line)));
    EXPECT_EQ(std::count(got.begin() + long(have), got.end(), 0), long(4 * line - have));
  }
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

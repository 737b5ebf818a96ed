// Reading shapefiles: parts, labels, fields, character sets, and every kind of bad file; and the
// generator's land mask made from the same shorelines.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "contours/cntrs.h"
#include "contours/cntrsshp.h"
#include "tools/synthland.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

using cntrstest::Shape;
using cntrstest::WriteShapes;

const CntrsView DISK{0, 0, 3712, 3712};
constexpr int NAME = 1;  // the label field of WriteShapes

std::string TestShp(const std::string& name) { return std::string(NUBICORN_TESTDATA) + "/shp/" + name; }

Shape Square(double lon, double lat, double size, const std::string& label) {
  return {{{{lon, lat}, {lon + size, lat}, {lon + size, lat + size}, {lon, lat + size}, {lon, lat}}}, label};
}

class CntrsReadTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir.file(name); }
  TestTempDir dir;
  LogCapture log;
};

TEST_F(CntrsReadTest, ThreePartPolygonGivesThreeLinesWithOneLabel) {
  Shape s = Square(0, 40, 2, "Tri");
  s.parts.push_back(Square(5, 40, 1, "").parts[0]);
  s.parts.push_back(Square(10, 40, 1, "").parts[0]);
  ASSERT_TRUE(WriteShapes(Path("tri.shp"), SHPT_POLYGON, {s, Square(20, 30, 1, "Other")}));
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(Path("tri.shp"), NAME, DISK, 1, &out));
  ASSERT_EQ(out.pieces.lines(), 4u);
  EXPECT_TRUE(out.has_labels);
  EXPECT_EQ(out.labels, (std::vector<std::string>{"Tri", "Tri", "Tri", "Other"}));
  for (std::size_t i = 0; i < 4; i++) EXPECT_EQ(out.pieces.size(i), 5u);
  // The first vertex of the second part is (5 E, 40 N).
  double ex = 0, ey = 0;
  cntrstest::ExpectedImageXY(40, 5, &ex, &ey);
  EXPECT_NEAR(out.pieces.line(1)[0], ex, 0.02);
  EXPECT_NEAR(out.pieces.line(1)[1], ey, 0.02);
  EXPECT_EQ(out.pieces.projected, 20u);
}

TEST_F(CntrsReadTest, LayerHoldsFloatPairsAndOwnedLabels) {
  ASSERT_TRUE(WriteShapes(Path("l.shp"), SHPT_ARC, {{{{{0, 0}, {1, 0}, {2, 0}}}, "Equator"}}));
  Cntrs* c = CntrsRead(Path("l.shp"), NAME, 1806, 1806, 100, 100, 1);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->lines->len, 1u);
  const GArray* a = static_cast<const GArray*>(g_ptr_array_index(c->lines, 0));
  ASSERT_EQ(a->len, 6u);  // three (x, y) pairs
  EXPECT_FLOAT_EQ(g_array_index(a, float, 0), 50.0f);
  EXPECT_FLOAT_EQ(g_array_index(a, float, 1), 50.0f);
  ASSERT_NE(c->labels, nullptr);
  EXPECT_STREQ(static_cast<const char*>(g_ptr_array_index(c->labels, 0)), "Equator");
  EXPECT_EQ(c->color, 0);
  EXPECT_EQ(c->group, nullptr);
  CntrsDel(c);
}

TEST_F(CntrsReadTest, LineCutByTheViewLabelsOnlyItsFirstPiece) {
  // Out of the 100 x 100 view around the centre and back in: two pieces of one part.
  ASSERT_TRUE(WriteShapes(Path("out.shp"), SHPT_ARC, {{{{{0, 0}, {10, 0}, {10, 1}, {0, 1}}}, "Cut"}}));
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(Path("out.shp"), NAME, CntrsView{1806, 1806, 100, 100}, 1, &out));
  ASSERT_EQ(out.pieces.lines(), 2u);
  EXPECT_EQ(out.labels, (std::vector<std::string>{"Cut", ""}));
}

TEST_F(CntrsReadTest, PointFileMarksOnlyPointsInsideTheView) {
  ASSERT_TRUE(WriteShapes(Path("p.shp"), SHPT_POINT,
                          {{{{{0, 0}}}, "Centre"}, {{{{40, 40}}}, "Far"}, {{{{150, 0}}}, "Hidden"}}));
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(Path("p.shp"), NAME, CntrsView{1806, 1806, 100, 100}, 1, &out));
  ASSERT_EQ(out.pieces.lines(), 1u);
  EXPECT_EQ(out.pieces.size(0), 4u);
  EXPECT_EQ(out.labels, (std::vector<std::string>{"Centre"}));
  // Nothing visible at all: no layer.
  EXPECT_EQ(CntrsRead(Path("p.shp"), NAME, 0, 0, 10, 10, 1), nullptr);
}

TEST_F(CntrsReadTest, FieldsAreFoundIgnoringCaseAndNumbersNeverLabel) {
  ASSERT_TRUE(WriteShapes(Path("f.shp"), SHPT_ARC, {{{{{0, 0}, {1, 0}}}, "x"}}));
  auto fields = CntrsFieldList(Path("f.shp"));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "NAME");
  EXPECT_EQ(fields[0].index, 1);
  EXPECT_EQ(fields[1].name, "ALT");
  EXPECT_EQ(fields[1].index, 2);
  EXPECT_EQ(CntrsFieldIndex(Path("f.shp"), "name"), 1);
  EXPECT_EQ(CntrsFieldIndex(Path("f.shp"), "Alt"), 2);
  EXPECT_EQ(CntrsFieldIndex(Path("f.shp"), "POP"), -1);  // numeric
  EXPECT_EQ(CntrsFieldIndex(Path("f.shp"), "nam"), -1);
  EXPECT_EQ(CntrsFieldIndex(Path("f.shp"), ""), -1);
  log.clear();
  EXPECT_EQ(CntrsFieldIndex(Path("none.shp"), "name"), -1);
  EXPECT_TRUE(log.contains("none.shp"));
}

TEST_F(CntrsReadTest, LabelsAreConvertedFromTheChosenCharset) {
  // "Москва" in Windows-1251; 0x98 is not a character of Windows-1251.
  const std::string moscow = "\xcc\xee\xf1\xea\xe2\xe0";
  ASSERT_TRUE(WriteShapes(Path("c.shp"), SHPT_ARC,
                          {{{{{37, 55}, {38, 56}}}, moscow}, {{{{0, 0}, {1, 0}}}, "bad\x98"},
                           {{{{0, 10}, {1, 10}}}, ""}}));
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(Path("c.shp"), NAME, DISK, 0, &out));
  EXPECT_EQ(out.labels, (std::vector<std::string>{"Москва", "?", "?"}));
  // As ISO-8859-1 the same bytes are Latin letters; as UTF-8 they are invalid.
  ASSERT_TRUE(CntrsReadShapes(Path("c.shp"), NAME, DISK, 2, &out));
  EXPECT_EQ(out.labels[0], "Ìîñêâà");
  ASSERT_TRUE(CntrsReadShapes(Path("c.shp"), NAME, DISK, 1, &out));
  EXPECT_EQ(out.labels[0], "?");
  EXPECT_EQ(CntrsLabel("plain", 1), "plain");
  EXPECT_EQ(CntrsLabel("plain", 3), "?");  // no such charset
  EXPECT_EQ(CntrsLabel(nullptr, 0), "?");
}

TEST_F(CntrsReadTest, RealCitiesCarryIso88591Names) {
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(TestShp("naturalearth_cities.shp"), 0, DISK, 2, &out));
  ASSERT_EQ(out.pieces.lines(), out.labels.size());
  auto has = [&](const std::string& s) { return std::find(out.labels.begin(), out.labels.end(), s) != out.labels.end(); };
  EXPECT_TRUE(has("Reykjavík"));
  EXPECT_TRUE(has("Paris"));
  EXPECT_TRUE(has("Lomé"));
  EXPECT_FALSE(has("Tokyo"));  // behind the Earth
}

// Each refusal names the file in the log.
TEST_F(CntrsReadTest, RefusedFiles) {
  const Shape one{{{{0, 0}, {1, 0}}}, "x"};
  ASSERT_TRUE(WriteShapes(Path("up.shp"), SHPT_ARC, {one}));
  std::rename(Path("up.shp").c_str(), Path("up.SHP").c_str());  // the suffix is case-sensitive
  ASSERT_TRUE(WriteShapes(Path("empty.shp"), SHPT_ARC, {}));     // no records
  ASSERT_TRUE(WriteShapes(Path("noshx.shp"), SHPT_ARC, {one}));
  std::remove(Path("noshx.shx").c_str());
  ASSERT_TRUE(WriteShapes(Path("patch.shp"), SHPT_MULTIPATCH, {{{{{0, 0}, {1, 0}, {1, 1}}}, "x"}}));
  for (const char* name : {"up.SHP", "empty.shp", "noshx.shp", "missing.shp", "patch.shp"}) {
    log.clear();
    CntrsShapes out;
    EXPECT_FALSE(CntrsReadShapes(Path(name), -1, DISK, 1, &out)) << name;
    EXPECT_EQ(CntrsRead(Path(name), -1, 0, 0, 3712, 3712, 1), nullptr) << name;
    EXPECT_TRUE(log.contains(name)) << name;
  }
  EXPECT_TRUE(log.contains("unsupported shape type 31"));
}

TEST_F(CntrsReadTest, MissingTableOrFieldGivesLinesWithoutLabels) {
  ASSERT_TRUE(WriteShapes(Path("nodbf.shp"), SHPT_ARC, {{{{{0, 0}, {1, 0}}}, "x"}}));
  std::remove(Path("nodbf.dbf").c_str());
  CntrsShapes out;
  ASSERT_TRUE(CntrsReadShapes(Path("nodbf.shp"), NAME, DISK, 1, &out));
  EXPECT_EQ(out.pieces.lines(), 1u);
  EXPECT_FALSE(out.has_labels);
  EXPECT_TRUE(out.labels.empty());
  ASSERT_TRUE(WriteShapes(Path("few.shp"), SHPT_ARC, {{{{{0, 0}, {1, 0}}}, "x"}}));
  ASSERT_TRUE(CntrsReadShapes(Path("few.shp"), 3, DISK, 1, &out));  // only fields 0..2
  EXPECT_FALSE(out.has_labels);
  Cntrs* c = CntrsRead(Path("few.shp"), -1, 0, 0, 3712, 3712, 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->labels, nullptr);
  CntrsDel(c);
}

// Bytes of a file, to damage.
std::string Slurp(const std::string& f) {
  std::ifstream in(f, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void Spit(const std::string& f, const std::string& s) { std::ofstream(f, std::ios::binary) << s; }
void PutBig32(std::string* s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*s)[at + i] = char(v >> (24 - 8 * i));
}
void PutLittle32(std::string* s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*s)[at + i] = char(v >> (8 * i));
}

TEST_F(CntrsReadTest, DamagedFilesSkipRecordsAndNeverCrash) {
  std::vector<Shape> shapes;
  for (int i = 0; i < 4; i++) shapes.push_back(Square(i * 3.0, 45, 2, "S" + std::to_string(i)));
  ASSERT_TRUE(WriteShapes(Path("good.shp"), SHPT_POLYGON, shapes));
  const std::string shp = Slurp(Path("good.shp")), shx = Slurp(Path("good.shx")), dbf = Slurp(Path("good.dbf"));
  // Record layout: 100-byte header, then per record 8 bytes of header, type, box (32), parts,
  // points, part starts, vertices. One square is 4 + 32 + 8 + 4 + 80 = 128 bytes of content.
  const std::size_t rec = 100 + 8 + 128;  // second record's header
  auto variant = [&](const std::string& name, const std::string& s, const std::string& x) {
    Spit(Path(name + ".shp"), s);
    Spit(Path(name + ".shx"), x);
    Spit(Path(name + ".dbf"), dbf);
    return Path(name + ".shp");
  };
  CntrsShapes out;
  // Truncated in the second record: the records before it still come through.
  ASSERT_TRUE(CntrsReadShapes(variant("trunc", shp.substr(0, rec + 40), shx), NAME, DISK, 1, &out));
  EXPECT_GE(out.pieces.lines(), 1u);
  EXPECT_LT(out.pieces.lines(), 4u);
  // A vertex count far beyond the record.
  std::string huge = shp;
  PutLittle32(&huge, rec + 8 + 4 + 32 + 4, 0x7FFFFFF0u);
  ASSERT_TRUE(CntrsReadShapes(variant("huge", huge, shx), NAME, DISK, 1, &out));
  EXPECT_EQ(out.pieces.lines(), 3u);
  EXPECT_GE(out.skipped, 1u);
  // A part start beyond the vertices, a negative part count.
  std::string parts = shp;
  PutLittle32(&parts, rec + 8 + 4 + 32, 0xFFFFFFFFu);
  ASSERT_TRUE(CntrsReadShapes(variant("parts", parts, shx), NAME, DISK, 1, &out));
  EXPECT_GE(out.pieces.lines(), 3u);
  // The index lies about a record's length and offset.
  std::string lying = shx;
  PutBig32(&lying, 100 + 8 + 4, 0x00FFFFFFu);  // content length of record 1 (16-bit words)
  PutBig32(&lying, 100 + 16, 0x7FFFFFFFu);     // offset of record 2
  ASSERT_TRUE(CntrsReadShapes(variant("lying", shp, lying), NAME, DISK, 1, &out));
  EXPECT_LE(out.pieces.lines(), 4u);
  // Vertices off the globe: those squares give nothing.
  std::vector<Shape> off = {Square(200, 45, 2, "E"), Square(0, 95, 2, "N"), Square(0, 0, 1, "ok")};
  ASSERT_TRUE(WriteShapes(Path("off.shp"), SHPT_POLYGON, off));
  ASSERT_TRUE(CntrsReadShapes(Path("off.shp"), NAME, DISK, 1, &out));
  EXPECT_EQ(out.labels, (std::vector<std::string>{"ok"}));
}

TEST_F(CntrsReadTest, CoarseCoastlinesStayInsideEveryView) {
  for (CntrsView v : {CntrsView{2710, 464, 92, 60}, CntrsView{1200, 300, 1000, 600}, DISK}) {
    CntrsShapes out;
    ASSERT_TRUE(CntrsReadShapes(TestShp("GSHHS_c_L1.shp"), -1, v, 1, &out));
    EXPECT_GT(out.pieces.lines(), 0u) << v.width;
    EXPECT_EQ(out.skipped, 0u);
    for (std::size_t i = 0; i < out.pieces.xy.size(); i += 2) {
      ASSERT_GE(out.pieces.xy[i], 0.0f);
      ASSERT_LE(out.pieces.xy[i], float(v.width));
      ASSERT_GE(out.pieces.xy[i + 1], 0.0f);
      ASSERT_LE(out.pieces.xy[i + 1], float(v.height));
    }
  }
}

// ---- the generator's land mask from the same shorelines ----

TEST(SynthLandShoreTest, LandMaskFollowsTheShorelines) {
  const cv::Mat land = SynthLandRaster(TestShp("GSHHS_c_L1.shp"));
  ASSERT_EQ(land.type(), CV_32FC1);
  // Places well away from any coast.
  EXPECT_GT(SynthLandAt(land, 48.85, 2.35), 0.95f);    // Paris
  EXPECT_GT(SynthLandAt(land, 25.0, 10.0), 0.95f);     // Sahara
  EXPECT_GT(SynthLandAt(land, 55.75, 37.62), 0.95f);   // Moscow
  EXPECT_GT(SynthLandAt(land, 72.0, -40.0), 0.95f);    // Greenland
  EXPECT_LT(SynthLandAt(land, 40.0, -40.0), 0.05f);    // North Atlantic
  EXPECT_LT(SynthLandAt(land, 35.0, 18.0), 0.05f);     // Ionian Sea
  EXPECT_LT(SynthLandAt(land, 43.0, 34.0), 0.05f);     // Black Sea
  // The shoreline vertices themselves lie on the soft edge between sea and land.
  CntrsShpPtr shp = CntrsShpOpen(TestShp("GSHHS_c_L1.shp").c_str());
  ASSERT_TRUE(shp);
  int records = 0;
  SHPGetInfo(shp.get(), &records, nullptr, nullptr, nullptr);
  int on_edge = 0, in_sea = 0, total = 0;
  for (int r = 0; r < records; r++) {
    CntrsObjectPtr o(SHPReadObject(shp.get(), r));
    ASSERT_TRUE(o);
    for (int v = 0; v < o->nVertices; v++) {
      const double lon = o->padfX[v], lat = o->padfY[v];
      if (lon < -80 || lon > 80 || lat < -5 || lat > 80) continue;
      total++;
      const float f = SynthLandAt(land, lat, lon);
      on_edge += f > 0.05f && f < 0.95f;
      in_sea += f <= 0.05f;
    }
  }
  ASSERT_GT(total, 1000);
  // No shore vertex lies out in the open sea; the few fully on land are the heads of inlets
  // narrower than the raster's softened coast.
  EXPECT_LE(in_sea, total / 200) << in_sea << " of " << total;
  EXPECT_GT(on_edge, total * 8 / 10) << on_edge << " of " << total;
  // The built-in outlines do not follow the real shore that closely.
  const cv::Mat builtin = SynthLandRaster();
  EXPECT_GT(SynthLandAt(builtin, 48.85, 2.35), 0.95f);
}

TEST(SynthLandShoreTest, LakesAreCutOutAndBadFilesFallBack) {
  LogCapture log;
  const cv::Mat fallback = SynthLandRaster("/nonexistent/shore.shp");
  EXPECT_TRUE(log.contains("/nonexistent/shore.shp"));
  EXPECT_GT(SynthLandAt(fallback, 25.0, 10.0), 0.95f);  // the built-in Sahara
  // A point file is no shoreline either.
  log.clear();
  SynthLandRaster(TestShp("naturalearth_cities.shp"));
  EXPECT_TRUE(log.contains("naturalearth_cities.shp"));
  if (SynthLandDefaultLakes().empty()) GTEST_SKIP() << "GSHHS lakes not installed";
  const cv::Mat lakes = SynthLandRaster(TestShp("GSHHS_c_L1.shp"), SynthLandDefaultLakes());
  EXPECT_LT(SynthLandAt(lakes, 42.0, 50.5), 0.05f);  // Caspian Sea
  EXPECT_GT(SynthLandAt(lakes, 48.85, 2.35), 0.95f);
}

}  // namespace

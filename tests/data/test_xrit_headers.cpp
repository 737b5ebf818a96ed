// xRIT header records: a real segment's headers, hand-built records, the channel's width, and
// every truncation (malformed records and encryption marks through the reader: test_xrit_read).
#include <gtest/gtest.h>
#include <glib.h>

#include "data/xrit.h"
#include "tests/support/xrit_builder.h"

namespace {

xb::Bytes ReadFile(const std::string& path) {
  gchar* data = nullptr;
  gsize n = 0;
  if (!g_file_get_contents(path.c_str(), &data, &n, nullptr)) return {};
  xb::Bytes b(data, data + n);
  g_free(data);
  return b;
}

bool Parse(const xb::Bytes& b, XritHeader* h, std::string* err = nullptr) {
  std::string e;
  return XritParseHeaders(b, h, err ? err : &e);
}

}  // namespace

TEST(XritHeaders, RealWtSegment) {
  const xb::Bytes b = ReadFile(NUBICORN_TESTDATA "/wt_nc3712_zero.hrit");
  ASSERT_EQ(b.size(), 10591u);
  XritHeader h;
  std::string err;
  ASSERT_TRUE(Parse(b, &h, &err)) << err;
  EXPECT_EQ(h.file_type, 0);
  EXPECT_EQ(h.header_length, 6198u);
  EXPECT_EQ(h.data_bits, 4393u * 8);
  EXPECT_EQ(h.header_length + h.data_bits / 8, b.size());
  EXPECT_EQ(h.nb, 10);
  EXPECT_EQ(h.nc, 3712);
  EXPECT_EQ(h.nl, 464);
  EXPECT_EQ(h.compression, 1);
  EXPECT_EQ(h.projection, "GEOS(+000.0)");
  EXPECT_EQ(h.cfac, -13642337);
  EXPECT_EQ(h.lfac, -13642337);
  EXPECT_EQ(h.coff, 1856);
  EXPECT_EQ(h.loff, 1856 - 464 * 6);
  EXPECT_EQ(h.annotation, "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_");
  EXPECT_TRUE(h.compressed_mark);
  EXPECT_FALSE(h.encrypted);
  EXPECT_TRUE(h.has_time);
  EXPECT_EQ(h.days, 21369);  // 2016-07-04 counted from 1958-01-01
  EXPECT_TRUE(h.has_segment);
  EXPECT_EQ(h.spacecraft, 323);
  EXPECT_EQ(h.channel, 9);
  EXPECT_EQ(h.segment, 7);
  EXPECT_EQ(h.planned_start, 1);
  EXPECT_EQ(h.planned_end, 8);
  EXPECT_EQ(h.representation, XRIT_REPR_WT);
  ASSERT_EQ(h.line_quality.size(), 464u);
  EXPECT_EQ(h.line_quality[0].days, 21369);
  EXPECT_EQ(h.line_quality[1].line, h.line_quality[0].line + 1);
  EXPECT_EQ(XritChannelColumns(h, nullptr), 3712);
}

TEST(XritHeaders, BuiltSegmentRoundTrip) {
  xb::Segment s;
  s.channel = 12;
  s.segment = 20;
  s.nc = 5568;
  s.annotation = "H-000-MSG3__-MSG3________-HRV______-000020___-201607041200-C_";
  // An unknown record is skipped by its length: the records after it are read in place.
  const std::string text = "ancillary";
  const xb::Bytes anc(text.begin(), text.end());
  s.extra_records = xb::Record(200, xb::Bytes(40, 0xFF));
  for (const xb::Bytes& r : {xb::Record(6, anc), xb::Record(3, xb::Bytes{'$', 'H'})})
    s.extra_records.insert(s.extra_records.end(), r.begin(), r.end());
  const xb::Bytes b = xb::Headers(s);
  XritHeader h;
  std::string err;
  ASSERT_TRUE(Parse(b, &h, &err)) << err;
  EXPECT_EQ(h.header_length, b.size());
  EXPECT_EQ(h.nc, 5568);
  EXPECT_EQ(h.cfac, -40927014);
  EXPECT_EQ(h.coff, 5566 - 1947 + 1);
  EXPECT_EQ(h.loff, 5566 - 464 * 19);
  EXPECT_EQ(h.ms, 43200000u);
  EXPECT_EQ(h.ancillary, "ancillary");
  EXPECT_EQ(h.data_function, "$H");
  EXPECT_EQ(h.segment, 20);
  EXPECT_EQ(h.line_quality.back().line, 464 * 19 + 464);
  EXPECT_EQ(h.line_quality.back().ms, 43200000u + 463 * 100);
  EXPECT_EQ(XritChannelColumns(h, nullptr), 5568);
}

TEST(XritHeaders, ChannelColumnsFromRecordAnnotationOrName) {
  XritHeader h;
  EXPECT_EQ(XritChannelColumns(h, nullptr), 0);
  EXPECT_EQ(XritChannelColumns(h, "/x/H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_"),
            5568);
  EXPECT_EQ(XritChannelColumns(h, "/x/H-000-MSG3__-MSG3________-WV_062___-000007___-201607041200-C_"),
            3712);
  EXPECT_EQ(XritChannelColumns(h, "short"), 0);
  h.has_annotation = true;
  h.annotation = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
  EXPECT_EQ(XritChannelColumns(h, "/x/H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_"),
            5568);
  h.has_segment = true;
  h.channel = 1;
  EXPECT_EQ(XritChannelColumns(h, nullptr), 3712);  // the record wins
}

TEST(XritHeaders, EveryTruncationFailsCleanly) {
  const xb::Bytes base = xb::Headers(xb::Segment{});
  XritHeader h;
  // Headers are complete only with all their bytes; any cut must be refused, never over-read
  // (the sanitizer build checks the latter).
  for (size_t n = 0; n < base.size(); n += (n < 400 ? 1 : 97)) {
    xb::Bytes cut(base.begin(), base.begin() + n);
    cut.shrink_to_fit();
    EXPECT_FALSE(Parse(cut, &h)) << n;
  }
}

// Projection, splitting and clipping of geographic lines into the displayed rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "contours/cntrsgeom.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

const CntrsView DISK{0, 0, 3712, 3712};
const CntrsView CENTRE{1806, 1806, 100, 100};  // around the sub-satellite point, at (50, 50)
constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();

TEST(CntrsProjectTest, PointsLandOnTheirPixelsOrAreRefused) {
  const struct {
    double lat, lon;
    CntrsView view;
    bool placed;
  } cases[] = {{0, 0, DISK, true},       {10, 0, DISK, true},       {-30, 0, DISK, true},
               {0, 45, DISK, true},      {20, 60, DISK, true},      {-5, 50, DISK, true},
               {-60, -20, DISK, true},   {40, 70, DISK, true},      {55.75, 37.62, {2710, 464, 92, 60}, true},
               {90.5, 0, DISK, false},   {0, 181, DISK, false},     {10, NAN_, DISK, false},
               {NAN_, 10, DISK, false},  {0, 100, DISK, false},     {85, 0, DISK, false}};
  for (const auto& c : cases) {
    double x = 7, y = 7, ex = 7, ey = 7;
    if (c.placed) cntrstest::ExpectedImageXY(c.lat, c.lon, &ex, &ey);
    EXPECT_EQ(CntrsProject(c.lon, c.lat, c.view, &x, &y), c.placed) << c.lat << "," << c.lon;
    EXPECT_NEAR(x, c.placed ? ex - c.view.x : 7, 0.02) << c.lat << "," << c.lon;  // refused: untouched
    EXPECT_NEAR(y, c.placed ? ey - c.view.y : 7, 0.02) << c.lat << "," << c.lon;
  }
}

// A line of (lon, lat) vertices added to a view: the pieces it gives, each a list of (x, y).
struct LineCase {
  const char* what;
  std::vector<std::pair<double, double>> vertices;  // (lon, lat)
  CntrsView view;
  std::vector<size_t> sizes;  // vertices of each piece
  std::vector<std::pair<size_t, std::pair<double, double>>> at;  // piece vertex k: (x, y) in the view
};

class CntrsAddLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CntrsAddLineTest, PiecesStayInTheViewAndOnTheEarth) {
  const LineCase& c = GetParam();
  std::vector<double> lon, lat;
  for (auto [lo, la] : c.vertices) {
    lon.push_back(lo);
    lat.push_back(la);
  }
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(lon, lat, c.view, &p), c.sizes.size());
  ASSERT_EQ(p.lines(), c.sizes.size());
  std::vector<std::pair<float, float>> all;  // every vertex, piece after piece
  for (size_t i = 0; i < p.lines(); i++) {
    EXPECT_EQ(p.size(i), c.sizes[i]) << i;
    for (size_t k = 0; k < p.size(i); k++) all.emplace_back(p.line(i)[2 * k], p.line(i)[2 * k + 1]);
  }
  for (auto [x, y] : all) {
    EXPECT_GE(x, 0.0f);
    EXPECT_LE(x, float(c.view.width));
    EXPECT_GE(y, 0.0f);
    EXPECT_LE(y, float(c.view.height));
  }
  for (const auto& [k, xy] : c.at) {
    ASSERT_LT(k, all.size());
    EXPECT_NEAR(all[k].first, xy.first, 0.02) << "vertex " << k;
    EXPECT_NEAR(all[k].second, xy.second, 0.02) << "vertex " << k;
  }
}

// Where a geodetic point lies in the view.
std::pair<double, double> In(const CntrsView& v, double lat, double lon) {
  double x = 0, y = 0;
  cntrstest::ExpectedImageXY(lat, lon, &x, &y);
  return {x - v.x, y - v.y};
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CntrsAddLineTest,
    ::testing::Values(
        LineCase{"inside", {{0, 45}, {2, 45}, {4, 45}, {6, 45}, {8, 45}, {10, 45}}, DISK, {6},
                 {{0, In(DISK, 45, 0)}, {3, In(DISK, 45, 6)}, {5, In(DISK, 45, 10)}}},
        // Out beyond the eastern limb (about 81 degrees) and back on a parallel: split, never
        // joined across space to the hidden vertices.
        LineCase{"limb", {{70, 0}, {78, 0}, {95, 0}, {100, 5}, {78, 5}, {70, 5}}, DISK, {2, 2},
                 {{1, In(DISK, 0, 78)}, {2, In(DISK, 5, 78)}}},
        // A latitude out of range and a NaN break the line; a lone vertex after a break is none.
        LineCase{"bad_vertices", {{0, 10}, {1, 10}, {0, 95}, {2, 10}, {3, 10}, {NAN_, 10}, {4, 10}}, DISK, {2, 2}, {}},
        // Out of the view to the east and back in: it ends and starts again on the east border.
        LineCase{"leaves_the_view", {{0, 0}, {10, 0}, {10, 1}, {0, 1}}, CENTRE, {2, 2},
                 {{0, {50, 50}}, {1, {100, 50}}, {3, In(CENTRE, 1, 0)}}},
        LineCase{"outside", {{30, 30}, {31, 30}}, CENTRE, {}, {}},
        LineCase{"through", {{-10, 0}, {10, 0}}, CENTRE, {2}, {{0, {0, 50}}, {1, {100, 50}}}}),
    [](const ::testing::TestParamInfo<LineCase>& i) { return std::string(i.param.what); });

TEST(CntrsAddPointsTest, PointsStrictlyInsideBecomeTriangles) {
  const std::vector<double> lon = {0, 40, 120}, lat = {0, 40, 0};  // inside, outside, behind the Earth
  CntrsPieces p;
  EXPECT_EQ(CntrsAddPoints(lon, lat, CENTRE, &p), 1u);
  ASSERT_EQ(p.lines(), 1u);
  ASSERT_EQ(p.size(0), 4u);
  const float left = float(50.0 - 0.29);
  const float expect[8] = {50.0f, 50.0f, left, 50.5f, float(double(left) + 0.58), 50.5f, 50.0f, 50.0f};
  for (int i = 0; i < 8; i++) EXPECT_FLOAT_EQ(p.line(0)[i], expect[i]) << i;
  // A point exactly on the view's corner is not strictly inside.
  CntrsPieces q;
  const std::vector<double> zero = {0};
  EXPECT_EQ(CntrsAddPoints(zero, zero, CntrsView{1856, 1856, 10, 10}, &q), 0u);
}

}  // namespace

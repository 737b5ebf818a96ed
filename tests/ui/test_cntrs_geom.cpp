// Projection, splitting and clipping of geographic lines into the displayed rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "contours/cntrsgeom.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

const CntrsView DISK{0, 0, 3712, 3712};

struct Line {
  std::vector<double> lon, lat;
  void Add(double lo, double la) {
    lon.push_back(lo);
    lat.push_back(la);
  }
};

std::vector<std::vector<std::pair<float, float>>> Pieces(const CntrsPieces& p) {
  std::vector<std::vector<std::pair<float, float>>> out;
  for (std::size_t i = 0; i < p.lines(); i++) {
    out.emplace_back();
    for (std::size_t k = 0; k < p.size(i); k++) out.back().emplace_back(p.line(i)[2 * k], p.line(i)[2 * k + 1]);
  }
  return out;
}

TEST(CntrsProjectTest, KnownPointsLandOnTheirPixels) {
  double x = 0, y = 0;
  // The sub-satellite point is the centre of the grid.
  ASSERT_TRUE(CntrsProject(0.0, 0.0, DISK, &x, &y));
  EXPECT_NEAR(x, 1856.0, 1e-9);
  EXPECT_NEAR(y, 1856.0, 1e-9);
  // Points across the disk against plain ellipsoid geometry.
  const double pts[][2] = {{0, 10}, {0, -30}, {45, 0}, {60, 20}, {50, -5}, {-20, -60}, {70, 40}};
  for (auto [lat, lon] : pts) {
    double ex = 0, ey = 0;
    cntrstest::ExpectedImageXY(lat, lon, &ex, &ey);
    ASSERT_TRUE(CntrsProject(lon, lat, DISK, &x, &y)) << lat << "," << lon;
    EXPECT_NEAR(x, ex, 0.02) << lat << "," << lon;
    EXPECT_NEAR(y, ey, 0.02) << lat << "," << lon;
  }
  // The view corner is subtracted.
  const CntrsView v{2710, 464, 92, 60};
  double ex = 0, ey = 0;
  cntrstest::ExpectedImageXY(55.75, 37.62, &ex, &ey);  // Moscow
  ASSERT_TRUE(CntrsProject(37.62, 55.75, v, &x, &y));
  EXPECT_NEAR(x, ex - 2710, 0.02);
  EXPECT_NEAR(y, ey - 464, 0.02);
}

TEST(CntrsProjectTest, UnplaceableVerticesAreRefused) {
  double x = 7, y = 7;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(CntrsProject(0.0, 90.5, DISK, &x, &y));   // beyond the pole
  EXPECT_FALSE(CntrsProject(181.0, 0.0, DISK, &x, &y));  // beyond the date line
  EXPECT_FALSE(CntrsProject(nan, 10.0, DISK, &x, &y));
  EXPECT_FALSE(CntrsProject(10.0, nan, DISK, &x, &y));
  EXPECT_FALSE(CntrsProject(100.0, 0.0, DISK, &x, &y));  // behind the limb
  EXPECT_FALSE(CntrsProject(0.0, 85.0, DISK, &x, &y));
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 7);
}

TEST(CntrsAddLineTest, LineInsideTheViewKeepsEveryVertex) {
  Line l;
  for (int lon = 0; lon <= 10; lon += 2) l.Add(lon, 45.0);
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(l.lon, l.lat, DISK, &p), 1u);
  ASSERT_EQ(p.lines(), 1u);
  ASSERT_EQ(p.size(0), 6u);
  EXPECT_EQ(p.projected, 6u);
  for (std::size_t k = 0; k < 6; k++) {
    double ex = 0, ey = 0;
    cntrstest::ExpectedImageXY(45.0, l.lon[k], &ex, &ey);
    EXPECT_NEAR(p.line(0)[2 * k], ex, 0.02);
    EXPECT_NEAR(p.line(0)[2 * k + 1], ey, 0.02);
  }
}

TEST(CntrsAddLineTest, LineCrossingTheLimbIsSplitNotJoinedAcrossSpace) {
  // Along the equator out beyond the eastern limb (about 81 degrees) and back on a parallel.
  Line l;
  l.Add(70, 0);
  l.Add(78, 0);
  l.Add(95, 0);   // behind the Earth
  l.Add(100, 5);  // behind the Earth
  l.Add(78, 5);
  l.Add(70, 5);
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(l.lon, l.lat, DISK, &p), 2u);
  auto pieces = Pieces(p);
  ASSERT_EQ(pieces.size(), 2u);
  ASSERT_EQ(pieces[0].size(), 2u);
  ASSERT_EQ(pieces[1].size(), 2u);
  // Both pieces stay on the visible side: no segment reaches for the hidden vertices.
  double x78 = 0, y0 = 0, y5 = 0, dummy = 0;
  cntrstest::ExpectedImageXY(0, 78, &x78, &y0);
  cntrstest::ExpectedImageXY(5, 78, &dummy, &y5);
  EXPECT_NEAR(pieces[0][1].first, x78, 0.02);
  EXPECT_NEAR(pieces[0][1].second, y0, 0.02);
  EXPECT_NEAR(pieces[1][0].second, y5, 0.02);
  EXPECT_EQ(p.projected, 6u);
}

TEST(CntrsAddLineTest, BadVerticesBreakTheLine) {
  Line l;
  l.Add(0, 10);
  l.Add(1, 10);
  l.Add(0, 95);  // latitude out of range
  l.Add(2, 10);
  l.Add(3, 10);
  l.Add(std::numeric_limits<double>::quiet_NaN(), 10);
  l.Add(4, 10);  // a lone vertex after the break makes no line
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(l.lon, l.lat, DISK, &p), 2u);
  EXPECT_EQ(p.size(0), 2u);
  EXPECT_EQ(p.size(1), 2u);
}

TEST(CntrsAddLineTest, LineLeavingTheViewEndsOnItsBorder) {
  // A view of 100 x 100 pixels around the sub-satellite point.
  const CntrsView v{1806, 1806, 100, 100};
  Line l;
  l.Add(0, 0);    // centre: (50, 50)
  l.Add(10, 0);   // far to the east, out of the view
  l.Add(10, 1);   // still outside
  l.Add(0, 1);    // back inside
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(l.lon, l.lat, v, &p), 2u);
  auto pieces = Pieces(p);
  ASSERT_EQ(pieces.size(), 2u);
  ASSERT_EQ(pieces[0].size(), 2u);
  EXPECT_FLOAT_EQ(pieces[0][0].first, 50.0f);
  EXPECT_FLOAT_EQ(pieces[0][0].second, 50.0f);
  EXPECT_FLOAT_EQ(pieces[0][1].first, 100.0f);  // on the east border
  EXPECT_NEAR(pieces[0][1].second, 50.0f, 1e-4);
  ASSERT_EQ(pieces[1].size(), 2u);
  EXPECT_FLOAT_EQ(pieces[1][0].first, 100.0f);  // re-enters through the east border
  double ex = 0, ey = 0;
  cntrstest::ExpectedImageXY(1, 0, &ex, &ey);
  EXPECT_NEAR(pieces[1][1].first, ex - 1806, 0.02);
  EXPECT_NEAR(pieces[1][1].second, ey - 1806, 0.02);
  for (const auto& piece : pieces)
    for (auto [x, y] : piece) {
      EXPECT_GE(x, 0.0f);
      EXPECT_LE(x, 100.0f);
      EXPECT_GE(y, 0.0f);
      EXPECT_LE(y, 100.0f);
    }
}

TEST(CntrsAddLineTest, LinesOutsideOrThroughTheViewAreClipped) {
  const CntrsView v{1806, 1806, 100, 100};
  // Entirely outside: nothing.
  Line far;
  far.Add(30, 30);
  far.Add(31, 30);
  CntrsPieces p;
  EXPECT_EQ(CntrsAddLine(far.lon, far.lat, v, &p), 0u);
  EXPECT_EQ(p.lines(), 0u);
  EXPECT_TRUE(p.xy.empty());
  // A segment with both ends outside that passes through: one piece from border to border.
  Line through;
  through.Add(-10, 0);
  through.Add(10, 0);
  EXPECT_EQ(CntrsAddLine(through.lon, through.lat, v, &p), 1u);
  ASSERT_EQ(p.size(0), 2u);
  EXPECT_FLOAT_EQ(p.line(0)[0], 0.0f);
  EXPECT_FLOAT_EQ(p.line(0)[2], 100.0f);
  EXPECT_NEAR(p.line(0)[1], 50.0f, 1e-4);
}

TEST(CntrsAddPointsTest, PointsStrictlyInsideBecomeTriangles) {
  const CntrsView v{1806, 1806, 100, 100};
  Line pts;
  pts.Add(0, 0);     // inside at (50, 50)
  pts.Add(40, 40);   // outside the view
  pts.Add(120, 0);   // behind the Earth
  CntrsPieces p;
  EXPECT_EQ(CntrsAddPoints(pts.lon, pts.lat, v, &p), 1u);
  ASSERT_EQ(p.lines(), 1u);
  ASSERT_EQ(p.size(0), 4u);
  const float* t = p.line(0);
  const float expect[8] = {50.0f, 50.0f, float(50.0 - 0.29), 50.5f, float(double(float(50.0 - 0.29)) + 0.58),
                           50.5f, 50.0f, 50.0f};
  for (int i = 0; i < 8; i++) EXPECT_FLOAT_EQ(t[i], expect[i]) << i;
  // A point exactly on the view's corner is not strictly inside.
  const CntrsView corner{1856, 1856, 10, 10};
  Line centre;
  centre.Add(0, 0);
  CntrsPieces q;
  EXPECT_EQ(CntrsAddPoints(centre.lon, centre.lat, corner, &q), 0u);
}

}  // namespace

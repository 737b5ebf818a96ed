// The JPEG-LS HDF5 filter: round trips, bit-exact decoding of streams CharLS makes on its own,
// the filter parameters as stored in a file, and refusals of streams that do not fit them.
#include <charls/charls.h>
#include <gtest/gtest.h>
#include <hdf5.h>
#include <netcdf.h>
#include <netcdf_filter.h>

#include <cstring>
#include <random>

#include "data/fci_jls.h"
#include "tests/data/test_fci_util.h"
#include "tests/support/tempdir.h"

namespace {

// Deterministic samples: a gradient with noise, some at max (the fill value of the counts).
std::vector<uint8_t> Samples(int bytes, int lines, int samples, unsigned max) {
  std::mt19937 rng(7);
  std::vector<uint8_t> out(size_t(bytes) * lines * samples);
  for (int y = 0; y < lines; y++)
    for (int x = 0; x < samples; x++) {
      unsigned v = (x * 5 + y * 3 + rng() % 17) % (max + 1);
      if ((x + y) % 97 == 0) v = max;
      const size_t i = size_t(y) * samples + x;
      if (bytes == 1) out[i] = uint8_t(v);
      else {
        const uint16_t s = uint16_t(v);
        std::memcpy(&out[2 * i], &s, 2);
      }
    }
  return out;
}

// The 13 filter parameters of a single-component chunk, the coding parameters left at 0.
std::vector<unsigned> Params(int bytes, int lines, int samples, int bits) {
  return {unsigned(bytes), 1, unsigned(lines), unsigned(samples), unsigned(bits), 1, 0, 0, 0, 0, 0, 0, 0};
}

struct Shape {
  int bytes, bits, lines, samples;
  unsigned max;
};

class FciJlsRoundTrip : public ::testing::TestWithParam<Shape> {};

TEST_P(FciJlsRoundTrip, EncodeThenDecodeGivesTheSamplesBack) {
  const Shape s = GetParam();
  const auto src = Samples(s.bytes, s.lines, s.samples, s.max);
  const auto p = Params(s.bytes, s.lines, s.samples, s.bits);
  std::vector<uint8_t> coded, back;
  ASSERT_TRUE(FciJlsEncode(src.data(), src.size(), p.data(), p.size(), &coded));
  EXPECT_LT(coded.size(), src.size());
  ASSERT_TRUE(FciJlsDecode(coded.data(), coded.size(), p.data(), p.size(), &back));
  EXPECT_EQ(back, src);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FciJlsRoundTrip,
                         ::testing::Values(Shape{2, 16, 139, 5568, 65535}, Shape{2, 16, 40, 300, 4095},
                                           Shape{2, 13, 17, 33, 8191}, Shape{1, 8, 139, 557, 255}));

TEST(FciJls, RefusesStreamsThatDoNotFitTheParameters) {
  const int lines = 20, samples = 64;
  const auto src = Samples(2, lines, samples, 4095);
  const auto p = Params(2, lines, samples, 16);
  std::vector<uint8_t> coded, out;
  ASSERT_TRUE(FciJlsEncode(src.data(), src.size(), p.data(), p.size(), &coded));
  const auto other_lines = Params(2, lines + 1, samples, 16);
  const auto one_byte = Params(1, lines, samples, 8);
  EXPECT_FALSE(FciJlsDecode(coded.data(), coded.size(), other_lines.data(), other_lines.size(), &out));
  EXPECT_FALSE(FciJlsDecode(coded.data(), coded.size(), one_byte.data(), one_byte.size(), &out));
  EXPECT_FALSE(FciJlsDecode(coded.data(), coded.size(), p.data(), 9, &out));  // the user's nine only
  EXPECT_FALSE(FciJlsDecode(coded.data(), coded.size() / 2, p.data(), p.size(), &out));
  auto cut = std::vector<uint8_t>(coded.begin(), coded.begin() + coded.size() / 2);
  cut.push_back(0xFF), cut.push_back(0xD9);  // an end marker where the data stops
  EXPECT_FALSE(FciJlsDecode(cut.data(), cut.size(), p.data(), p.size(), &out));
  EXPECT_FALSE(FciJlsDecode(src.data(), src.size(), p.data(), p.size(), &out));  // not JPEG-LS
  EXPECT_FALSE(FciJlsDecode(coded.data(), 0, p.data(), p.size(), &out));
  auto huge = p;
  huge[2] = huge[3] = 65535;
  huge[1] = 4;
  EXPECT_FALSE(FciJlsDecode(coded.data(), coded.size(), huge.data(), huge.size(), &out));
  EXPECT_FALSE(FciJlsEncode(src.data(), src.size() - 1, p.data(), p.size(), &coded));
}

// A chunk file written through the filter stores FCIDECOMP's 13 parameters, and a chunk whose
// bytes are a stream CharLS made directly (written past the filter) reads back bit for bit.
TEST(FciJls, ChunkFileHoldsFcidecompParametersAndReadsForeignStreams) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  const std::string path = fcitest::WriteChunk(dir.path(), 20, {ir}, true);
  int first, last;
  FciChunkRows(FCI_GRID_2KM, 20, &first, &last);
  const int lines = last - first + 1;
  {
    int nc, grp, var;
    ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &nc), NC_NOERR);
    ASSERT_EQ(nc_inq_grp_full_ncid(nc, "/data/ir_105/measured", &grp), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(grp, "effective_radiance", &var), NC_NOERR);
    size_t n = 0;
    unsigned p[FCI_JLS_PARAMS] = {};
    ASSERT_EQ(nc_inq_var_filter_info(grp, var, FCI_JLS_FILTER, &n, nullptr), NC_NOERR);
    ASSERT_EQ(n, size_t(FCI_JLS_PARAMS));
    ASSERT_EQ(nc_inq_var_filter_info(grp, var, FCI_JLS_FILTER, &n, p), NC_NOERR);
    EXPECT_EQ(std::vector<unsigned>(p, p + n), Params(2, lines, FCI_GRID_2KM, 16));
    nc_close(nc);
  }
  // Replace the stored chunk by CharLS's own stream of other counts.
  std::vector<uint16_t> counts(size_t(lines) * FCI_GRID_2KM);
  for (int r = 0; r < lines; r++)
    for (int c = 0; c < FCI_GRID_2KM; c++) counts[size_t(r) * FCI_GRID_2KM + c] = uint16_t((r * 11 + c) % 4096);
  const auto stream = charls::jpegls_encoder::encode(
      counts, charls::frame_info{uint32_t(FCI_GRID_2KM), uint32_t(lines), 16, 1});
  {
    const hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    ASSERT_GE(f, 0);
    const hid_t d = H5Dopen2(f, "/data/ir_105/measured/effective_radiance", H5P_DEFAULT);
    ASSERT_GE(d, 0);
    const hsize_t offset[2] = {0, 0};
    EXPECT_GE(H5Dwrite_chunk(d, H5P_DEFAULT, 0, offset, stream.size(), stream.data()), 0);
    H5Dclose(d);
    H5Fclose(f);
  }
  cv::Mat got(lines, 100, CV_16UC1, cv::Scalar(0));
  FciChunkMeta meta;
  std::string err;
  ASSERT_TRUE(FciReadRows(path.c_str(), ir, first, last, 2000, 100, &got, &meta, &err)) << err;
  EXPECT_TRUE(meta.compressed);
  for (int r = 0; r < lines; r++)
    for (int c = 0; c < 100; c++)
      ASSERT_EQ(got.at<uint16_t>(lines - 1 - r, c), counts[size_t(r) * FCI_GRID_2KM + 2000 + c]) << r << "," << c;
}

}  // namespace

// Golden images of what the user sees: a grey display image and two composites of a generated
// cycle (seed 1), compared with tests/golden/*.png. Tolerance: every byte within 2 of the
// golden and at most 0.5 % of the pixels different at all; on failure the difference (scaled
// by 32) is written as NAME-diff.png into the build folder. After a deliberate change of the
// generator's scene, rerun with NUBICORN_UPDATE_GOLDEN=1 and look at the new PNGs.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <string>

#include "data/atmrad.h"
#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/recipes.h"
#include "tests/support/tempdir.h"
#include "tools/synth.h"

namespace {

const char* const SLOT = "201607041200";

class Golden : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestTempDir();
    SynthOptions o;
    o.out = dir_->path();
    o.slot = SLOT;
    o.seed = 1;
    std::string err;
    ok_ = SynthCycle(o, &err);
    if (!ok_) std::fprintf(stderr, "synth: %s\n", err.c_str());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Path(int id) {
    char name[128];
    std::snprintf(name, sizeof name, id == HRV_ID ? INFO_NAME_FMT_HRV : INFO_NAME_FMT,
                  InfoChannelText[id], SLOT);
    return dir_->file(name);
  }
  static cv::Mat Counts(int id, const int32_t window[4]) {
    int32_t w[4] = {window[0], window[1], window[2], window[3]};
    int32_t east = 0;
    auto images = LayerLoadChannel(Path(id).c_str(), id, w, &east);
    return images ? (*images)[0] : cv::Mat();
  }

  // Compares an RGB image with its golden PNG (stored as PNG, so B, G, R on disk).
  static void Compare(const cv::Mat& rgb, const std::string& name) {
    ASSERT_FALSE(rgb.empty());
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    const std::string golden = std::string(NUBICORN_SOURCE_DIR) + "/tests/golden/" + name + ".png";
    if (std::getenv("NUBICORN_UPDATE_GOLDEN")) {
      ASSERT_TRUE(cv::imwrite(golden, bgr));
      GTEST_SKIP() << "wrote " << golden;
    }
    cv::Mat want = cv::imread(golden, cv::IMREAD_COLOR);
    ASSERT_FALSE(want.empty()) << golden;
    ASSERT_EQ(want.size(), bgr.size());
    cv::Mat diff;
    cv::absdiff(bgr, want, diff);
    double mx = 0;
    cv::minMaxLoc(diff.reshape(1), nullptr, &mx);
    cv::Mat any;
    cv::cvtColor(diff, any, cv::COLOR_BGR2GRAY);
    const int changed = cv::countNonZero(any);
    if (mx > 2 || changed > int(any.total() / 200)) {
      cv::Mat scaled;
      diff.convertTo(scaled, CV_8UC3, 32);
      const std::string out = std::string(NUBICORN_BINARY_DIR) + "/" + name + "-diff.png";
      cv::imwrite(out, scaled);
      ADD_FAILURE() << name << ": largest difference " << mx << ", " << changed
                    << " pixels differ; see " << out;
    }
  }

  static TestTempDir* dir_;
  static bool ok_;
};
TestTempDir* Golden::dir_ = nullptr;
bool Golden::ok_ = false;

const int32_t DEFAULT_WINDOW[4] = {2710, 464, 92, 60};
const int32_t WIDE_WINDOW[4] = {1500, 250, 240, 160};

TEST_F(Golden, Ir108DisplayImage) {
  ASSERT_TRUE(ok_);
  int32_t w[4] = {WIDE_WINDOW[0], WIDE_WINDOW[1], WIDE_WINDOW[2], WIDE_WINDOW[3]};
  auto images = LayerLoadChannel(Path(9).c_str(), 9, w, nullptr);
  ASSERT_TRUE(images.has_value());
  Compare((*images)[1], "ir108-display");
}

TEST_F(Golden, AirMassComposite) {
  ASSERT_TRUE(ok_);
  cv::Mat images[CHANNEL_COUNT + 1];
  for (int id : {7, 9, 10}) images[id] = Counts(id, WIDE_WINDOW);
  RgbRecipe air = AtmradDefaultRecipes()[0];
  Compare(AtmradComposite(images, air.params, air.channels), "mphys-air");
}

TEST_F(Golden, HrvMicrophysicsComposite) {
  ASSERT_TRUE(ok_);
  cv::Mat images[CHANNEL_COUNT + 1];
  for (int id : {4, 9, 12}) images[id] = Counts(id, DEFAULT_WINDOW);
  RgbRecipe r = AtmradDefaultRecipes()[5];
  cv::Mat out = AtmradComposite(images, r.params, r.channels);
  ASSERT_EQ(out.size(), cv::Size(276, 180));
  Compare(out, "hrv-mphys");
}

}  // namespace

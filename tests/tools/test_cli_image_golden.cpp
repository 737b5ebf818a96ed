// Golden images of what the user sees: a grey display image and composites of the generated
// cycle of seed 1, compared with tests/golden/*.png. Tolerance: every byte within 2 of the
// golden and at most 0.5 % of the pixels different at all; on failure the difference (scaled
// by 32) is written as NAME-diff.png into the build folder. After a deliberate change of the
// generator's scene, rerun with NUBICORN_UPDATE_GOLDEN=1 and look at the new PNGs.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "data/atmrad.h"
#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/recipes.h"
#include "tests/support/golden.h"
#include "tests/tools/test_synth_support.h"

namespace {

struct Picture {
  const char* name;
  const char* recipe;  // a default recipe, or null for the IR 10.8 display image
  int32_t window[4];
};

// Europe and the Mediterranean; the default window over central Europe.
const Picture PICTURES[] = {
    {"ir108-display", nullptr, {1500, 250, 240, 160}},
    {"mphys-air", "MPhys(Air)", {1500, 250, 240, 160}},
    {"natural", "Natural", {1500, 250, 240, 160}},
    {"hrv-mphys", "HRV MPhys", {2710, 464, 92, 60}},
};

class Golden : public ::testing::TestWithParam<Picture> {};

// The channel's images (counts, display, ...) of the window.
auto Load(int id, const int32_t window[4]) {
  int32_t w[4] = {window[0], window[1], window[2], window[3]};
  const std::string dir = synthtest::Strip();
  return LayerLoadChannel((dir + "/" + testcycles::Name(id, synthtest::SLOT)).c_str(), id, w, nullptr);
}

TEST_P(Golden, MatchesItsPicture) {
  const Picture& p = GetParam();
  cv::Mat rgb;
  if (!p.recipe) {
    auto images = Load(9, p.window);
    ASSERT_TRUE(images.has_value());
    rgb = (*images)[1];
  }
  for (const RgbRecipe& r : p.recipe ? AtmradDefaultRecipes() : std::vector<RgbRecipe>{}) {
    if (r.name != p.recipe) continue;
    cv::Mat images[CHANNEL_COUNT + 1];
    for (int id : r.channels)
      if (id > 0 && images[id].empty()) images[id] = (*Load(id, p.window))[0];
    rgb = AtmradComposite(images, r.params, r.channels);
    ASSERT_EQ(rgb.size(), cv::Size(3 * p.window[2], 3 * p.window[3]));
  }
  ASSERT_FALSE(rgb.empty());
  cv::Mat bgr;  // PNG stores B, G, R
  cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
  ExpectGolden(bgr, p.name, 2);
}

INSTANTIATE_TEST_SUITE_P(Pictures, Golden, ::testing::ValuesIn(PICTURES),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace

// A recipe with a value out of range is refused alike by the window's settings and by
// nubicorn-cli composite --settings: both read recipes with one reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/conf.h"
#include "tests/support/cli.h"
#include "tests/support/logcapture.h"
#include "tests/ui/uitest.h"

namespace {

struct BadRecipe {
  const char* name;
  const char* channels;
  const char* params;
  const char* key;  // the key the warning names
};

class RecipeRead : public ::testing::TestWithParam<BadRecipe> {};

TEST_P(RecipeRead, RefusedByTheSettingsAndTheCli) {
  const BadRecipe& b = GetParam();
  uitest::TempHome home;
  home.WriteIni(std::string("[Rgb composite]\n") +
                "rgb-name-00=Mine\nrgb-channels-00=1;0;2;0;3;0\nrgb-params-00=0;255;1;0;255;1;0;255;1\n" +
                "rgb-name-01=Bad\nrgb-channels-01=" + b.channels + "\nrgb-params-01=" + b.params + "\n" +
                "rgb-name-02=After\nrgb-channels-02=1;0;2;0;3;0\nrgb-params-02=0;255;1;0;255;1;0;255;1\n");
  {
    LogCapture log;
    Conf conf;
    ConfRead(&conf, home.path());
    std::vector<std::string> names;
    for (const RgbRecipe& r : conf.recipes) names.push_back(r.name);
    EXPECT_EQ(names, std::vector<std::string>{"Mine"});
    EXPECT_TRUE(log.contains(b.key)) << b.key;
    ConfFree(&conf);
  }
  // The tool lists what it has before it looks at the data.
  const CliRun r = SpawnRun({NUBICORN_CLI, "composite", "--data", home / "none", "--slot", "201607041200", "--recipe",
                             "Bad", "--rect", "0,0,10,10", "-o", home / "x.png", "--settings", home.ini()});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("no recipe 'Bad'; there are:\n  0 Mine\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("  1 "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(b.key), std::string::npos) << r.err;
  EXPECT_FALSE(uitest::Exists(home / "x.png"));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RecipeRead,
    ::testing::Values(BadRecipe{"ChannelAbove12", "1;0;13;0;3;0", "0;255;1;0;255;1;0;255;1", "rgb-channels-01"},
                      BadRecipe{"NegativeChannel", "1;-1;2;0;3;0", "0;255;1;0;255;1;0;255;1", "rgb-channels-01"},
                      BadRecipe{"NotANumber", "1;0;2;0;3;0", "0;255;1;0;nan;1;0;255;1", "rgb-params-01"},
                      BadRecipe{"Infinite", "1;0;2;0;3;0", "0;255;1;0;255;1;0;255;-inf", "rgb-params-01"}),
    [](const ::testing::TestParamInfo<BadRecipe>& i) { return std::string(i.param.name); });

}  // namespace

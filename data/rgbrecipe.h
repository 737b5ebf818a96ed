// One RGB composite recipe.
#pragma once

#include <cstdint>
#include <string>

struct RgbRecipe {
  // red, red subtracted, green, green subtracted, blue, blue subtracted (channel ids, 0 none)
  int32_t channels[6] = {};
  // per colour in turn: low threshold, high threshold, gamma
  double params[9] = {};
  std::string name;
};

#include "data/recipes.h"

namespace {

struct Preset {
  const char* name;
  int channels[6];
  double params[9];
};

// Channel pairs are (channel, subtracted channel) for red, green, blue; params are
// (low threshold, high threshold, gamma) for each colour in turn.
constexpr Preset PRESETS[] = {
    {"MPhys(Air)", {10, 9, 9, 7, 9, 0}, {-4, 2, 1, -4, 5, 1, 243, 303, 1}},
    {"MPhys(Night)", {5, 6, 8, 9, 5, 0}, {-25, 0, 1, -40, 5, 1, 243, 208, 1}},
    {"MPhys(Day)", {2, 0, 4, 0, 9, 0}, {0, 10000, 1, 0, 6000, 1.5, 243, 303, 1}},
    {"Natural", {3, 0, 2, 0, 1, 0}, {0, 10000, 1, 0, 10000, 1, 0, 10000, 1}},
    {"Cloud top HRV", {12, 0, 12, 0, 9, 0}, {0, 10000, 1, 0, 10000, 1, 0, 10000, 1}},
    {"HRV MPhys", {12, 0, 12, 0, 9, 4}, {7000, 10000, 1, 7000, 10000, 1, -70, -40, 2}},
    {"True color HRV", {3, 0, 2, 0, 12, 0}, {0, 10000, 1, 0, 10000, 1, 0, 10000, 1}},
};

}  // namespace

std::vector<RgbRecipe> AtmradDefaultRecipes() {
  std::vector<RgbRecipe> out;
  for (const Preset& p : PRESETS) {
    RgbRecipe r;
    for (int i = 0; i < 6; i++) r.channels[i] = p.channels[i];
    for (int i = 0; i < 9; i++) r.params[i] = p.params[i];
    r.name = p.name;
    out.push_back(std::move(r));
  }
  return out;
}

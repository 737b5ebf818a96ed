// The seven default RGB composite recipes.
#pragma once

#include <vector>

#include "data/rgbrecipe.h"

// The presets in their order (ids 13 to 19), each with its own copy of the name.
std::vector<RgbRecipe> AtmradDefaultRecipes();

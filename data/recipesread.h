// Reading the composite recipes of a settings file, for the window and for nubicorn-cli alike.
#pragma once

#include <glib.h>

#include <vector>

#include "data/rgbrecipe.h"

// The recipes of group (rgb-name-NN, rgb-channels-NN with 6 channel ids 0..12, rgb-params-NN
// with 9 finite numbers), from 00 up to the first one that is missing, incomplete or holds a
// value out of range; a value out of range is logged with its key. Empty when 00 is not
// usable: the caller then takes the presets.
std::vector<RgbRecipe> RecipesRead(GKeyFile* kf, const char* group);

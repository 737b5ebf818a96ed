#include "data/recipesread.h"

#include <algorithm>
#include <cmath>

#include "data/fileinfo.h"
#include "data/gholder.h"

std::vector<RgbRecipe> RecipesRead(GKeyFile* kf, const char* group) {
  std::vector<RgbRecipe> out;
  for (int n = 0; n < RECIPE_MAX; n++) {
    char kn[32], kc[32], kp[32];
    g_snprintf(kn, sizeof kn, "rgb-name-%02d", n);
    g_snprintf(kc, sizeof kc, "rgb-channels-%02d", n);
    g_snprintf(kp, sizeof kp, "rgb-params-%02d", n);
    GStr name(g_key_file_get_string(kf, group, kn, nullptr));
    gsize nc = 0, np = 0;
    GHolder<gint, g_free> channels(g_key_file_get_integer_list(kf, group, kc, &nc, nullptr));
    GHolder<gdouble, g_free> params(g_key_file_get_double_list(kf, group, kp, &np, nullptr));
    if (!name || !channels || !params || nc != 6 || np != 9) break;
    // Channel numbers index the channel images and the slot entries: a value outside 0..12
    // makes the recipe unusable, exactly like an incomplete one.
    if (!std::all_of(channels.get(), channels.get() + 6, [](gint c) { return c >= 0 && c <= CHANNEL_COUNT; })) {
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: a channel is not 0 to %d; recipes from %02d on are not used", kc,
            CHANNEL_COUNT, n);
      break;
    }
    if (!std::all_of(params.get(), params.get() + 9, [](gdouble p) { return std::isfinite(p); })) {
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: a value is not a finite number; recipes from %02d on are not used", kp,
            n);
      break;
    }
    RgbRecipe r;
    std::copy_n(channels.get(), 6, r.channels);
    std::copy_n(params.get(), 9, r.params);
    r.name = name.get();
    out.push_back(std::move(r));
  }
  return out;
}

// nubicorn-cli composite: one RGB composite of a slot for a window, from the default recipes
// or those of a settings file.
#include <glib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "data/atmrad.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "data/layer.h"
#include "data/recipes.h"
#include "data/recipesread.h"
#include "data/supl.h"
#include "tools/cli/cli_image.h"
#include "tools/png.h"
#include "tools/geotiff/geotiff.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: nubicorn-cli composite --data DIR --slot YYYYMMDDhhmm --recipe NAME|INDEX "
               "--rect X,Y,W,H -o|--out OUT.png [--geotiff OUT.tif] [--settings nubicorn.ini]\n");
  return 2;
}

// The recipes of a settings file, read as the window reads them; the presets when it holds
// none. False (with the reason on stderr) when it cannot be read.
bool ReadRecipes(const char* path, std::vector<RgbRecipe>* out) {
  GHolder<GKeyFile, g_key_file_free> kf(g_key_file_new());
  GError* err = nullptr;
  if (!g_key_file_load_from_file(kf.get(), path, G_KEY_FILE_NONE, &err)) {
    std::fprintf(stderr, "nubicorn-cli composite: %s error: %s\n", path, err->message);
    g_error_free(err);
    return false;
  }
  *out = RecipesRead(kf.get(), "Rgb composite");
  if (out->empty()) *out = AtmradDefaultRecipes();
  return true;
}

}  // namespace

int CliComposite(int argc, char** argv) {
  const char *data = nullptr, *slot = nullptr, *out = nullptr, *recipe = nullptr,
             *settings = nullptr, *geotiff = nullptr;
  int32_t rect[4];
  bool have_rect = false;
  for (int i = 1; i < argc; i += 2) {  // every option takes a value
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) return Usage();
    if (!std::strcmp(a, "--data")) data = v;
    else if (!std::strcmp(a, "--slot")) slot = v;
    else if (!std::strcmp(a, "--recipe")) recipe = v;
    else if (!std::strcmp(a, "--rect")) have_rect = CliParseRect(v, rect);
    else if (!std::strcmp(a, "-o") || !std::strcmp(a, "--out")) out = v;
    else if (!std::strcmp(a, "--settings")) settings = v;
    else if (!std::strcmp(a, "--geotiff")) geotiff = v;
    else return Usage();
  }
  SlotTime t;
  if (!data || !slot || !SuplParseDate(slot, &t) || !recipe || !have_rect || !out)
    return Usage();
  std::vector<RgbRecipe> recipes = AtmradDefaultRecipes();
  if (settings && !ReadRecipes(settings, &recipes)) return 1;
  const RgbRecipe* r = nullptr;
  int index;
  if (CliParseInt(recipe, &index)) {
    if (index >= 0 && size_t(index) < recipes.size()) r = &recipes[index];
  } else {
    for (const RgbRecipe& x : recipes)
      if (x.name == recipe) r = &x;
  }
  if (!r) {
    std::fprintf(stderr, "nubicorn-cli composite: no recipe '%s'; there are:\n", recipe);
    for (size_t i = 0; i < recipes.size(); i++)
      std::fprintf(stderr, "  %zu %s\n", i, recipes[i].name.c_str());
    return 2;
  }
  // The channels of the recipe, the 3712-grid ones first: their load may shrink the window
  // that HRV then uses too, as in the program.
  cv::Mat images[CHANNEL_COUNT + 1];
  int32_t east = 0;
  LayerHrvMaps maps;
  std::string first_path;  // a channel of the composite, for the longitude of the data
  for (int pass = 0; pass < 2; pass++)
    for (int ch : r->channels) {
      if (ch < 1 || ch > CHANNEL_COUNT || (ch == HRV_ID) != (pass == 1) || !images[ch].empty())
        continue;
      const std::string path = CliSegmentPath(data, slot, ch);
      auto loaded = LayerLoadChannel(path.c_str(), ch, rect, &east, &maps);
      if (!loaded) {
        std::fprintf(stderr, "nubicorn-cli composite: Input data error (%s)\n", path.c_str());
        return 1;
      }
      images[ch] = (*loaded)[0];
      if (first_path.empty()) first_path = path;
    }
  cv::Mat rgb = AtmradComposite(images, r->params, r->channels);
  if (rgb.empty()) {
    std::fprintf(stderr, "nubicorn-cli composite: Operation failed\n");
    return 1;
  }
  std::string err;
  if (!PngWriteRgb(out, rgb, &err)) {
    std::fprintf(stderr, "nubicorn-cli composite: %s\n", err.c_str());
    return 1;
  }
  if (geotiff && !GeotiffSave(geotiff, rgb, GeotiffMsgGeo(rect, rgb.cols, rgb.rows, GeotiffSegmentLongitude(first_path)),
                              r->name + " " + slot, &err)) {
    std::fprintf(stderr, "nubicorn-cli composite: %s\n", err.c_str());
    return 1;
  }
  std::printf("%s: %dx%d, window %d,%d %dx%d\n", r->name.c_str(), rgb.cols, rgb.rows, rect[0],
              rect[1], rect[2], rect[3]);
  return 0;
}

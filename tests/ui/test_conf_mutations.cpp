// Hand-edited and damaged settings files: whatever the file holds, the record keeps the ranges
// that the rest of the program relies on, and a save afterwards gives a loadable file.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "canvas/canv.h"
#include "settings/conf.h"
#include "settings/confrules.h"
#include "tests/support/logcapture.h"
#include "tests/ui/uitest.h"

namespace {

// One damaged variant of text; the generator is seeded, so the variants are the same each run.
std::string Mutate(const std::string& text, std::mt19937& rng) {
  static const char* const values[] = {"-1", "0", "13", "200", "99999999999", "-2147483648", "2147483647",
                                       "nan", "inf", "1e308", "", ";", ";;;;;;;;;;", "\xff\xfe", "x;y;z", "0x10"};
  std::string s = text;
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  switch (rng() % 6) {
    case 0:  // flip bytes
      for (int i = 0; i < 4 && !s.empty(); i++) s[pick(s.size())] = char(rng() & 0xff);
      break;
    case 1:  // truncate
      s.resize(pick(s.size() + 1));
      break;
    case 2: {  // replace one value
      size_t eq = s.find('=', pick(s.size()));
      if (eq == std::string::npos) break;
      size_t end = s.find('\n', eq);
      s.replace(eq + 1, (end == std::string::npos ? s.size() : end) - eq - 1, values[pick(std::size(values))]);
      break;
    }
    case 3: {  // delete a line
      size_t start = s.rfind('\n', pick(s.size()));
      start = start == std::string::npos ? 0 : start + 1;
      size_t end = s.find('\n', start);
      s.erase(start, end == std::string::npos ? std::string::npos : end - start + 1);
      break;
    }
    case 4: {  // drop one list element
      size_t semi = s.find(';', pick(s.size()));
      if (semi != std::string::npos) s.erase(semi, 1);
      break;
    }
    default:  // duplicate a stretch
      if (!s.empty()) {
        size_t at = pick(s.size());
        s.insert(at, s.substr(at, pick(200)));
      }
  }
  return s;
}

void ExpectUsable(const Conf& c, gboolean ok, const std::string& variant) {
  SCOPED_TRACE(::testing::Message() << "variant:\n" << variant);
  if (!ok) {
    EXPECT_EQ(c.rect_width, 10);
    EXPECT_EQ(c.rect_height, 10);
    EXPECT_TRUE(c.recipes.empty());
    return;
  }
  EXPECT_TRUE(ConfRectValid(c.rect_x, c.rect_y, c.rect_width, c.rect_height));
  EXPECT_NE(c.hrv_east, 0);
  EXPECT_LE(c.charset, 2u);
  EXPECT_TRUE(ConfFieldValid(c.field_name.c_str()));
  EXPECT_FALSE(c.canvas_font.empty());
  EXPECT_TRUE(ConfSingleByte(c.canvas_font.c_str()));
  EXPECT_GT(c.selected_range, 0);
  EXPECT_GT(c.zoom, 0);
  const int index = CanvZoomIndex(c.zoom);
  EXPECT_GE(index, 0);
  EXPECT_LT(index, CANV_ZOOM_COUNT);
  for (guint16 comp : {c.selected_color.red, c.selected_color.green, c.selected_color.blue}) {
    EXPECT_EQ(comp % 256, 0);
    EXPECT_LE(comp, 255 * 256);
  }
  ASSERT_GE(c.recipes.size(), 1u);
  EXPECT_LE(c.recipes.size(), 99u);
  for (const RgbRecipe& r : c.recipes) {
    for (int ch : r.channels) {
      EXPECT_GE(ch, 0);
      EXPECT_LE(ch, 12);
    }
    for (double p : r.params) EXPECT_TRUE(std::isfinite(p));
  }
}

TEST(ConfDamaged, EveryVariantGivesUsableSettingsAndASaveThatLoads) {
  const std::string base =
      uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini") + "[Own group]\nmine=kept\n";
  std::mt19937 rng(20160704);
  LogCapture quiet;  // the warnings of unreadable variants are expected
  for (int n = 0; n < 150; n++) {
    std::string text = base;
    for (int k = 0, m = 1 + int(rng() % 3); k < m; k++) text = Mutate(text, rng);
    uitest::TempHome home;
    home.WriteIni(text);
    Conf conf;
    gboolean ok = ConfRead(&conf, home.path());
    ExpectUsable(conf, ok, text);
    const bool own = g_key_file_has_key(conf.key_file.get(), "Own group", "mine", nullptr);
    ASSERT_TRUE(ConfWrite(0));
    KeyFilePtr saved(g_key_file_new());
    EXPECT_TRUE(g_key_file_load_from_file(saved.get(), conf.ini_path.c_str(), G_KEY_FILE_NONE, nullptr));
    if (own) {
      EXPECT_TRUE(g_key_file_has_key(saved.get(), "Own group", "mine", nullptr)) << text;
    }
    ConfFree(&conf);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace

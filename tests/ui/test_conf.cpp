// The settings file: read rules, write rules, presets, numbered keys, fallback and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "canvas/canv.h"
#include "canvas/canvmonitor.h"
#include "data/satellite.h"
#include "contours/cntrs.h"
#include "dialogs/dlgrect.h"
#include "settings/conf.h"
#include "settings/confrules.h"
#include "tests/support/logcapture.h"
#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

// A Conf that is read from a temp home and freed at the end.
struct ConfRun {
  Conf conf;
  gboolean ok = FALSE;
  explicit ConfRun(const TempHome& home) { ok = ConfRead(&conf, home.path()); }
  ~ConfRun() { ConfFree(&conf); }
};

// The settings file as written, loaded into a separate key file.
struct Stored {
  GKeyFile* kf = g_key_file_new();
  explicit Stored(const std::string& path) { loaded = g_key_file_load_from_file(kf, path.c_str(), G_KEY_FILE_NONE, nullptr); }
  ~Stored() { g_key_file_free(kf); }
  bool loaded = false;
  bool Has(const char* group, const char* key) const { return g_key_file_has_key(kf, group, key, nullptr); }
  int Int(const char* key, const char* group = CONF_GROUP_INTERFACE) const {
    return g_key_file_get_integer(kf, group, key, nullptr);
  }
  std::string Str(const char* key, const char* group = CONF_GROUP_INTERFACE) const {
    gchar* s = g_key_file_get_string(kf, group, key, nullptr);
    std::string out = s ? s : "<none>";
    g_free(s);
    return out;
  }
  std::vector<std::string> List(const char* group, const char* key) const {
    gsize n = 0;
    gchar** l = g_key_file_get_string_list(kf, group, key, &n, nullptr);
    std::vector<std::string> out(l, l + n);
    g_strfreev(l);
    return out;
  }
  // The group as text, to compare a group before and after a save.
  std::string Group(const char* group) const {
    std::string out;
    gsize n = 0;
    gchar** keys = g_key_file_get_keys(kf, group, &n, nullptr);
    for (gsize i = 0; i < n; i++) out += std::string(keys[i]) + "=" + Str(keys[i], group) + "\n";
    g_strfreev(keys);
    return out;
  }
};

std::string Interface(const std::string& body) { return "[Interface]\n" + body; }

// One recipe's three numbered keys.
std::string Recipe(int n, const std::string& name, const std::string& channels, const std::string& params) {
  char nn[8];
  g_snprintf(nn, sizeof nn, "%02d", n);
  return "rgb-name-" + std::string(nn) + "=" + name + "\nrgb-channels-" + nn + "=" + channels + "\nrgb-params-" + nn +
         "=" + params + "\n";
}
const char* const SIX = "1;2;3;4;5;6";
const char* const NINE = "0;1;2;3;4;5;6;7;8";

TEST(ConfNames, NumberedKeysHaveTwoDigits) {
  EXPECT_EQ(ConfNumberedKey("image-file", 0), "image-file-00");
  EXPECT_EQ(ConfNumberedKey("rgb-name", 7), "rgb-name-07");
  EXPECT_EQ(ConfNumberedKey("rgb-name", 98), "rgb-name-98");
}

TEST(ConfRead, EmptyFileGivesThePresetsWithoutAWarning) {
  TempHome home;
  home.WriteIni("");
  LogCapture log;
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(log.count(), 0u);
  EXPECT_EQ(r.conf.ini_path, home.ini());
  EXPECT_EQ(Conf_get, &r.conf);
  EXPECT_TRUE(r.conf.startup_images.empty());
  ASSERT_EQ(r.conf.recipes.size(), 7u);
  EXPECT_EQ(r.conf.recipes[5].params[6], -70);  // "HRV MPhys" as shipped
}

// The numeric read rules, one row per stored value: the key's text in "Interface", the value the
// record gets, and whether one warning naming the key is logged.
struct NumberCase {
  const char* key;
  const char* stored;  // NULL: the key is missing
  gint64 want;
  bool warned;
};
gint64 FieldOf(const Conf& c, const std::string& key) {
  if (key == "hrv-east") return c.hrv_east;
  if (key == "zoom") return c.zoom;
  if (key == "selected-range") return c.selected_range;
  if (key == "charset") return c.charset;
  if (key == "scroll-x") return c.scroll_x;
  if (key == "scroll-y") return c.scroll_y;
  if (key == "selected-color") return ConfColorEncode(c.selected_color);
  ADD_FAILURE() << key;
  return -1;
}
std::ostream& operator<<(std::ostream& o, const NumberCase& k) {
  return o << k.key << "=" << (k.stored ? k.stored : "<missing>");
}
class ConfNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ConfNumbers, ValueOrDefaultWithOneWarning) {
  const NumberCase& k = GetParam();
  TempHome home;
  home.WriteIni(Interface(k.stored ? std::string(k.key) + "=" + k.stored + "\n" : std::string()));
  LogCapture log;
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(FieldOf(r.conf, k.key), k.want);
  ASSERT_EQ(log.count(), k.warned ? 1u : 0u);
  if (k.warned) {
    EXPECT_TRUE(log.contains(std::string(k.key) + "=")) << log.messages()[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfNumbers,
    ::testing::Values(NumberCase{"hrv-east", nullptr, 1947, false}, NumberCase{"hrv-east", "5", 5, false},
                      NumberCase{"hrv-east", "11136", 11136, false}, NumberCase{"hrv-east", "0", 1947, true},
                      NumberCase{"hrv-east", "11137", 1947, true}, NumberCase{"hrv-east", "2147483647", 1947, true},
                      NumberCase{"hrv-east", "-2147483648", 1947, true}, NumberCase{"hrv-east", "x", 1947, true},
                      NumberCase{"zoom", nullptr, 10, false}, NumberCase{"zoom", "1", 1, false},
                      NumberCase{"zoom", "16", 16, false}, NumberCase{"zoom", "18", 18, false},
                      NumberCase{"zoom", "19", 10, true}, NumberCase{"zoom", "2147483647", 10, true},
                      NumberCase{"zoom", "-3", 10, true}, NumberCase{"zoom", "0", 10, true},
                      NumberCase{"zoom", "1.5", 10, true}, NumberCase{"zoom", "99999999999", 10, true},
                      NumberCase{"selected-range", nullptr, 10, false}, NumberCase{"selected-range", "180", 180, false},
                      NumberCase{"selected-range", "181", 10, true}, NumberCase{"selected-range", "0", 10, true},
                      NumberCase{"selected-range", ";;", 10, true}, NumberCase{"charset", "2", 2, false},
                      NumberCase{"charset", "3", 0, true}, NumberCase{"charset", "-1", 0, true},
                      NumberCase{"charset", "-2147483648", 0, true}, NumberCase{"scroll-x", nullptr, 0, false},
                      NumberCase{"scroll-x", "77", 77, false}, NumberCase{"scroll-x", "-40", 0, true},
                      NumberCase{"scroll-x", "2147483647", 0, true}, NumberCase{"scroll-y", "4194304", 4194304, false},
                      NumberCase{"scroll-y", "4194305", 0, true},
                      NumberCase{"selected-color", "255128000", 255128000, false},
                      NumberCase{"selected-color", "orange", 0, false}));

// The optional "Interface" keys, one row per stored value: the value the record gets (as text),
// how many warnings name the key (-1: not asked), and the key's text after a save of the page ("":
// no key; a default is not written back, so an old file stays as it was).
struct KeyCase {
  const char* key;
  const char* stored;  // NULL: the key is missing
  std::string value;
  int warnings;
  std::string written;
};
std::ostream& operator<<(std::ostream& o, const KeyCase& k) {
  return o << k.key << "=" << (k.stored ? k.stored : "<missing>");
}
std::string ValueOf(const Conf& c, const std::string& key) {
  if (key == "satellite") return SatText(c.satellite);
  if (key == "max-slots") return std::to_string(CanvMonitorMaxSlots(c));
  if (key == "video-format") return CONF_VIDEO_FORMATS[int(c.video_format)];
  if (key == "animation-step-ms") return std::to_string(c.anim_ms);
  if (key == "video-fps") return std::to_string(c.video_fps);
  if (key == "graticule") return c.graticule ? "on" : "off";
  if (key == "label-size-screen") return c.label_screen ? "on" : "off";
  ADD_FAILURE() << key;
  return {};
}
class ConfKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ConfKeys, ReadAndWrittenBack) {
  const KeyCase& k = GetParam();
  TempHome home;
  home.WriteIni(Interface(std::string("zoom=3\n") + (k.stored ? std::string(k.key) + "=" + k.stored + "\n" : "")));
  LogCapture log;
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(ValueOf(r.conf, k.key), k.value);
  if (k.warnings >= 0) {
    size_t n = 0;
    for (const std::string& m : log.messages()) n += m.find(k.key) != std::string::npos;
    EXPECT_EQ(n, size_t(k.warnings)) << ::testing::PrintToString(log.messages());
  }
  ASSERT_TRUE(ConfWrite(2));
  Stored s(home.ini());
  EXPECT_EQ(s.Has(CONF_GROUP_INTERFACE, k.key) ? s.Str(k.key) : "", k.written);
  EXPECT_EQ(s.Int("zoom"), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfKeys,
    ::testing::Values(
        KeyCase{"satellite", nullptr, "MSG3", 0, ""}, KeyCase{"satellite", "MSG3_RSS", "MSG3_RSS", 0, "MSG3_RSS"},
        KeyCase{"satellite", "MSG4", "MSG4", 0, "MSG4"}, KeyCase{"satellite", "Meteosat-11 please", "MSG3", 1, ""},
        KeyCase{"max-slots", nullptr, "96", -1, ""}, KeyCase{"max-slots", "5", "5", -1, "5"},
        KeyCase{"max-slots", "-3", "96", -1, ""}, KeyCase{"max-slots", "many", "96", -1, ""},
        KeyCase{"max-slots", "99999", "96", -1, ""},
        KeyCase{"video-format", nullptr, "avi", 0, ""}, KeyCase{"video-format", "avi", "avi", 0, ""},
        KeyCase{"video-format", "mp4", "mp4", 0, "mp4"}, KeyCase{"video-format", "MP4x", "avi", 1, ""},
        KeyCase{"video-format", "", "avi", 1, ""},
        KeyCase{"animation-step-ms", nullptr, "1000", -1, ""}, KeyCase{"animation-step-ms", "500", "500", -1, "500"},
        KeyCase{"animation-step-ms", "10000", "10000", -1, "10000"},
        KeyCase{"animation-step-ms", "50", "1000", -1, ""}, KeyCase{"animation-step-ms", "20000", "1000", -1, ""},
        KeyCase{"video-fps", nullptr, "2.000000", -1, ""}, KeyCase{"video-fps", "5", "5.000000", -1, "5"},
        KeyCase{"video-fps", "0.5", "0.500000", -1, "0.5"}, KeyCase{"video-fps", "12.5", "12.500000", -1, "12.5"},
        KeyCase{"video-fps", "abc", "2.000000", -1, ""}, KeyCase{"video-fps", "60", "2.000000", -1, ""},
        KeyCase{"graticule", nullptr, "off", -1, ""}, KeyCase{"graticule", "1", "on", -1, "1"},
        KeyCase{"graticule", "7", "off", -1, ""}, KeyCase{"label-size-screen", "1", "on", -1, "1"},
        KeyCase{"label-size-screen", "x", "off", -1, ""}));

// A service of rapid scan keeps a day of its slots when "max-slots" is not set.
TEST(ConfKeysRapidScan, ADayOfSlotsOfTheService) {
  TempHome home;
  home.WriteIni(Interface("satellite=MSG3_RSS\n"));
  ConfRun r(home);
  EXPECT_EQ(CanvMonitorMaxSlots(r.conf), 288);
}

// The largest accepted zoom is the last row of the zoom table, which the window indexes.
TEST(ConfNumbersBound, LargestZoomIsTheLastZoomRow) { EXPECT_EQ(CONF_ZOOM_MAX + 7, CANV_ZOOM_COUNT - 1); }

// The window rule, shared with the Interface page: taken anywhere on the 3712 x 3712 disk, else
// the default with one warning.
struct RectCase {
  const char *x, *y, *w, *h;
  bool taken;
};
std::ostream& operator<<(std::ostream& o, const RectCase& k) {
  return o << k.x << "," << k.y << " " << k.w << "x" << k.h;
}
class ConfRectRule : public ::testing::TestWithParam<RectCase> {};

TEST_P(ConfRectRule, TakenOnTheDiskElseDefaultWithOneWarning) {
  const RectCase& k = GetParam();
  TempHome home;
  home.WriteIni(Interface(std::string("rect-x=") + k.x + "\nrect-y=" + k.y + "\nrect-width=" + k.w +
                          "\nrect-height=" + k.h + "\n"));
  LogCapture log;
  ConfRun r(home);
  const ConfRect got{r.conf.rect_x, r.conf.rect_y, r.conf.rect_width, r.conf.rect_height};
  const ConfRect want = k.taken ? ConfRect{std::atoi(k.x), std::atoi(k.y), std::atoi(k.w), std::atoi(k.h)}
                                : ConfRect{2710, 464, 92, 60};
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
  ASSERT_EQ(log.count(), k.taken ? 0u : 1u);
  if (!k.taken) {
    EXPECT_TRUE(log.contains("rect-width")) << log.messages()[0];
  }
  // The Interface page refuses exactly what the reader refuses.
  if (std::string(k.x) != "abc") {
    const ConfRect stored{std::atoi(k.x), std::atoi(k.y), std::atoi(k.w), std::atoi(k.h)};
    EXPECT_EQ(DlgRectCheck(stored) == DlgRectFault::kNone, k.taken);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ConfRectRule,
                         ::testing::Values(RectCase{"2710", "464", "92", "60", true},
                                           RectCase{"3000", "0", "712", "10", true},   // right edge exactly 3712
                                           RectCase{"3000", "0", "713", "10", false},  // one past
                                           RectCase{"0", "918", "10", "10", true},     // bottom of the old strip
                                           RectCase{"0", "919", "10", "10", true},     // below it: the southern disk
                                           RectCase{"0", "3652", "10", "60", true},    // bottom edge exactly 3712
                                           RectCase{"0", "3653", "10", "60", false},   // one past
                                           RectCase{"0", "0", "0", "60", false},       // zero width
                                           RectCase{"0", "0", "60", "0", false},       // zero height
                                           RectCase{"100", "100", "-5", "20", false},  // negative width
                                           RectCase{"100", "100", "20", "-5", false},  // negative height
                                           RectCase{"-1", "0", "10", "10", false},
                                           RectCase{"0", "-1", "10", "10", false},
                                           RectCase{"2147483000", "0", "2000", "10", false},  // no overflow
                                           RectCase{"abc", "464", "92", "60", false}));      // no number

TEST(ConfColor, DecodeSplitsTruncatesAndClamps) {
  struct Case {
    gint64 code;
    int r, g, b;
  } cases[] = {
      {255128000, 255, 128, 0}, {0, 0, 0, 0},           {12345678, 12, 255, 255},  // 345 and 678 clamp
      {256000000, 255, 0, 0},   {1255000, 1, 255, 0},   {999, 0, 0, 255},
      {-5, 0, 0, 0},            {-1000001, 0, 0, 0},    {1000, 0, 1, 0},
      {2147483647, 255, 255, 255},
  };
  for (const Case& k : cases) {
    GdkColor c = ConfColorDecode(k.code);
    EXPECT_EQ(c.red, k.r * 256) << k.code;
    EXPECT_EQ(c.green, k.g * 256) << k.code;
    EXPECT_EQ(c.blue, k.b * 256) << k.code;
    EXPECT_EQ(c.pixel, 0u);
  }
}

TEST(ConfColor, EncodeDividesBy256) {
  GdkColor c{0, 65535, 32768, 0};
  EXPECT_EQ(ConfColorEncode(c), 255128000);
  GdkColor d{0, 255, 256, 511};  // truncation: 0, 1, 1
  EXPECT_EQ(ConfColorEncode(d), 1001);
}

// The text read rules: the text the record gets from one stored value ("<default>": the default).
struct TextCase {
  const char* key;
  std::string stored, want;
};
std::string TextOf(const Conf& c, const std::string& key) {
  if (key == "canvas-font") return c.canvas_font == CONF_FONT ? "<default>" : c.canvas_font;
  if (key == "field-name") return c.field_name == CONF_FIELD ? "<default>" : c.field_name;
  const tm& t = c.last_date;  // last-date
  char text[40];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d", t.tm_year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
  return t.tm_year ? text : "<default>";
}
class ConfText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ConfText, TakenOrTheDefault) {
  TempHome home;
  home.WriteIni(Interface(std::string(GetParam().key) + "=" + GetParam().stored + "\n"));
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(TextOf(r.conf, GetParam().key), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfText,
    ::testing::Values(TextCase{"canvas-font", "Sans", "Sans"}, TextCase{"canvas-font", "abc", "abc"},
                      TextCase{"canvas-font", "Sans \xc3\x9c 3", "<default>"},  // not single-byte
                      TextCase{"canvas-font", "Sans \xe9", "<default>"},         // no UTF-8
                      TextCase{"canvas-font", "", "<default>"},
                      TextCase{"field-name", "abcdefghij", "abcdefghij"},        // 10 bytes taken
                      TextCase{"field-name", "abcdefghijk", "<default>"},        // 11 refused
                      TextCase{"field-name", "n\xc3\xa4me", "<default>"}, TextCase{"field-name", "\xff\xfe", "<default>"},
                      TextCase{"field-name", "", "<default>"},
                      TextCase{"last-date", "201607041200", "2016-07-04 12:00"},
                      TextCase{"last-date", "2016070412", "<default>"}, TextCase{"last-date", "20160704120x", "<default>"},
                      TextCase{"last-date", "2016070412000", "<default>"}));

// The recipe read rules: the recipes read from a "Rgb composite" group, one row per stored group.
struct RecipeCase {
  std::string rgb;
  size_t count;      // recipes read; 7 (with the presets) when recipe 00 is refused
  std::string last;  // the name of the last one read
};
std::string Recipes(int n, int first = 0) {
  std::string out;
  for (int i = first; i < n; i++) out += Recipe(i, "R" + std::to_string(i), SIX, NINE);
  return out;
}
class ConfRecipes : public ::testing::TestWithParam<RecipeCase> {};

TEST_P(ConfRecipes, ReadUpToTheFirstBadRecipeOrThePresets) {
  TempHome home;
  home.WriteIni("[Rgb composite]\n" + GetParam().rgb);
  ConfRun r(home);
  ASSERT_EQ(r.conf.recipes.size(), GetParam().count) << GetParam().rgb;
  EXPECT_EQ(r.conf.recipes.back().name, GetParam().last);
  if (GetParam().count == 7) {
    EXPECT_EQ(r.conf.recipes[0].name, "MPhys(Air)");
  }
  for (const RgbRecipe& k : r.conf.recipes)
    for (double p : k.params) EXPECT_TRUE(std::isfinite(p));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfRecipes,
    ::testing::Values(
        RecipeCase{Recipes(5) + Recipe(5, "R5", SIX, "0;1;2;3;4;5;6;7") + Recipe(6, "R6", SIX, NINE), 5, "R4"},
        RecipeCase{Recipes(100), 99, "R98"},                                   // at most 99
        RecipeCase{Recipe(1, "only01", SIX, NINE), 7, "True color HRV"},      // 00 missing
        RecipeCase{Recipe(0, "five", "1;2;3;4;5", NINE) + Recipes(2, 1), 7, "True color HRV"},
        RecipeCase{Recipe(0, "seven", "1;2;3;4;5;6;7", NINE), 7, "True color HRV"},
        RecipeCase{Recipe(0, "text", "1;2;a;4;5;6", NINE), 7, "True color HRV"},
        RecipeCase{std::string("rgb-channels-00=") + SIX + "\nrgb-params-00=" + NINE + "\n", 7, "True color HRV"},
        RecipeCase{Recipe(0, "bad", "1;200;0;0;0;0", NINE), 7, "True color HRV"},
        RecipeCase{Recipes(1) + Recipe(1, "b", "12;0;0;0;0;0", NINE) + Recipe(2, "bad", "13;0;0;0;0;0", NINE) +
                       Recipes(4, 3), 2, "b"},
        RecipeCase{Recipes(2) + Recipe(2, "bad", "1;0;0;0;0;-1", NINE), 2, "R1"},
        RecipeCase{Recipes(1) + Recipe(1, "nan", SIX, "0;1;nan;3;4;5;6;7;8"), 1, "R0"}));

// Every "Interface" key and every recipe value, changed in memory, survives a save and a fresh read.
TEST(ConfWrite, RoundTripOfEveryKey) {
  TempHome home;
  home.WriteIni("");
  auto fields = [](Conf& c) {
    return std::vector<std::string>{std::to_string(c.rect_x), std::to_string(c.rect_y), std::to_string(c.rect_width),
                                    std::to_string(c.rect_height), std::to_string(c.hrv_east), c.canvas_font,
                                    std::to_string(c.charset), c.field_name, std::to_string(ConfColorEncode(c.selected_color)),
                                    std::to_string(c.selected_range), std::to_string(c.zoom), std::to_string(c.scroll_x),
                                    std::to_string(c.scroll_y), ValueOf(c, "satellite"), ValueOf(c, "video-format"),
                                    ValueOf(c, "animation-step-ms"), ValueOf(c, "video-fps"), ValueOf(c, "graticule"),
                                    ValueOf(c, "label-size-screen")};
  };
  std::vector<std::string> want;
  RgbRecipe mine;
  {
    ConfRun r(home);
    Conf& c = r.conf;
    c.rect_x = 100, c.rect_y = 200, c.rect_width = 300, c.rect_height = 400, c.hrv_east = 1500;
    c.canvas_font = "Serif 9", c.charset = 2, c.field_name = "NAME_EN";
    c.selected_color = GdkColor{0, 10 * 256, 20 * 256, 30 * 256};
    c.selected_range = 45, c.zoom = 3, c.scroll_x = 12, c.scroll_y = 34;
    c.satellite = Sat{4, SatService::Full}, c.video_format = ConfVideoFormat::Mp4;
    c.anim_ms = 400, c.video_fps = 12.5, c.graticule = TRUE, c.label_screen = TRUE;
    c.recipes.resize(2);
    c.recipes[1].name = "Mine";
    for (int i = 0; i < 6; i++) c.recipes[1].channels[i] = 12 - i;
    for (int i = 0; i < 9; i++) c.recipes[1].params[i] = -1.25 + i * 1000.5;
    mine = c.recipes[1];
    want = fields(c);
    ASSERT_TRUE(ConfWrite(0));
  }
  ConfRun r(home);
  EXPECT_EQ(fields(r.conf), want);
  ASSERT_EQ(r.conf.recipes.size(), 2u);
  EXPECT_EQ(r.conf.recipes[0].name, "MPhys(Air)");
  EXPECT_EQ(r.conf.recipes[1].name, mine.name);
  for (int i = 0; i < 6; i++) EXPECT_EQ(r.conf.recipes[1].channels[i], mine.channels[i]);
  for (int i = 0; i < 9; i++) EXPECT_EQ(r.conf.recipes[1].params[i], mine.params[i]);
  EXPECT_EQ(Stored(home.ini()).Int("selected-color"), 10020030);
}

TEST(ConfWrite, WriteRulesSkipOrReplaceBadValues) {
  TempHome home;
  home.WriteIni(Interface("zoom=16\nselected-range=180\ncharset=1\nfield-name=abc\n"));
  ConfRun r(home);
  ASSERT_EQ(r.conf.zoom, 16);
  r.conf.canvas_font = "abc";
  r.conf.charset = 7;
  r.conf.field_name = "abcdefghijk";
  ASSERT_TRUE(ConfWrite(2));
  Stored s(home.ini());
  EXPECT_EQ(s.Int("zoom"), 16);             // 16 is not written back
  EXPECT_EQ(s.Int("selected-range"), 180);  // nor 180
  EXPECT_EQ(s.Int("charset"), 1);           // nor 7: the stored value stays
  EXPECT_EQ(s.Str("canvas-font"), "Sans 6");
  EXPECT_EQ(s.Str("field-name"), "name");

  r.conf.canvas_font = "Sans";
  r.conf.zoom = 15;
  r.conf.selected_range = 0;
  r.conf.charset = 0;
  ASSERT_TRUE(ConfWrite(2));
  Stored t(home.ini());
  EXPECT_EQ(t.Str("canvas-font"), "Sans");
  EXPECT_EQ(t.Int("zoom"), 15);
  EXPECT_EQ(t.Int("selected-range"), 0);
  EXPECT_EQ(t.Int("charset"), 0);
  EXPECT_FALSE(t.Has(CONF_GROUP_INTERFACE, "last-date"));  // no slot open
}

Slot* SlotWith(std::initializer_list<std::pair<int, const char*>> layers, const char* slot_text) {
  Slot* slot = InfoSlotNew();
  for (const auto& [id, name] : layers) {
    slot[id] = InfoNew(id, slot_text);
    slot[id]->name = name;
  }
  return slot;
}

CntrsFile* Contour(const char* file, const char* field, const char* color, int channel = -1) {
  auto* e = std::make_unique<CntrsFile>().release();
  e->channel = channel;
  e->file = file;
  e->field = field;
  e->color = color;
  return e;
}

TEST(ConfWrite, StartupFilesAreTheChosenListNumberedWithoutGaps) {
  TempHome home;
  home.WriteIni("[Startup files]\nimage-file-00=old\nimage-file-01=older\nimage-file-05=stale\n");
  ConfRun r(home);
  // Read up to the first missing number, where the start-up loading stops too.
  EXPECT_EQ(r.conf.startup_images, (std::vector<std::string>{"old", "older"}));
  r.conf.startup_images = {"vis006-a", "hrv-b"};
  // Images this run opened otherwise (Open, by date, the monitor) are not start-up files.
  Slot* a = SlotWith({{9, "ir108-a"}, {1, "vis006-a"}, {13, "composite"}}, "201607041200");
  Slot* b = SlotWith({{12, "hrv-b"}}, "201607041215");
  r.conf.slots = g_list_append(g_list_append(nullptr, a), b);
  r.conf.contours = g_list_append(r.conf.contours, Contour("coast.shp", "NAME", "Red"));
  r.conf.contours = g_list_append(r.conf.contours, Contour("ignored.shp", "", "", 3));
  r.conf.contours = g_list_append(r.conf.contours, Contour("plain.shp", "", ""));
  r.conf.contours = g_list_append(r.conf.contours, Contour("colour.shp", "", "Navy"));
  ASSERT_TRUE(ConfWrite(1));

  Stored s(home.ini());
  const char* g = CONF_GROUP_STARTUP;
  EXPECT_EQ(s.Str("image-file-00", g), "vis006-a");  // the list, in its order
  EXPECT_EQ(s.Str("image-file-01", g), "hrv-b");
  EXPECT_FALSE(s.Has(g, "image-file-02"));
  EXPECT_FALSE(s.Has(g, "image-file-05"));  // the old group was removed
  EXPECT_EQ(s.Str("contour-file-00", g), "coast.shp");
  EXPECT_EQ(s.List(g, "cntrs-file-attr-00"), (std::vector<std::string>{"field:NAME", "color:Red"}));
  EXPECT_EQ(s.Str("contour-file-01", g), "plain.shp");
  EXPECT_FALSE(s.Has(g, "cntrs-file-attr-01"));
  EXPECT_EQ(s.Str("contour-file-02", g), "colour.shp");
  EXPECT_EQ(s.List(g, "cntrs-file-attr-02"), (std::vector<std::string>{"color:Navy"}));
  EXPECT_FALSE(s.Has(g, "contour-file-03"));
  EXPECT_FALSE(s.Has(CONF_GROUP_INTERFACE, "rect-x"));  // mode 1 leaves the rest alone

  ASSERT_TRUE(ConfWrite(2));  // last-date: the last entry of the first slot
  Stored t(home.ini());
  EXPECT_EQ(t.Str("last-date"), "201607041200");
}

// Each group header once in the saved text, whatever the file held and however often it is saved.
TEST(ConfWrite, EachGroupIsWrittenOnce) {
  TempHome home;
  home.WriteIni("[Startup files]\nimage-file-00=a\n[Interface]\nzoom=3\n[Startup files]\nimage-file-01=b\n"
                "[Rgb composite]\n" + Recipe(0, "Mine", SIX, NINE) + "[Interface]\nscroll-x=4\n");
  ConfRun r(home);
  EXPECT_EQ(r.conf.startup_images, (std::vector<std::string>{"a", "b"}));
  for (int round = 0; round < 3; round++)
    for (guint groups : {CONF_SAVE_ALL, CONF_SAVE_STARTUP, CONF_SAVE_STARTUP | CONF_SAVE_RGB}) {
      ASSERT_TRUE(ConfWriteGroups(groups));
      const std::string text = uitest::ReadFile(home.ini());
      for (const char* header : {"[Startup files]", "[Interface]", "[Rgb composite]"}) {
        size_t n = 0;
        for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) n++;
        EXPECT_EQ(n, 1u) << header << "\n" << text;
      }
    }
  Stored s(home.ini());
  EXPECT_EQ(s.Str("image-file-00", CONF_GROUP_STARTUP), "a");
  EXPECT_EQ(s.Str("image-file-01", CONF_GROUP_STARTUP), "b");
  EXPECT_EQ(s.Int("scroll-x"), 4);
}

// A start-up entry that is no UTF-8 (hand-edited) is kept through a save.
TEST(ConfWrite, StartupEntryThatIsNoUtf8Survives) {
  TempHome home;
  home.WriteIni("[Startup files]\nimage-file-00=ok\nimage-file-01=bad\xff\nimage-file-02=last\n");
  ConfRun r(home);
  ASSERT_EQ(r.conf.startup_images.size(), 3u);
  ASSERT_TRUE(ConfWrite(1));
  const std::string text = uitest::ReadFile(home.ini());
  EXPECT_NE(text.find("image-file-01=bad\xff"), std::string::npos) << text;
  EXPECT_NE(text.find("image-file-02=last"), std::string::npos) << text;
}

TEST(ConfWrite, EachModeTouchesOnlyItsGroups) {
  TempHome home;
  home.WriteIni("[Startup files]\nimage-file-00=keep\n[Interface]\nzoom=4\n[Rgb composite]\n" +
                Recipe(0, "Mine", SIX, NINE));
  ConfRun r(home);
  r.conf.zoom = 5;
  r.conf.recipes[0].name = "Changed";
  Stored before(home.ini());
  ASSERT_TRUE(ConfWrite(2));
  Stored after2(home.ini());
  EXPECT_EQ(after2.Group(CONF_GROUP_STARTUP), before.Group(CONF_GROUP_STARTUP));
  EXPECT_EQ(after2.Group(CONF_GROUP_RGB), before.Group(CONF_GROUP_RGB));
  EXPECT_EQ(after2.Int("zoom"), 5);

  ASSERT_TRUE(ConfWrite(3));
  Stored after3(home.ini());
  EXPECT_EQ(after3.Str("rgb-name-00", CONF_GROUP_RGB), "Changed");
  EXPECT_EQ(after3.Group(CONF_GROUP_STARTUP), before.Group(CONF_GROUP_STARTUP));

  r.conf.startup_images.clear();  // the page deleted the only entry
  ASSERT_TRUE(ConfWrite(1));
  Stored after1(home.ini());
  EXPECT_FALSE(after1.Has(CONF_GROUP_STARTUP, "image-file-00"));
  EXPECT_EQ(after1.Group(CONF_GROUP_RGB), after3.Group(CONF_GROUP_RGB));
  EXPECT_FALSE(ConfWrite(4));
}

TEST(ConfWrite, UnknownGroupsAndKeysSurvive) {
  TempHome home;
  home.WriteIni("# a comment\n[Mine]\nfoo=bar\n[Interface]\nmy-key=7\nzoom=2\n[Rgb composite]\n" +
                Recipe(0, "a", SIX, NINE) + "rgb-extra=x\n");
  ConfRun r(home);
  ASSERT_TRUE(ConfWrite(0));
  ASSERT_TRUE(ConfReset());
  Stored s(home.ini());
  EXPECT_EQ(s.Str("foo", "Mine"), "bar");
  EXPECT_EQ(s.Int("my-key"), 7);
  EXPECT_FALSE(s.Has(CONF_GROUP_RGB, "rgb-extra"));  // the recipe group is rewritten whole
}

TEST(ConfReset, StoresDefaultsAndKeepsTheRest) {
  TempHome home;
  std::string rgb = "[Rgb composite]\n";
  for (int i = 0; i < 9; i++) rgb += Recipe(i, "R" + std::to_string(i), SIX, NINE);
  home.WriteIni("[Startup files]\nimage-file-00=x\n[Interface]\nrect-x=1\nrect-y=2\nrect-width=3\nrect-height=4\n"
                "selected-color=255128000\nscroll-x=5\nscroll-y=6\nlast-date=201601010000\nzoom=3\nsatellite=MSG3_RSS\n" + rgb);
  ConfRun r(home);
  ASSERT_TRUE(ConfReset());
  Stored s(home.ini());
  EXPECT_FALSE(g_key_file_has_group(s.kf, CONF_GROUP_STARTUP));
  EXPECT_EQ(s.Int("rect-x"), 2710);
  EXPECT_EQ(s.Int("zoom"), 10);
  // A reset gives what a new installation has: labels of a size kept on the screen.
  EXPECT_EQ(s.Str("canvas-font"), "Sans Bold 9");
  EXPECT_EQ(s.Int("label-size-screen"), 1);
  EXPECT_EQ(s.Int("selected-color"), 255128000);
  EXPECT_FALSE(s.Has(CONF_GROUP_INTERFACE, "satellite"));
  EXPECT_EQ(s.Int("scroll-x"), 5);
  EXPECT_EQ(s.Str("last-date"), "201601010000");
  EXPECT_EQ(s.Str("rgb-name-00", CONF_GROUP_RGB), "MPhys(Air)");
  EXPECT_EQ(s.Str("rgb-name-06", CONF_GROUP_RGB), "True color HRV");
  EXPECT_EQ(s.Str("rgb-name-07", CONF_GROUP_RGB), "R7");  // stored recipes from 07 on stay
  EXPECT_EQ(s.Str("rgb-params-05", CONF_GROUP_RGB), "7000;10000;1;7000;10000;1;-70;-40;2;");
  // The running program keeps its values.
  EXPECT_EQ(r.conf.rect_x, 1);
  EXPECT_EQ(r.conf.zoom, 3);
  EXPECT_EQ(r.conf.recipes[0].name, "R0");
}

TEST(ConfFallback, SetupCopyIsStoredAndLoaded) {
  TempHome home;
  home.WriteSetup(Interface("zoom=4\n") + "[Own]\nkept=1\n");
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.conf.zoom, 4);
  ASSERT_TRUE(uitest::Exists(home.ini()));
  Stored s(home.ini());
  EXPECT_EQ(s.Int("zoom"), 4);
  EXPECT_EQ(s.Str("kept", "Own"), "1");
}

TEST(ConfFallback, NeitherFileLeavesAnEmptyRecipeListAndASmallRectangle) {
  TempHome home;
  LogCapture log;
  Conf conf;
  EXPECT_FALSE(ConfRead(&conf, home.path()));
  EXPECT_TRUE(conf.recipes.empty());
  EXPECT_EQ(conf.rect_x, 0);
  EXPECT_EQ(conf.rect_y, 0);
  EXPECT_EQ(conf.rect_width, 10);
  EXPECT_EQ(conf.rect_height, 10);
  EXPECT_EQ(conf.zoom, 0);
  EXPECT_TRUE(log.contains(home.setup() + " error: "));
  ASSERT_TRUE(conf.key_file);
  gsize groups = 99;
  g_strfreev(g_key_file_get_groups(conf.key_file.get(), &groups));
  EXPECT_EQ(groups, 0u);
  ConfFree(&conf);  // must cope with the empty state
  EXPECT_EQ(Conf_get, nullptr);
}

TEST(ConfFallback, UnreadableFileIsKeptAsideWhenTheSetupCopyReplacesIt) {
  const std::string bad[] = {
      std::string("\x00\x01\x02\xff\xfe garbage\n[[[", 17),
      "zoom=3\n",                                      // key outside any group
  };
  for (const std::string& text : bad) {
    TempHome home;
    home.WriteIni(text);
    home.WriteSetup(Interface("zoom=6\n"));
    LogCapture log;
    ConfRun r(home);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.conf.zoom, 6);
    EXPECT_EQ(r.conf.recipes.size(), 7u);
    EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
    EXPECT_TRUE(log.contains(home.ini() + ".bad"));
  }
}

// A value that is no UTF-8 is read as the default, and a save keeps what it cannot read.
TEST(ConfWrite, InvalidUtf8SurvivesASave) {
  TempHome home;
  home.WriteIni("[Interface]\nzoom=3\nfield-name=\xff\xfe\n[Own]\nraw=\xff\n");
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.conf.zoom, 3);
  ASSERT_TRUE(ConfWrite(0));
  const std::string saved = uitest::ReadFile(home.ini());
  EXPECT_NE(saved.find("[Own]\nraw=\xff\n"), std::string::npos);
  EXPECT_NE(saved.find("field-name=name\n"), std::string::npos);
}

TEST(ConfFallback, UnreadableFileWithoutSetupCopyIsLeftAlone) {
  TempHome home;
  const std::string text("\x01\x02 binary \xff\n\x00", 14);
  home.WriteIni(text);
  ConfRun r(home);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(uitest::ReadFile(home.ini()), text);
  EXPECT_FALSE(uitest::Exists(home.ini() + ".bad"));
  // A later save must not destroy the file it could not read.
  ASSERT_TRUE(ConfWrite(0));
  EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
  Stored s(home.ini());
  EXPECT_TRUE(s.loaded);
  // And a second unreadable file finds the next free name.
  uitest::TempHome::Write(home.ini(), text);
  ASSERT_TRUE(ConfWrite(0));
  EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad-1"), text);
  EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
}

TEST(ConfWrite, UnwritableFolderFailsWithAWarningAndLosesNothing) {
  TempHome home;
  const std::string text = Interface("zoom=4\n") + "[Own]\nkept=1\n";
  home.WriteIni(text);
  ConfRun r(home);
  r.conf.zoom = 9;
  // Make the settings path unreachable: the config folder is moved away and a plain file
  // takes its name (root ignores permission bits, so this works for every user).
  std::filesystem::rename(home / "config", home / "config-away");
  uitest::TempHome::Write(home / "config", "not a folder");
  LogCapture log;
  EXPECT_FALSE(ConfWrite(0));
  EXPECT_FALSE(ConfReset());
  EXPECT_TRUE(log.contains("nubicorn.ini error: "));
  EXPECT_EQ(uitest::ReadFile(home / "config-away/nubicorn.ini"), text);
  EXPECT_EQ(uitest::ReadFile(home / "config"), "not a folder");
  EXPECT_EQ(r.conf.zoom, 9);
}

TEST(ConfWrite, SaveReplacesTheFileWhole) {
  TempHome home;
  home.WriteIni(Interface("zoom=4\n"));
  ConfRun r(home);
  // A long file shrinking to a short one must not keep a tail of the old text.
  r.conf.recipes.resize(1);
  ASSERT_TRUE(ConfWrite(0));
  Stored s(home.ini());
  ASSERT_TRUE(s.loaded);
  EXPECT_FALSE(s.Has(CONF_GROUP_RGB, "rgb-name-01"));
  EXPECT_TRUE(s.Has(CONF_GROUP_RGB, "rgb-name-00"));
}

}  // namespace

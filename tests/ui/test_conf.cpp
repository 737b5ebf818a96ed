// The settings file: read rules, write rules, presets, numbered keys, fallback and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "canvas/canv.h"
#include "canvas/canvmonitor.h"
#include "data/satellite.h"
#include "contours/cntrs.h"
#include "dialogs/dlgrect.h"
#include "settings/conf.h"
#include "settings/confrules.h"
#include "tests/support/cli.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using dlgtest::Stored;
using uitest::TempHome;

// A Conf that is read from a temp home and freed at the end.
struct ConfRun {
  Conf conf;
  gboolean ok = FALSE;
  explicit ConfRun(const TempHome& home) { ok = ConfRead(&conf, home.path()); }
  ~ConfRun() { ConfFree(&conf); }
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

// The value a key of "Interface" gives the record, as text ("<default>": the default text).
std::string ValueOf(const Conf& c, const std::string& key) {
  const std::map<std::string, gint64> numbers = {
      {"hrv-east", c.hrv_east}, {"zoom", c.zoom}, {"selected-range", c.selected_range}, {"charset", c.charset},
      {"scroll-x", c.scroll_x}, {"scroll-y", c.scroll_y}, {"selected-color", ConfColorEncode(c.selected_color)},
      {"max-slots", CanvMonitorMaxSlots(c)}, {"animation-step-ms", c.anim_ms}};
  if (numbers.count(key)) return std::to_string(numbers.at(key));
  if (key == "satellite") return SatText(c.satellite);
  if (key == "video-format") return CONF_VIDEO_FORMATS[int(c.video_format)];
  if (key == "video-fps") return std::to_string(c.video_fps);
  if (key == "graticule") return c.graticule ? "on" : "off";
  if (key == "label-size-screen") return c.label_screen ? "on" : "off";
  if (key == "canvas-font") return c.canvas_font == CONF_FONT ? "<default>" : c.canvas_font;
  if (key == "field-name") return c.field_name == CONF_FIELD ? "<default>" : c.field_name;
  const tm& t = c.last_date;  // last-date
  char text[40];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d", t.tm_year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
  return t.tm_year ? text : "<default>";
}

// The read rules of "Interface", one row per stored value: the value the record gets (as text),
// how many warnings name the key (-1: not asked), and the key's text after a save of the page
// (nullptr: not asked; "": no key, a default is not written back, so an old file stays as it was).
TEST(ConfKeys, ReadAndWrittenBack) {
  const struct {
    const char* key;
    const char* stored;  // nullptr: the key is missing
    std::string value;
    int warnings;
    const char* written = nullptr;
  } cases[] = {
      {"hrv-east", nullptr, "1947", 0}, {"hrv-east", "5", "5", 0}, {"hrv-east", "11136", "11136", 0},
      {"hrv-east", "0", "1947", 1}, {"hrv-east", "11137", "1947", 1}, {"hrv-east", "x", "1947", 1},
      {"zoom", nullptr, "10", 0}, {"zoom", "1", "1", 0}, {"zoom", "18", "18", 0}, {"zoom", "19", "10", 1},
      {"zoom", "-3", "10", 1}, {"zoom", "0", "10", 1}, {"zoom", "1.5", "10", 1}, {"zoom", "99999999999", "10", 1},
      {"selected-range", "180", "180", 0}, {"selected-range", "181", "10", 1}, {"selected-range", "0", "10", 1},
      {"selected-range", ";;", "10", 1}, {"charset", "2", "2", 0}, {"charset", "3", "0", 1}, {"charset", "-1", "0", 1},
      {"scroll-x", "77", "77", 0}, {"scroll-x", "-40", "0", 1}, {"scroll-y", "4194304", "4194304", 0},
      {"scroll-y", "4194305", "0", 1}, {"selected-color", "255128000", "255128000", 0},
      {"selected-color", "orange", "0", 0},
      {"satellite", nullptr, "MSG3", 0, ""}, {"satellite", "MSG3_RSS", "MSG3_RSS", 0, "MSG3_RSS"},
      {"satellite", "MSG4", "MSG4", 0, "MSG4"}, {"satellite", "Meteosat-11 please", "MSG3", 1, ""},
      {"max-slots", nullptr, "96", -1, ""}, {"max-slots", "5", "5", -1, "5"}, {"max-slots", "-3", "96", -1, ""},
      {"max-slots", "many", "96", -1, ""}, {"max-slots", "99999", "96", -1, ""},
      {"video-format", nullptr, "avi", 0, ""}, {"video-format", "avi", "avi", 0, ""},
      {"video-format", "mp4", "mp4", 0, "mp4"}, {"video-format", "MP4x", "avi", 1, ""},
      {"video-format", "", "avi", 1, ""},
      {"animation-step-ms", nullptr, "1000", -1, ""}, {"animation-step-ms", "500", "500", -1, "500"},
      {"animation-step-ms", "10000", "10000", -1, "10000"}, {"animation-step-ms", "50", "1000", -1, ""},
      {"animation-step-ms", "20000", "1000", -1, ""}, {"video-fps", nullptr, "2.000000", -1, ""},
      {"video-fps", "5", "5.000000", -1, "5"}, {"video-fps", "0.5", "0.500000", -1, "0.5"},
      {"video-fps", "12.5", "12.500000", -1, "12.5"}, {"video-fps", "abc", "2.000000", -1, ""},
      {"video-fps", "60", "2.000000", -1, ""}, {"graticule", nullptr, "off", -1, ""}, {"graticule", "1", "on", -1, "1"},
      {"graticule", "7", "off", -1, ""}, {"label-size-screen", "1", "on", -1, "1"},
      {"label-size-screen", "x", "off", -1, ""},
      {"canvas-font", "Sans", "Sans", -1}, {"canvas-font", "abc", "abc", -1},
      {"canvas-font", "Sans \xc3\x9c 3", "<default>", -1},  // not single-byte
      {"canvas-font", "Sans \xe9", "<default>", -1},         // no UTF-8
      {"canvas-font", "", "<default>", -1}, {"field-name", "abcdefghij", "abcdefghij", -1},  // 10 bytes taken
      {"field-name", "abcdefghijk", "<default>", -1}, {"field-name", "n\xc3\xa4me", "<default>", -1},
      {"field-name", "\xff\xfe", "<default>", -1}, {"field-name", "", "<default>", -1},
      {"last-date", "201607041200", "2016-07-04 12:00", -1}, {"last-date", "2016070412", "<default>", -1},
      {"last-date", "20160704120x", "<default>", -1}, {"last-date", "2016070412000", "<default>", -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.key) + "=" + (k.stored ? k.stored : "<missing>"));
    TempHome home;
    home.WriteIni(Interface(std::string("mine=3\n") + (k.stored ? std::string(k.key) + "=" + k.stored + "\n" : "")));
    LogCapture log;
    ConfRun r(home);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(ValueOf(r.conf, k.key), k.value);
    if (k.warnings >= 0) {
      size_t n = 0;
      for (const std::string& m : log.messages()) n += m.find(k.key) != std::string::npos;
      EXPECT_EQ(n, size_t(k.warnings)) << ::testing::PrintToString(log.messages());
    }
    if (!k.written) continue;
    ASSERT_TRUE(ConfWrite(2));
    Stored s(home.ini());
    EXPECT_EQ(s.Has(CONF_GROUP_INTERFACE, k.key) ? s.Str(k.key) : "", k.written);
    EXPECT_EQ(s.Str("mine"), "3");
  }
}

// A service of rapid scan keeps a day of its slots when "max-slots" is not set; the largest
// accepted zoom is the last row of the zoom table, which the window indexes.
TEST(ConfKeysRapidScan, ADayOfSlotsOfTheServiceAndTheLastZoomRow) {
  TempHome home;
  home.WriteIni(Interface("satellite=MSG3_RSS\n"));
  ConfRun r(home);
  EXPECT_EQ(CanvMonitorMaxSlots(r.conf), 288);
  EXPECT_EQ(CONF_ZOOM_MAX + 7, CANV_ZOOM_COUNT - 1);
}

// The window rule, shared with the Interface page: taken anywhere on the 3712 x 3712 disk (edges
// exactly at 3712, the southern disk), else the default with one warning (one past, zero and
// negative sizes, overflow, no number); the page refuses exactly what the reader refuses.
TEST(ConfRectRule, TakenOnTheDiskElseDefaultWithOneWarning) {
  const struct {
    const char *x, *y, *w, *h;
    bool taken;
  } cases[] = {{"2710", "464", "92", "60", true},     {"3000", "0", "712", "10", true},
               {"3000", "0", "713", "10", false},    {"0", "919", "10", "10", true},
               {"0", "3652", "10", "60", true},      {"0", "3653", "10", "60", false},
               {"0", "0", "0", "60", false},         {"0", "0", "60", "0", false},
               {"100", "100", "-5", "20", false},    {"100", "100", "20", "-5", false},
               {"-1", "0", "10", "10", false},       {"0", "-1", "10", "10", false},
               {"2147483000", "0", "2000", "10", false}, {"abc", "464", "92", "60", false}};
  for (const auto& k : cases) {
    const std::string text =
        std::string("rect-x=") + k.x + "\nrect-y=" + k.y + "\nrect-width=" + k.w + "\nrect-height=" + k.h;
    SCOPED_TRACE(text);
    TempHome home;
    home.WriteIni(Interface(text + "\n"));
    LogCapture log;
    ConfRun r(home);
    const ConfRect stored{std::atoi(k.x), std::atoi(k.y), std::atoi(k.w), std::atoi(k.h)};
    const ConfRect want = k.taken ? stored : ConfRect{2710, 464, 92, 60};
    EXPECT_EQ(r.conf.rect_x, want.x);
    EXPECT_EQ(r.conf.rect_y, want.y);
    EXPECT_EQ(r.conf.rect_width, want.width);
    EXPECT_EQ(r.conf.rect_height, want.height);
    EXPECT_EQ(log.count(), k.taken ? 0u : 1u);
    EXPECT_EQ(log.contains("rect-width"), !k.taken);
    if (std::string(k.x) != "abc") {
      EXPECT_EQ(DlgRectCheck(stored) == DlgRectFault::kNone, k.taken);
    }
  }
}

TEST(ConfColor, CodesSplitTruncateAndClamp) {
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
  EXPECT_EQ(ConfColorEncode(GdkColor{0, 65535, 32768, 0}), 255128000);
  EXPECT_EQ(ConfColorEncode(GdkColor{0, 255, 256, 511}), 1001);  // truncation: 0, 1, 1
}

std::string Recipes(int n, int first = 0) {
  std::string out;
  for (int i = first; i < n; i++) out += Recipe(i, "R" + std::to_string(i), SIX, NINE);
  return out;
}

// The recipe read rules, one row per stored "Rgb composite" group: the recipes read (7, the
// presets, when recipe 00 is refused), the last one's name, and a key the warning names.
TEST(ConfRecipes, ReadUpToTheFirstBadRecipeOrThePresets) {
  const std::string presets = "True color HRV";
  const struct {
    std::string rgb;
    size_t count;
    std::string last, warned = {};
  } cases[] = {
      {Recipes(5) + Recipe(5, "R5", SIX, "0;1;2;3;4;5;6;7") + Recipe(6, "R6", SIX, NINE), 5, "R4"},
      {Recipes(100), 99, "R98"},                     // at most 99
      {Recipe(1, "only01", SIX, NINE), 7, presets},  // 00 missing
      {Recipe(0, "five", "1;2;3;4;5", NINE) + Recipes(2, 1), 7, presets},
      {Recipe(0, "seven", "1;2;3;4;5;6;7", NINE), 7, presets},
      {Recipe(0, "text", "1;2;a;4;5;6", NINE), 7, presets},
      {std::string("rgb-channels-00=") + SIX + "\nrgb-params-00=" + NINE + "\n", 7, presets},
      {Recipe(0, "bad", "1;200;0;0;0;0", NINE), 7, presets},
      {Recipes(1) + Recipe(1, "b", "12;0;0;0;0;0", NINE) + Recipe(2, "bad", "13;0;0;0;0;0", NINE) + Recipes(4, 3),
       2, "b", "rgb-channels-02"},
      {Recipes(2) + Recipe(2, "bad", "1;0;0;0;0;-1", NINE), 2, "R1", "rgb-channels-02"},
      {Recipes(1) + Recipe(1, "nan", SIX, "0;1;nan;3;4;5;6;7;8"), 1, "R0", "rgb-params-01"},
      {Recipes(1) + Recipe(1, "inf", SIX, "0;1;2;3;4;5;6;7;-inf"), 1, "R0", "rgb-params-01"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.rgb);
    TempHome home;
    home.WriteIni("[Rgb composite]\n" + k.rgb);
    LogCapture log;
    ConfRun r(home);
    ASSERT_EQ(r.conf.recipes.size(), k.count);
    EXPECT_EQ(r.conf.recipes.back().name, k.last);
    EXPECT_EQ(r.conf.recipes[0].name, k.count == 7 ? "MPhys(Air)" : "R0");
    for (const RgbRecipe& recipe : r.conf.recipes)
      for (double p : recipe.params) EXPECT_TRUE(std::isfinite(p));
    EXPECT_TRUE(k.warned.empty() || log.contains(k.warned)) << k.warned;
  }
}

// The command-line tool reads recipes with the same reader: it lists only what that reader took,
// before it looks at the data.
TEST(RecipeRead, RefusedByTheCliAsByTheSettings) {
  TempHome home;
  home.WriteIni("[Rgb composite]\n" + Recipe(0, "Mine", SIX, NINE) + Recipe(1, "Bad", "1;0;13;0;3;0", NINE) +
                Recipe(2, "After", SIX, NINE));
  const CliRun r = SpawnRun({NUBICORN_CLI, "composite", "--data", home / "none", "--slot", "201607041200", "--recipe",
                             "Bad", "--rect", "0,0,10,10", "-o", home / "x.png", "--settings", home.ini()});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("no recipe 'Bad'; there are:\n  0 Mine\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("  1 "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("rgb-channels-01"), std::string::npos) << r.err;
  EXPECT_FALSE(uitest::Exists(home / "x.png"));
}

TEST(ConfWrite, RoundTripOfEveryKey) {
  TempHome home;
  home.WriteIni("");
  auto fields = [](const Conf& c) {
    std::vector<std::string> out{std::to_string(c.rect_x), std::to_string(c.rect_y), std::to_string(c.rect_width),
                                 std::to_string(c.rect_height)};
    for (const char* key : {"hrv-east", "canvas-font", "charset", "field-name", "selected-color", "selected-range",
                            "zoom", "scroll-x", "scroll-y", "satellite", "video-format", "animation-step-ms",
                            "video-fps", "graticule", "label-size-screen"})
      out.push_back(ValueOf(c, key));
    return out;
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

GList* AddContour(GList* list, const char* file, const char* field, const char* color, int channel = -1) {
  auto* e = std::make_unique<CntrsFile>().release();
  e->channel = channel;
  e->file = file;
  e->field = field;
  e->color = color;
  return g_list_append(list, e);
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
  r.conf.contours = AddContour(r.conf.contours, "coast.shp", "NAME", "Red");
  r.conf.contours = AddContour(r.conf.contours, "ignored.shp", "", "", 3);
  r.conf.contours = AddContour(r.conf.contours, "plain.shp", "", "");
  r.conf.contours = AddContour(r.conf.contours, "colour.shp", "", "Navy");
  ASSERT_TRUE(ConfWrite(1));

  Stored s(home.ini());
  const char* g = CONF_GROUP_STARTUP;
  EXPECT_EQ(s.Str("image-file-00", g), "vis006-a");  // the list, in its order
  EXPECT_EQ(s.Str("image-file-01", g), "hrv-b");
  EXPECT_FALSE(s.Has(g, "image-file-02"));
  EXPECT_FALSE(s.Has(g, "image-file-05"));  // the old group was removed
  EXPECT_EQ(s.Str("contour-file-00", g), "coast.shp");
  EXPECT_EQ(s.Str("cntrs-file-attr-00", g), "field:NAME;color:Red;");
  EXPECT_EQ(s.Str("contour-file-01", g), "plain.shp");
  EXPECT_FALSE(s.Has(g, "cntrs-file-attr-01"));
  EXPECT_EQ(s.Str("contour-file-02", g), "colour.shp");
  EXPECT_EQ(s.Str("cntrs-file-attr-02", g), "color:Navy;");
  EXPECT_FALSE(s.Has(g, "contour-file-03"));
  EXPECT_FALSE(s.Has(CONF_GROUP_INTERFACE, "rect-x"));  // mode 1 leaves the rest alone

  ASSERT_TRUE(ConfWrite(2));  // last-date: the last entry of the first slot
  Stored t(home.ini());
  EXPECT_EQ(t.Str("last-date"), "201607041200");
}

// Each save mode rewrites only its groups, and each group header is in the saved text once,
// whatever the file held and however often it is saved.
TEST(ConfWrite, EachModeTouchesOnlyItsGroupsEachWrittenOnce) {
  TempHome home;
  home.WriteIni("[Startup files]\nimage-file-00=a\n[Interface]\nzoom=3\n[Startup files]\nimage-file-01=b\n"
                "[Rgb composite]\n" + Recipe(0, "Mine", SIX, NINE) + "[Interface]\nscroll-x=4\n");
  ConfRun r(home);
  EXPECT_EQ(r.conf.startup_images, (std::vector<std::string>{"a", "b"}));
  r.conf.zoom = 5;
  r.conf.recipes[0].name = "Changed";
  const std::string startup = Stored(home.ini()).Group(CONF_GROUP_STARTUP);
  const std::string rgb = Stored(home.ini()).Group(CONF_GROUP_RGB);
  ASSERT_TRUE(ConfWrite(2));
  EXPECT_EQ(Stored(home.ini()).Group(CONF_GROUP_STARTUP), startup);
  EXPECT_EQ(Stored(home.ini()).Group(CONF_GROUP_RGB), rgb);
  EXPECT_EQ(Stored(home.ini()).Int("zoom"), 5);
  ASSERT_TRUE(ConfWrite(3));
  EXPECT_EQ(Stored(home.ini()).Str("rgb-name-00", CONF_GROUP_RGB), "Changed");
  EXPECT_EQ(Stored(home.ini()).Group(CONF_GROUP_STARTUP), startup);
  EXPECT_FALSE(ConfWrite(4));
  for (int round = 0; round < 3; round++)
    for (guint groups : {CONF_SAVE_ALL, CONF_SAVE_STARTUP, CONF_SAVE_STARTUP | CONF_SAVE_RGB}) {
      ASSERT_TRUE(ConfWriteGroups(groups));
      const std::string text = uitest::ReadFile(home.ini());
      for (const char* header : {"[Startup files]", "[Interface]", "[Rgb composite]"})
        EXPECT_EQ(text.find(header), text.rfind(header)) << header << "\n" << text;
    }
  Stored s(home.ini());
  EXPECT_EQ(s.Group(CONF_GROUP_STARTUP), startup);
  EXPECT_EQ(s.Int("scroll-x"), 4);
  r.conf.startup_images.clear();  // the page deleted the entries
  ASSERT_TRUE(ConfWrite(1));
  EXPECT_FALSE(Stored(home.ini()).Has(CONF_GROUP_STARTUP, "image-file-00"));
  EXPECT_EQ(Stored(home.ini()).Str("rgb-name-00", CONF_GROUP_RGB), "Changed");
}

// What a save cannot read or does not know survives it (own groups and keys, values that are
// no UTF-8); what it rewrites is replaced whole, leaving no tail of the old text.
TEST(ConfWrite, UnknownAndUnreadableTextAndCommentsSurviveASave) {
  TempHome home;
  home.WriteIni("# my notes\n[Mine]\nfoo=bar\nraw=\xff\n[Interface]\nmy-key=7\n# for the laptop\nzoom=3\n"
                "field-name=\xff\xfe\n"
                "[Startup files]\nimage-file-00=ok\nimage-file-01=bad\xff\nimage-file-02=last\n[Rgb composite]\n" +
                Recipe(0, "a", SIX, NINE) + Recipe(1, "b", SIX, NINE) + "rgb-extra=x\n");
  ConfRun r(home);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.conf.zoom, 3);
  ASSERT_EQ(r.conf.startup_images.size(), 3u);
  r.conf.recipes.resize(1);
  ASSERT_TRUE(ConfWrite(0));
  const std::string text = uitest::ReadFile(home.ini());
  for (const char* kept : {"raw=\xff\n", "field-name=name\n", "image-file-01=bad\xff\n",
                           "image-file-02=last\n", "# my notes\n", "# for the laptop\nzoom=3\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
  Stored s(home.ini());
  ASSERT_TRUE(s.loaded);
  EXPECT_EQ(s.Str("foo", "Mine"), "bar");
  EXPECT_EQ(s.Int("my-key"), 7);
  EXPECT_FALSE(s.Has(CONF_GROUP_RGB, "rgb-extra"));  // the recipe group is rewritten whole
  EXPECT_FALSE(s.Has(CONF_GROUP_RGB, "rgb-name-01"));
  EXPECT_TRUE(s.Has(CONF_GROUP_RGB, "rgb-name-00"));
}

TEST(ConfReset, StoresDefaultsAndKeepsTheRest) {
  TempHome home;
  std::string rgb = "[Rgb composite]\n";
  for (int i = 0; i < 9; i++) rgb += Recipe(i, "R" + std::to_string(i), SIX, NINE);
  home.WriteIni("[Startup files]\nimage-file-00=x\n[Interface]\nrect-x=1\nrect-y=2\nrect-width=3\nrect-height=4\n"
                "selected-color=255128000\nscroll-x=5\nscroll-y=6\nlast-date=201601010000\nzoom=3\n"
                "satellite=MSG3_RSS\n" + rgb);
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
  EXPECT_EQ(s.Str("rgb-name-06", CONF_GROUP_RGB), "True color HRV");
  EXPECT_EQ(s.Str("rgb-name-07", CONF_GROUP_RGB), "R7");  // stored recipes from 07 on stay
  EXPECT_EQ(s.Str("rgb-params-05", CONF_GROUP_RGB), "7000;10000;1;7000;10000;1;-70;-40;2;");
  // The running program keeps its values.
  EXPECT_EQ(r.conf.rect_x, 1);
  EXPECT_EQ(r.conf.zoom, 3);
  EXPECT_EQ(r.conf.recipes[0].name, "R0");
}

TEST(ConfFallback, SetupCopyReplacesAMissingOrUnreadableFile) {
  const std::string texts[] = {"", std::string("\x00\x01\x02\xff\xfe garbage\n[[[", 17), "zoom=3\n"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    TempHome home;
    if (!text.empty()) home.WriteIni(text);
    home.WriteSetup(Interface("zoom=6\n") + "[Own]\nkept=1\n");
    LogCapture log;
    ConfRun r(home);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.conf.zoom, 6);
    EXPECT_EQ(r.conf.recipes.size(), 7u);
    Stored s(home.ini());
    EXPECT_EQ(s.Int("zoom"), 6);
    EXPECT_EQ(s.Str("kept", "Own"), "1");
    EXPECT_EQ(uitest::Exists(home.ini() + ".bad"), !text.empty());
    if (!text.empty()) {
      EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
      EXPECT_TRUE(log.contains(home.ini() + ".bad"));
    }
  }
}

// Without a usable settings file or setup copy the recipe list is empty and the window small; an
// unreadable file is left alone, and a later save keeps it aside under the next free name.
TEST(ConfFallback, NoUsableFileLeavesAnEmptyRecipeListAndLosesNothing) {
  TempHome home;
  const std::string text("\x01\x02 binary \xff\n\x00", 14);
  for (bool unreadable : {false, true}) {
    if (unreadable) home.WriteIni(text);
    LogCapture log;
    ConfRun r(home);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.conf.recipes.empty());
    EXPECT_EQ(r.conf.rect_x, 0);
    EXPECT_EQ(r.conf.rect_width, 10);
    EXPECT_EQ(r.conf.rect_height, 10);
    EXPECT_EQ(r.conf.zoom, 0);
    EXPECT_TRUE(log.contains(home.setup() + " error: "));
    ASSERT_TRUE(r.conf.key_file);
    gsize groups = 99;
    g_strfreev(g_key_file_get_groups(r.conf.key_file.get(), &groups));
    EXPECT_EQ(groups, 0u);
    if (!unreadable) continue;
    EXPECT_EQ(uitest::ReadFile(home.ini()), text);
    EXPECT_FALSE(uitest::Exists(home.ini() + ".bad"));
    ASSERT_TRUE(ConfWrite(0));
    EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
    EXPECT_TRUE(Stored(home.ini()).loaded);
    uitest::TempHome::Write(home.ini(), text);
    ASSERT_TRUE(ConfWrite(0));
    EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad-1"), text);
    EXPECT_EQ(uitest::ReadFile(home.ini() + ".bad"), text);
  }
  EXPECT_EQ(Conf_get, nullptr);  // freeing copes with the empty state
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

// One damaged variant of text; the generator is seeded, so the variants are the same each run.
std::string Mutate(const std::string& text, std::mt19937& rng) {
  static const char* const values[] = {"-1", "0", "13", "200", "99999999999", "-2147483648", "2147483647",
                                       "nan", "inf", "1e308", "", ";", ";;;;;;;;;;", "\xff\xfe", "x;y;z", "0x10"};
  std::string s = text;
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  const size_t at = pick(s.size());
  switch (rng() % 5) {
    case 0:  // flip bytes
      for (int i = 0; i < 4 && !s.empty(); i++) s[pick(s.size())] = char(rng() & 0xff);
      break;
    case 1:  // truncate
      s.resize(at);
      break;
    case 2:  // replace one value
      if (size_t eq = s.find('=', at); eq != std::string::npos)
        s.replace(eq + 1, std::min(s.find('\n', eq), s.size()) - eq - 1, values[pick(std::size(values))]);
      break;
    case 3:  // drop one list element
      if (size_t semi = s.find(';', at); semi != std::string::npos) s.erase(semi, 1);
      break;
    default:  // delete or duplicate a stretch
      if (rng() % 2) s.erase(at, pick(200));
      else s.insert(at, s.substr(at, pick(200)));
  }
  return s;
}

// Whatever a hand-edited or damaged file holds, the record keeps the ranges the rest of the
// program relies on, and a save afterwards gives a loadable file that kept the user's group.
TEST(ConfDamaged, EveryVariantGivesUsableSettingsAndASaveThatLoads) {
  const std::string base =
      uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini") + "[Own group]\nmine=kept\n";
  std::mt19937 rng(20160704);
  LogCapture quiet;  // the warnings of unreadable variants are expected
  for (int n = 0; n < 150 && !::testing::Test::HasFailure(); n++) {
    std::string text = base;
    for (int k = 0, m = 1 + int(rng() % 3); k < m; k++) text = Mutate(text, rng);
    SCOPED_TRACE(::testing::Message() << "variant:\n" << text);
    TempHome home;
    home.WriteIni(text);
    ConfRun r(home);
    const Conf& c = r.conf;
    if (!r.ok) {
      EXPECT_EQ(c.rect_width, 10);
      EXPECT_EQ(c.rect_height, 10);
      EXPECT_TRUE(c.recipes.empty());
    } else {
      EXPECT_TRUE(ConfRectValid(c.rect_x, c.rect_y, c.rect_width, c.rect_height));
      EXPECT_NE(c.hrv_east, 0);
      EXPECT_LE(c.charset, 2u);
      EXPECT_TRUE(ConfFieldValid(c.field_name.c_str()));
      EXPECT_FALSE(c.canvas_font.empty());
      EXPECT_TRUE(ConfSingleByte(c.canvas_font.c_str()));
      EXPECT_GT(c.selected_range, 0);
      const int index = CanvZoomIndex(c.zoom);
      EXPECT_TRUE(c.zoom > 0 && index >= 0 && index < CANV_ZOOM_COUNT) << c.zoom;
      for (guint16 comp : {c.selected_color.red, c.selected_color.green, c.selected_color.blue})
        EXPECT_TRUE(comp % 256 == 0 && comp <= 255 * 256) << comp;
      EXPECT_TRUE(c.recipes.size() >= 1 && c.recipes.size() <= 99) << c.recipes.size();
      for (const RgbRecipe& k : c.recipes) {
        for (int ch : k.channels) EXPECT_TRUE(ch >= 0 && ch <= 12) << ch;
        for (double p : k.params) EXPECT_TRUE(std::isfinite(p));
      }
    }
    const bool own = g_key_file_has_key(c.key_file.get(), "Own group", "mine", nullptr);
    ASSERT_TRUE(ConfWrite(0));
    Stored saved(c.ini_path);
    EXPECT_TRUE(saved.loaded);
    EXPECT_TRUE(!own || saved.Has("Own group", "mine"));
  }
}

}  // namespace

// Contour layers on the real canvas: items, coordinates, colours, loading and the start-up list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "contours/cntrs.h"
#include "settings/conf.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_cntrs_support.h"
#include "tests/ui/uitest.h"

namespace {

using cntrstest::Shape;
using uitest::TempHome;

// Degrees east and north of the centre of the settings' view in the canvas tests.
constexpr double E0 = 39.9, N0 = 44.5;

TEST(SuplColorsTest, NamesAreExactAndIndexesWrap) {
  EXPECT_EQ(SuplColorRgba(16 + 2), SuplColorRgba(2));
  EXPECT_EQ(SuplColorIndex("Navy"), 8);
  for (const char* bad : {"red", "Red ", ""}) EXPECT_EQ(SuplColorIndex(bad), -1) << bad;
  EXPECT_EQ(SuplColorIndex(nullptr), -1);
}

guint32 Rgba(GooCanvasItem* item, const char* prop) {
  guint v = 0;
  g_object_get(item, prop, &v, nullptr);
  return v;
}

std::vector<double> Coords(GooCanvasItem* polyline) {
  GooCanvasPoints* pts = nullptr;
  g_object_get(polyline, "points", &pts, nullptr);
  std::vector<double> out;
  if (!pts) return out;
  out.assign(pts->coords, pts->coords + 2 * pts->num_points);
  goo_canvas_points_unref(pts);
  return out;
}

class CntrsCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
    home.WriteIni(Ini());
    shp = home / "import/Shp";
    g_mkdir_with_parents(shp.c_str(), 0755);
    Prepare();
    ASSERT_TRUE(AppCreate(&app, &canv, &conf, home.path()));
    // The start-up chain ends on the main loop, loading the start-up contours.
    const gint64 until = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (conf.loader && g_get_monotonic_time() < until) {
      uitest::Drain();
      g_usleep(1000);
    }
    ASSERT_EQ(conf.loader, nullptr);
    uitest::Drain();
    Started();
    // Whatever the start-up loading put up, the tests start from an empty list.
    g_list_free_full(conf.contours, InfoCntrsFileDel);
    conf.contours = nullptr;
  }
  virtual void Prepare() {}  // before the window: files of the home
  virtual void Started() {}  // after the start-up loading, before the list is emptied
  void TearDown() override {
    if (!app.window) return;
    AppOnDelete(app.window, nullptr, nullptr);
    gtk_widget_destroy(app.window);
    uitest::Drain();
  }
  // A view the settings accept (inside the northern strip), centred on E0, N0 below.
  virtual std::string Ini() {
    return "[Interface]\nrect-x=2706\nrect-y=444\nrect-width=100\nrect-height=100\ncharset=1\n"
           "field-name=name\ncanvas-font=Sans Bold 3\n";
  }
  std::string StatusText() {
    GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(app.statusbar));
    GList* kids = gtk_container_get_children(GTK_CONTAINER(area));
    std::string s = kids && GTK_IS_LABEL(kids->data) ? gtk_label_get_text(GTK_LABEL(kids->data)) : "<none>";
    g_list_free(kids);
    return s;
  }
  CntrsFile* Entry(const std::string& file, const std::string& field = {}, const std::string& color = {}) {
    auto e = std::make_unique<CntrsFile>();
    e->file = file;
    e->field = field;
    e->color = color;
    return e.release();
  }
  TempHome home;
  App app;
  Canv canv;
  Conf conf;
  std::string shp;
  LogCapture log;
};

TEST_F(CntrsCanvasTest, DrawPutsLabelsAndLinesAtThreeTimesThePixels) {
  // View 1806,1806 100x100: the sub-satellite point is at pixel (50, 50).
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/eq.shp", SHPT_ARC,
                                     {{{{{0, 0}, {0.5, 0}}}, "Null Island"}, {{{{0, 0.5}, {0.5, 0.5}}}, ""}}));
  Cntrs* c = CntrsRead(shp + "/eq.shp", 1, 1806, 1806, 100, 100, 1);
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(CntrsDraw(c, canv.group, "Sans Bold 3", nullptr, 1806, 1806, 100, 100));
  ASSERT_EQ(c->polylines->len, 2u);
  ASSERT_EQ(c->texts->len, 2u);  // the second line's empty value is labelled "?"
  EXPECT_EQ(goo_canvas_item_get_parent(c->group), canv.group);
  // Label first, then its line, so the line lies above its label.
  ASSERT_EQ(goo_canvas_item_get_n_children(c->group), 4);
  GooCanvasItem* text = static_cast<GooCanvasItem*>(g_ptr_array_index(c->texts, 0));
  GooCanvasItem* line = static_cast<GooCanvasItem*>(g_ptr_array_index(c->polylines, 0));
  EXPECT_EQ(goo_canvas_item_find_child(c->group, text), 0);
  EXPECT_EQ(goo_canvas_item_find_child(c->group, line), 1);
  EXPECT_EQ(goo_canvas_item_find_child(c->group, static_cast<GooCanvasItem*>(g_ptr_array_index(c->texts, 1))), 2);
  gchar* unknown = nullptr;
  g_object_get(g_ptr_array_index(c->texts, 1), "text", &unknown, nullptr);
  EXPECT_STREQ(unknown, "?");
  g_free(unknown);
  auto xy = Coords(line);
  ASSERT_EQ(xy.size(), 4u);
  EXPECT_DOUBLE_EQ(xy[0], 150.0);
  EXPECT_DOUBLE_EQ(xy[1], 150.0);
  double ex = 0, ey = 0;
  cntrstest::ExpectedImageXY(0, 0.5, &ex, &ey);
  EXPECT_NEAR(xy[2], 3 * (ex - 1806), 0.06);
  EXPECT_NEAR(xy[3], 3 * (ey - 1806), 0.06);
  double tx = 0, ty = 0;
  gchar* s = nullptr;
  g_object_get(text, "x", &tx, "y", &ty, "text", &s, nullptr);
  EXPECT_DOUBLE_EQ(tx, 150.0);
  EXPECT_DOUBLE_EQ(ty, 146.0);
  EXPECT_STREQ(s, "Null Island");
  g_free(s);
  // No colour: "Red" lines and "Lime" labels.
  EXPECT_EQ(Rgba(line, "stroke-color-rgba"), 0xFF0000FFu);
  EXPECT_EQ(Rgba(text, "fill-color-rgba"), 0x00FF00FFu);
  // Recolouring: "Black" lines get "Red" labels.
  ASSERT_TRUE(CntrsSetColor(c, 15));
  EXPECT_EQ(Rgba(line, "stroke-color-rgba"), 0x1E1E1EFFu);
  EXPECT_EQ(Rgba(text, "fill-color-rgba"), 0xFF0000FFu);
  EXPECT_EQ(c->color, 15);
  // Line width: 0.1 canvas units, or one screen pixel when the canvas is zoomed out so far that
  // 0.1 would vanish. Empty links of the list are passed over.
  auto width = [&] {
    double w = 0;
    g_object_get(line, "line-width", &w, nullptr);
    return w;
  };
  EXPECT_DOUBLE_EQ(width(), CntrsLineWidth(goo_canvas_get_scale(GOO_CANVAS(canv.canvas))));
  CntrsFile holder;
  holder.cntrs = c;
  GList* list = g_list_append(g_list_append(nullptr, nullptr), &holder);
  CntrsSetScale(list, 15.0);
  EXPECT_DOUBLE_EQ(width(), 0.1);
  CntrsSetScale(list, 0.5);
  EXPECT_DOUBLE_EQ(width(), 2.0);
  g_list_free(list);
  holder.cntrs = nullptr;
  EXPECT_DOUBLE_EQ(CntrsLineWidth(4.0), 0.25);
  EXPECT_DOUBLE_EQ(CntrsLineWidth(0.0), 0.1);
  CntrsDel(c);
  EXPECT_EQ(goo_canvas_item_get_n_children(canv.group), 0);
  EXPECT_FALSE(CntrsSetColor(nullptr, 1));
}

TEST_F(CntrsCanvasTest, LoadUsesTheEntryFieldThenTheDefaultAndTheEntryColour) {
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/two.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "Named"}}));
  CntrsFile* e = Entry("two.shp", "ALT", "Navy");
  conf.contours = g_list_append(conf.contours, e);
  ASSERT_TRUE(CntrsLoad(e));
  ASSERT_NE(e->cntrs, nullptr);
  ASSERT_NE(e->cntrs->texts, nullptr);
  gchar* s = nullptr;
  g_object_get(g_ptr_array_index(e->cntrs->texts, 0), "text", &s, nullptr);
  EXPECT_STREQ(s, "alt");  // the ALT field
  g_free(s);
  EXPECT_EQ(Rgba(static_cast<GooCanvasItem*>(g_ptr_array_index(e->cntrs->polylines, 0)), "stroke-color-rgba"),
            0x000080FFu);
  EXPECT_EQ(StatusText(), "two.shp");
  EXPECT_TRUE(log.contains("two.shp ok"));
  // A field the table lacks falls back to "field-name" (name, found as NAME).
  CntrsFile* f = Entry("two.shp", "nosuch");
  conf.contours = g_list_append(conf.contours, f);
  ASSERT_TRUE(CntrsLoad(f));
  g_object_get(g_ptr_array_index(f->cntrs->texts, 0), "text", &s, nullptr);
  EXPECT_STREQ(s, "Named");
  g_free(s);
  EXPECT_EQ(goo_canvas_item_get_n_children(canv.group), 2);
}

TEST_F(CntrsCanvasTest, FailedLoadLeavesNoEntryInTheList) {
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/good.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "g"}}));
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/far.shp", SHPT_POINT, {{{{{30, 30}}}, "far away"}}));
  CntrsFile* good = Entry("good.shp");
  CntrsFile* far = Entry("far.shp");
  conf.contours = g_list_append(conf.contours, good);
  conf.contours = g_list_append(conf.contours, far);
  EXPECT_TRUE(CntrsLoad(good));
  EXPECT_FALSE(CntrsLoad(far));  // nothing of it inside the view
  EXPECT_EQ(StatusText(), "Input data error");
  EXPECT_TRUE(log.contains("far.shp"));
  ASSERT_EQ(g_list_length(conf.contours), 1u);
  EXPECT_EQ(conf.contours->data, good);
  // An entry outside the list (the settings page's case) stays with its caller, without a layer.
  CntrsFile* loose = Entry("missing.shp");
  EXPECT_FALSE(CntrsLoad(loose));
  EXPECT_EQ(loose->cntrs, nullptr);
  EXPECT_EQ(g_list_length(conf.contours), 1u);
  InfoCntrsFileDel(loose);
}

class CntrsStartupTest : public CntrsCanvasTest {
  std::string Ini() override {
    return CntrsCanvasTest::Ini() +
           "[Startup files]\n"
           "contour-file-00=a.shp\n"
           "cntrs-file-attr-00=field:ALT;color:Yellow;junk;color:\n"
           "contour-file-01=empty.shp\n"
           "contour-file-02=absent.shp\n"
           "contour-file-05=b.shp  \n"
           "cntrs-file-attr-05=color:;field\n"
           "contour-file-99=a.shp\n";
  }
};

TEST_F(CntrsStartupTest, NumberedEntriesLoadAndFailuresLeaveTheList) {
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/a.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "A"}}));
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/b.shp", SHPT_ARC, {{{{{E0, N0 + 0.2}, {E0 + 0.5, N0 + 0.2}}}, "B"}}));
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/empty.shp", SHPT_ARC, {}));
  CntrsStartup();
  std::vector<std::string> files;
  for (GList* l = conf.contours; l; l = l->next) {
    ASSERT_NE(l->data, nullptr);  // no empty link
    auto* e = static_cast<CntrsFile*>(l->data);
    files.push_back(e->file);
    EXPECT_NE(e->cntrs, nullptr);
  }
  EXPECT_EQ(files, (std::vector<std::string>{"a.shp", "b.shp", "a.shp"}));
  auto* first = static_cast<CntrsFile*>(conf.contours->data);
  EXPECT_EQ(first->field, "ALT");
  EXPECT_EQ(first->color, "Yellow");  // "color:" with nothing after it changes nothing
  auto* second = static_cast<CntrsFile*>(conf.contours->next->data);
  EXPECT_EQ(second->field, "");
  EXPECT_EQ(second->color, "");
  EXPECT_TRUE(log.contains("empty.shp"));
  // The settings save walks the list: three contour entries, numbered without gaps.
  ASSERT_TRUE(ConfWrite(1));
  KeyFilePtr kf(g_key_file_new());
  ASSERT_TRUE(g_key_file_load_from_file(kf.get(), home.ini().c_str(), G_KEY_FILE_NONE, nullptr));
  gchar* v = g_key_file_get_string(kf.get(), "Startup files", "contour-file-02", nullptr);
  EXPECT_STREQ(v, "a.shp");
  g_free(v);
  EXPECT_FALSE(g_key_file_has_key(kf.get(), "Startup files", "contour-file-03", nullptr));
  gchar** attrs = g_key_file_get_string_list(kf.get(), "Startup files", "cntrs-file-attr-00", nullptr, nullptr);
  ASSERT_NE(attrs, nullptr);
  EXPECT_STREQ(attrs[0], "field:ALT");
  EXPECT_STREQ(attrs[1], "color:Yellow");
  g_strfreev(attrs);
}

// The real start-up: the chain of the window's start ends by loading the listed contours.
class CntrsStartupChainTest : public CntrsCanvasTest {
  std::string Ini() override {
    return CntrsCanvasTest::Ini() + "[Startup files]\ncontour-file-00=a.shp\ncontour-file-01=far.shp\n"
                                    "cntrs-file-attr-01=color:Navy\ncontour-file-02=a.shp\n"
                                    "cntrs-file-attr-02=color:Black\n";
  }
  void Prepare() override {
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/a.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "A"}}));
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/far.shp", SHPT_POINT, {{{{{30, 30}}}, "far away"}}));
  }
  void Started() override {
    for (GList* l = conf.contours; l; l = l->next) {
      auto* e = static_cast<CntrsFile*>(l->data);
      ASSERT_NE(e, nullptr);
      loaded.push_back(e->file + ":" + e->color + (e->cntrs ? ":drawn" : ""));
    }
    groups = goo_canvas_item_get_n_children(canv.group);
  }

 protected:
  std::vector<std::string> loaded;
  int groups = 0;
};

TEST_F(CntrsStartupChainTest, ListedContoursAreOnTheCanvasAfterStart) {
  EXPECT_EQ(loaded, (std::vector<std::string>{"a.shp::drawn", "a.shp:Black:drawn"}));
  EXPECT_EQ(groups, 2);
  EXPECT_TRUE(log.contains("far.shp"));
}

}  // namespace

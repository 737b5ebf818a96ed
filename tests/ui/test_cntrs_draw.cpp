// Contour layers on the real canvas: items, coordinates, colours, loading and the start-up list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contours/cntrs.h"
#include "settings/conf.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

using cntrstest::Shape;

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

class CntrsCanvasTest : public canvtest::CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    shp = home / "import/Shp";
    std::filesystem::create_directories(shp);
    Prepare();
    Build(Ini());
    ASSERT_TRUE(StartupDone());  // the start-up chain ends by loading the start-up contours
    // Whatever the start-up loading put up, the tests start from an empty list.
    g_list_free_full(conf.contours, InfoCntrsFileDel);
    conf.contours = nullptr;
  }
  virtual void Prepare() {}  // before the window: files of the home
  // A view the settings accept (inside the northern strip), centred on E0, N0 below.
  virtual std::string Ini() {
    return "[Interface]\nrect-x=2706\nrect-y=444\nrect-width=100\nrect-height=100\ncharset=1\n"
           "field-name=name\ncanvas-font=Sans Bold 3\n";
  }
  CntrsFile* Entry(const std::string& file, const std::string& field = {}, const std::string& color = {}) {
    auto e = std::make_unique<CntrsFile>();
    e->file = file;
    e->field = field;
    e->color = color;
    return e.release();
  }
  std::string Text(GPtrArray* texts, guint i) {
    gchar* s = nullptr;
    g_object_get(g_ptr_array_index(texts, i), "text", &s, nullptr);
    std::string out = s ? s : "";
    g_free(s);
    return out;
  }
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
  EXPECT_EQ(Text(c->texts, 1), "?");
  auto xy = Coords(line);
  ASSERT_EQ(xy.size(), 4u);
  EXPECT_DOUBLE_EQ(xy[0], 150.0);
  EXPECT_DOUBLE_EQ(xy[1], 150.0);
  double ex = 0, ey = 0;
  cntrstest::ExpectedImageXY(0, 0.5, &ex, &ey);
  EXPECT_NEAR(xy[2], 3 * (ex - 1806), 0.06);
  EXPECT_NEAR(xy[3], 3 * (ey - 1806), 0.06);
  double tx = 0, ty = 0;
  g_object_get(text, "x", &tx, "y", &ty, nullptr);
  EXPECT_DOUBLE_EQ(tx, 150.0);
  EXPECT_DOUBLE_EQ(ty, 146.0);
  EXPECT_EQ(Text(c->texts, 0), "Null Island");
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
  // A layer goes with its group and items; an entry with it; nothing is no error.
  auto entry = std::make_unique<CntrsFile>();
  entry->cntrs = c;
  GList* link = g_list_append(nullptr, entry.release());
  InfoCntrsDel(link);
  EXPECT_EQ(link->data, nullptr);
  EXPECT_EQ(goo_canvas_item_get_n_children(canv.group), 0);
  InfoCntrsDel(link);
  g_list_free(link);
  CntrsDel(nullptr);
  EXPECT_FALSE(CntrsSetColor(nullptr, 1));
}

TEST_F(CntrsCanvasTest, LoadUsesTheEntryFieldThenTheDefaultAndTheEntryColour) {
  ASSERT_TRUE(cntrstest::WriteShapes(shp + "/two.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "Named"}}));
  CntrsFile* e = Entry("two.shp", "ALT", "Navy");
  conf.contours = g_list_append(conf.contours, e);
  ASSERT_TRUE(CntrsLoad(e));
  ASSERT_NE(e->cntrs, nullptr);
  ASSERT_NE(e->cntrs->texts, nullptr);
  EXPECT_EQ(Text(e->cntrs->texts, 0), "alt");  // the ALT field
  EXPECT_EQ(Rgba(static_cast<GooCanvasItem*>(g_ptr_array_index(e->cntrs->polylines, 0)), "stroke-color-rgba"),
            0x000080FFu);
  EXPECT_EQ(uitest::StatusbarText(app.statusbar), "two.shp");
  EXPECT_TRUE(log.contains("two.shp ok"));
  // A field the table lacks falls back to "field-name" (name, found as NAME).
  CntrsFile* f = Entry("two.shp", "nosuch");
  conf.contours = g_list_append(conf.contours, f);
  ASSERT_TRUE(CntrsLoad(f));
  EXPECT_EQ(Text(f->cntrs->texts, 0), "Named");
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
  EXPECT_EQ(uitest::StatusbarText(app.statusbar), "Input data error");
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
           "contour-file-06=far.shp\n"
           "cntrs-file-attr-06=color:Navy\n"
           "contour-file-99=a.shp\n";
  }
  void Prepare() override {
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/a.shp", SHPT_ARC, {{{{{E0, N0}, {E0 + 0.5, N0}}}, "A"}}));
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/b.shp", SHPT_ARC, {{{{{E0, N0 + 0.2}, {E0 + 0.5, N0 + 0.2}}}, "B"}}));
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/empty.shp", SHPT_ARC, {}));
    ASSERT_TRUE(cntrstest::WriteShapes(shp + "/far.shp", SHPT_POINT, {{{{{30, 30}}}, "far away"}}));
  }
};

TEST_F(CntrsStartupTest, NumberedEntriesLoadAndFailuresLeaveTheList) {
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

}  // namespace

// The canvas and the layer tree on generated repeat cycles: selection, loading on demand,
// composites, zoom, the time scale, sensitivity and "Close a file".
#include <gtest/gtest.h>

#include <map>
#include <opencv2/imgproc.hpp>

#include "data/layer.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::IR108;
using canvtest::NATURAL;
using canvtest::Name;
using canvtest::SLOT_A;
using canvtest::SLOT_B;

constexpr int AIR = RECIPE_FIRST_ID + 0;  // 10, 9, 9, 7, 9: IR 10.8 three times

// The default view window is 92 x 60 pixels; the display image is three times larger.
constexpr int DISPLAY_W = 3 * 92, DISPLAY_H = 3 * 60;

class Canvas : public CanvasTest {
 protected:
  int LoggedOk(const LogCapture& log, int id) {
    int n = 0;
    for (const auto& m : log.messages()) n += m == Name(id, SLOT_A) + " ok";
    return n;
  }
  void RemoveSegments(int id) {
    for (int seg : {7, 8}) std::filesystem::remove(canvtest::Input(home) + "/" + SynthSegmentName(id, seg, SLOT_A));
  }
};

TEST_F(Canvas, SelectingAChannelLoadsAndShowsIt) {
  Open({SLOT_A});
  EXPECT_FALSE(Sensitive(canv.btn_close));
  Select(IR108);
  Slot* slot = SlotAt(0);
  ASSERT_NE(slot[IR108], nullptr);
  EXPECT_EQ(slot[IR108]->name, Name(IR108, SLOT_A));
  EXPECT_EQ(CanvTreeGetId(), IR108);
  ASSERT_NE(canv.image, nullptr);
  EXPECT_EQ(ItemSize(), std::make_pair(double(DISPLAY_W), double(DISPLAY_H)));
  EXPECT_EQ(LabelText(), "2016-07-04 12:00 UTC");
  // A channel: zoom, close and selection (by grey level); one slot: no animation.
  for (GtkWidget* w : {canv.btn_zoom_fit, canv.btn_close, canv.btn_zoom_in, canv.btn_zoom_out, canv.sel_color,
                       canv.sel_hue, canv.sel_range, canv.btn_select, canv.btn_gray, canv.btn_save_sel, canv.btn_video})
    EXPECT_TRUE(Sensitive(w));
  for (GtkWidget* w : {canv.btn_play, canv.btn_rewind, canv.btn_stop, canv.btn_forward, canv.range})
    EXPECT_FALSE(Sensitive(w));
  // The contour group stays above the image.
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(canv.canvas));
  EXPECT_EQ(goo_canvas_item_find_child(root, canv.group), goo_canvas_item_get_n_children(root) - 1);
  // The canvas shows the display image's pixels.
  const cv::Mat& m = slot[IR108]->images[1];
  cv::Mat drawn;
  cv::cvtColor(Render(DISPLAY_W, DISPLAY_H), drawn, cv::COLOR_BGRA2RGB);
  ASSERT_EQ(drawn.size(), m.size());
  EXPECT_EQ(cv::norm(drawn, m, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(m, cv::Mat(m.size(), m.type(), m.at<cv::Vec3b>(0, 0)), cv::NORM_INF), 0) << "a flat image";
}

TEST_F(Canvas, HrvOfASecondSlotIsTheSameAsAFreshLoad) {
  Open({SLOT_A, SLOT_B});
  Select(HRV_ID);  // slot A: the resampling maps are made
  ShowSlot(1);      // slot B: the maps are reused
  ASSERT_NE(SlotAt(1)[HRV_ID], nullptr);
  int32_t window[4] = {conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height};
  int32_t east = 0;
  auto fresh = LayerLoadChannel((canvtest::Input(home) + "/" + Name(HRV_ID, SLOT_B)).c_str(), HRV_ID, window, &east);
  ASSERT_TRUE(fresh);
  for (int i : {0, 1}) {
    const cv::Mat& shown = SlotAt(1)[HRV_ID]->images[i];
    ASSERT_EQ(shown.size(), (*fresh)[i].size());
    EXPECT_EQ(cv::norm(shown, (*fresh)[i], cv::NORM_INF), 0) << i;
  }
}

TEST_F(Canvas, ASuccessTakesAStaleFailureOffTheStatusBar) {
  // IR 12.0 is missing in slot A only.
  canvtest::Link(home, SLOT_A, [](const std::string& n) { return n.find("IR_120") == std::string::npos; });
  canvtest::Link(home, SLOT_B);
  Build();
  AddSlot(SLOT_A);
  AddSlot(SLOT_B);
  const int IR120 = 10;
  struct Step {
    const char* what;
    std::function<void()> act;
    bool fails;
  } steps[] = {
      {"a missing channel", [&] { Select(IR120); }, true},
      {"the next slot", [&] { ShowSlot(1); }, false},
      {"back to the slot without it", [&] { ShowSlot(0); }, true},
      {"another channel", [&] { Select(IR108); }, false},
      {"a composite without its channel", [&] { Select(AIR); }, true},  // it needs IR 12.0
      {"close a file", [&] { CanvFileClose(nullptr, nullptr); }, false},
  };
  for (const Step& k : steps) {
    k.act();
    EXPECT_EQ(uitest::StatusbarText(app.statusbar), k.fails ? "Operation failed" : "") << k.what;
  }
}

TEST_F(Canvas, ParentRowsAreRefusedAndReselectingKeepsTheImage) {
  Open({SLOT_A});
  Select(IR108);
  GooCanvasItem* shown = canv.image;
  CanvTreeSelectId(0);  // "Channels"
  uitest::Drain();
  EXPECT_EQ(CanvTreeGetId(), IR108);
  GtkTreePath* rgb = gtk_tree_path_new_from_indices(1, -1);
  GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(canv.tree));
  EXPECT_FALSE(CanvTreeSelect(sel, GTK_TREE_MODEL(canv.store), rgb, FALSE, nullptr));
  gtk_tree_path_free(rgb);
  GtkTreePath* same = gtk_tree_path_new_from_indices(0, IR108 - 1, -1);
  EXPECT_TRUE(CanvTreeSelect(sel, GTK_TREE_MODEL(canv.store), same, TRUE, nullptr));
  gtk_tree_path_free(same);
  EXPECT_EQ(canv.image, shown);
  EXPECT_EQ(CanvTreeGetId(), IR108);
}

TEST_F(Canvas, AMissingChannelReportsAndLeavesTheCanvasEmpty) {
  Open({SLOT_A});
  Select(IR108);
  RemoveSegments(1);
  RemoveSegments(2);
  LogCapture log;
  Select(1);
  EXPECT_TRUE(log.contains(Name(1, SLOT_A) + " Error!"));
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], "Input data error");
  EXPECT_EQ(status.back(), "Operation failed");
  EXPECT_EQ(CanvTreeGetId(), 1) << "the row stays selected";
  EXPECT_EQ(canv.image, nullptr);
  EXPECT_EQ(LabelText(), "");
  EXPECT_EQ(SlotAt(0)[1], nullptr);
  // A composite that fails on its second channel keeps the first.
  Select(NATURAL);
  Slot* slot = SlotAt(0);
  EXPECT_NE(slot[3], nullptr);
  EXPECT_EQ(slot[2], nullptr);
  EXPECT_EQ(slot[NATURAL], nullptr);
  EXPECT_TRUE(log.contains("Natural"));
  EXPECT_FALSE(log.contains("Natural ok"));
  ASSERT_GE(status.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(status.end() - 3, status.end()),
            (std::vector<std::string>{"Input data error", "Operation failed", "Operation failed"}));
  EXPECT_EQ(canv.image, nullptr);
  // A layer already loaded comes from memory: its files may be gone.
  RemoveSegments(IR108);
  Select(IR108);
  EXPECT_NE(canv.image, nullptr);
  EXPECT_EQ(LoggedOk(log, IR108), 0);
}

TEST_F(Canvas, ACompositeLoadsItsMissingChannelsIntoTheSlot) {
  Open({SLOT_A});
  Select(2);
  Layer* two = SlotAt(0)[2];
  LogCapture log;
  Select(NATURAL);
  Slot* slot = SlotAt(0);
  EXPECT_EQ(slot[2], two) << "the loaded channel is used as it is";
  ASSERT_NE(slot[1], nullptr);
  ASSERT_NE(slot[3], nullptr);
  ASSERT_NE(slot[NATURAL], nullptr);
  EXPECT_EQ(slot[NATURAL]->name, "Natural");
  EXPECT_TRUE(slot[NATURAL]->images[0].empty());
  EXPECT_EQ(slot[NATURAL]->images[1].type(), CV_8UC3);
  EXPECT_EQ(LoggedOk(log, 2), 0);
  EXPECT_EQ(LoggedOk(log, 1), 1);
  EXPECT_EQ(LoggedOk(log, 3), 1);
  EXPECT_TRUE(log.contains("Natural ok"));
  EXPECT_EQ(ItemSize(), std::make_pair(double(DISPLAY_W), double(DISPLAY_H)));
  log.clear();
  Select(3);
  EXPECT_EQ(LoggedOk(log, 3), 0) << "shown without loading again";
  EXPECT_NE(canv.image, nullptr);
  // A channel named three times in a recipe is loaded once.
  Select(AIR);
  EXPECT_EQ(LoggedOk(log, IR108), 1);
  EXPECT_EQ(LoggedOk(log, 10), 1);
  EXPECT_EQ(LoggedOk(log, 7), 1);
  EXPECT_NE(SlotAt(0)[AIR], nullptr);
}

TEST_F(Canvas, AChannelWithOneSegmentMissingShowsTheOther) {
  canvtest::Link(home, SLOT_A);
  // Rows 440..499 of the two-segment strip: 24 lines of one segment, 36 of the other.
  Build("[Interface]\nrect-x=2710\nrect-y=440\nrect-width=92\nrect-height=60\n");
  int32_t window[4] = {conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height};
  int32_t east = 0;
  auto full = LayerLoadChannel((canvtest::Input(home) + "/" + Name(IR108, SLOT_A)).c_str(), IR108, window, &east);
  ASSERT_TRUE(full);
  std::filesystem::remove(canvtest::Input(home) + "/" + SynthSegmentName(IR108, 8, SLOT_A));
  AddSlot(SLOT_A);
  Select(IR108);
  const Layer* layer = SlotAt(0)[IR108];
  ASSERT_NE(layer, nullptr);
  ASSERT_NE(canv.image, nullptr);
  const cv::Mat& counts = layer->images[0];
  const cv::Mat& whole = (*full)[0];
  ASSERT_EQ(counts.size(), whole.size());
  int same = 0, zero = 0, other = 0;
  for (int y = 0; y < counts.rows; y++) {
    const bool equal = cv::countNonZero(counts.row(y) != whole.row(y)) == 0;
    const bool blank = cv::countNonZero(counts.row(y)) == 0;
    same += equal;
    zero += !equal && blank;
    other += !equal && !blank;
  }
  EXPECT_EQ(other, 0) << "every line is either the true one or zero";
  EXPECT_EQ(same + zero, 60);
  EXPECT_TRUE(same == 24 || same == 36) << same;
}

// The scrolled area is the image at each zoom's scale, or the visible page when that is larger.
TEST_F(Canvas, TheImageItemScalesWithEveryZoomLevel) {
  Open({SLOT_A});
  Select(IR108);
  GtkAdjustment* h = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
  for (int i = 0; i < CANV_ZOOM_COUNT; i++) {
    CanvZoomSet(nullptr, GINT_TO_POINTER(i));
    uitest::Drain();
    const double scale = CanvZoomScales[i].scale;
    EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), scale);
    const double page = gtk_adjustment_get_page_size(h);
    EXPECT_NEAR(gtk_adjustment_get_upper(h), std::max(page, DISPLAY_W * scale), 1.0) << CanvZoomScales[i].label;
    EXPECT_EQ(ItemSize(), std::make_pair(double(DISPLAY_W), double(DISPLAY_H)));
  }
}

TEST_F(Canvas, ZoomToFitShowsTheWholeImageWithoutScrollBars) {
  Open({SLOT_A});
  Select(IR108);
  GtkAdjustment* h = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
  GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
  auto scrolls = [&] {
    for (int i = 0; i < 20; i++) uitest::Drain();  // the new allocation and scroll range
    return gtk_adjustment_get_upper(h) > gtk_adjustment_get_page_size(h) + 0.5 ||
           gtk_adjustment_get_upper(v) > gtk_adjustment_get_page_size(v) + 0.5;
  };
  // Wide and low, tall and narrow: either side may be the one that limits the zoom. Zoomed in
  // first, so that the bars are there when the command starts.
  for (auto [w, hh] : {std::pair{1200, 420}, std::pair{500, 900}}) {
    gtk_window_resize(GTK_WINDOW(app.window), w, hh);
    CanvZoomSet(nullptr, GINT_TO_POINTER(CANV_ZOOM_COUNT - 1));
    ASSERT_TRUE(scrolls());
    CanvZoomFit(nullptr, nullptr);
    EXPECT_FALSE(scrolls()) << w << "x" << hh << " " << CanvZoomScales[canv.zoom].label;
    ASSERT_LT(canv.zoom, CANV_ZOOM_COUNT - 1);
    // One row more would need a bar.
    const int fit = canv.zoom;
    CanvZoomIn(nullptr, nullptr);
    EXPECT_TRUE(scrolls()) << w << "x" << hh << " " << CanvZoomScales[fit].label;
  }
}

// Every channel and composite of the tree is shown; only what is shown keeps a display image.
TEST_F(Canvas, OnlyWhatIsShownKeepsADisplayImageAndItIsRemadeByteForByte) {
  Open({SLOT_A, SLOT_B});
  std::vector<int> ids;
  for (int id = 1; id < RECIPE_FIRST_ID + int(conf.recipes.size()); id++) ids.push_back(id);
  std::map<int, cv::Mat> loaded;
  for (int id : ids) {
    Select(id);
    ASSERT_NE(SlotAt(0)[id], nullptr) << id;
    loaded[id] = SlotAt(0)[id]->images[1].clone();
    EXPECT_EQ(ItemSize(), std::make_pair(double(loaded[id].cols), double(loaded[id].rows))) << id;
  }
  EXPECT_FALSE(StatusHas("Input data error"));
  EXPECT_FALSE(StatusHas("Operation failed"));
  // A selection on a composite: its outline belongs to the layer.
  Select(NATURAL);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_range), 30);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_hue), 40);
  uitest::Drain();
  ASSERT_FALSE(SlotAt(0)[NATURAL]->images[2].empty());
  const cv::Mat outlined = SlotAt(0)[NATURAL]->images[1].clone();
  Select(AIR);  // shown last in slot A

  ShowSlot(1);
  Slot* a = SlotAt(0);
  for (int id : ids) {
    ASSERT_NE(a[id], nullptr) << id;
    if (id < RECIPE_FIRST_ID) {
      EXPECT_FALSE(a[id]->images[0].empty()) << id;  // the counts stay
    }
    const bool kept = id == AIR || id == NATURAL;  // shown just before; selected
    EXPECT_EQ(a[id]->images[1].empty(), !kept) << id;
  }
  ASSERT_EQ(SlotAt(1)[AIR]->images[1].size(), loaded[AIR].size());
  ShowSlot(0);
  for (int id : ids) {
    Select(id);
    const cv::Mat& m = SlotAt(0)[id]->images[1];
    const cv::Mat& want = id == NATURAL ? outlined : loaded[id];
    ASSERT_EQ(m.size(), want.size()) << id;
    EXPECT_EQ(cv::norm(m, want, cv::NORM_INF), 0) << id;
    EXPECT_EQ(ItemSize(), std::make_pair(double(m.cols), double(m.rows))) << id;
  }
}

TEST_F(Canvas, TheScaleHasOneMarkPerSlotAndChoosesTheSlot) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_B);
  Build();
  Select(IR108);  // without a slot no row can be selected
  EXPECT_EQ(CanvTreeGetId(), 0);
  AddSlot(SLOT_A);
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(canv.range));
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_lower(adj), 0);
  EXPECT_NEAR(gtk_adjustment_get_upper(adj), 0.01, 1e-9);
  Select(IR108);
  EXPECT_FALSE(Sensitive(canv.range));
  AddSlot(SLOT_B);
  CanvSensitive();
  EXPECT_NEAR(gtk_adjustment_get_upper(adj), 1.01, 1e-9);
  for (GtkWidget* w : {canv.range, canv.btn_play, canv.btn_rewind, canv.btn_stop, canv.btn_forward})
    EXPECT_TRUE(Sensitive(w));
  // Sliding to the second slot shows the same layer there once the value rests.
  gtk_range_set_value(GTK_RANGE(canv.range), 1);
  ASSERT_TRUE(WaitFor([&] { return SlotAt(1)[IR108] != nullptr && canv.image; }));
  EXPECT_EQ(SlotAt(1)[IR108]->name, Name(IR108, SLOT_B));
  EXPECT_EQ(LabelText(), "2016-09-30 18:45 UTC");
  // Back to the first: already loaded, shown again.
  gtk_range_set_value(GTK_RANGE(canv.range), 0.5);
  ASSERT_TRUE(WaitFor([&] { return LabelText() == "2016-07-04 12:00 UTC"; }));
  EXPECT_NEAR(gtk_adjustment_get_upper(adj), 1.01, 1e-9);
}

TEST_F(Canvas, CloseFreesTheLayerAndShowsTheHighestLeft) {
  Open({SLOT_A});
  Select(IR108);
  Select(1);
  ASSERT_NE(SlotAt(0)[1], nullptr);
  CanvFileClose(nullptr, nullptr);
  uitest::Drain();
  EXPECT_EQ(SlotAt(0)[1], nullptr);
  EXPECT_EQ(CanvTreeGetId(), IR108);
  ASSERT_NE(canv.image, nullptr);
  EXPECT_EQ(LabelText(), "2016-07-04 12:00 UTC");
  CanvFileClose(nullptr, nullptr);
  uitest::Drain();
  EXPECT_EQ(SlotAt(0)[IR108], nullptr);
  EXPECT_EQ(canv.image, nullptr);
  EXPECT_EQ(LabelText(), "");
  ASSERT_EQ(SlotCount(), 1u) << "the slot stays with its header";
  EXPECT_NE(SlotAt(0)[0], nullptr);
  EXPECT_FALSE(Sensitive(canv.btn_close));
  EXPECT_FALSE(Sensitive(canv.btn_zoom_in));
}

TEST_F(Canvas, CommandsWaitForABusyLoader) {
  Open({SLOT_A});
  Select(IR108);
  // A loader thread that holds the mutex until it is told to stop.
  struct Hold {
    GMutex* mutex;
    gint locked = 0, release = 0;
  } hold{&conf.mutex};
  GThread* t = g_thread_new("Nubicorn", +[](gpointer p) -> gpointer {
    auto* h = static_cast<Hold*>(p);
    g_mutex_lock(h->mutex);
    g_atomic_int_set(&h->locked, 1);
    while (!g_atomic_int_get(&h->release)) g_usleep(1000);
    g_mutex_unlock(h->mutex);
    return nullptr;
  }, &hold);
  while (!g_atomic_int_get(&hold.locked)) g_usleep(1000);
  conf.loader = t;
  status.clear();
  CanvFileClose(nullptr, nullptr);
  EXPECT_NE(SlotAt(0)[IR108], nullptr) << "nothing is freed under the loader";
  EXPECT_EQ(status, std::vector<std::string>{"Busy: loading the start-up files"});
  Select(1);
  EXPECT_EQ(CanvTreeGetId(), IR108);
  g_atomic_int_set(&hold.release, 1);
  g_thread_join(t);
  // The loader has let go: the commands work while it is still set.
  CanvFileClose(nullptr, nullptr);
  EXPECT_EQ(SlotAt(0)[IR108], nullptr);
  conf.loader = nullptr;
}

}  // namespace

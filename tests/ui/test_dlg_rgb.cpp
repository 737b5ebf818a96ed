// The Rgb composite page: one recipe shown, edits into Conf.recipes, new recipes in the tree.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "data/fileinfo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;
using Row = std::pair<std::string, int>;

class RgbPage : public Dialog {
 protected:
  GtkEntry* Entry() { return GTK_ENTRY(gtk_bin_get_child(GTK_BIN(Rgb()->presets))); }
  int Presets() {
    return gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(Rgb()->presets)), nullptr);
  }
  void Choose(int i) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->presets), i);
    uitest::Drain();
  }
  void Add(const char* typed) {
    gtk_entry_set_text(Entry(), typed);
    g_signal_emit_by_name(Rgb()->add, "clicked");
    uitest::Drain();
  }
  // The page's six channel lists and nine values against recipe i.
  void ExpectShows(int i) {
    for (int k = 0; k < 6; k++)
      EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(Rgb()->channels[k])), conf.recipes[i].channels[k]) << k;
    for (int k = 0; k < 9; k++) EXPECT_EQ(SpinValue(Rgb()->params[k]), conf.recipes[i].params[k]) << k;
  }
  // The rows under "Rgb" in the layer tree: label and id.
  std::vector<Row> TreeRows() {
    std::vector<Row> out;
    GtkTreeModel* m = GTK_TREE_MODEL(canv.store);
    GtkTreeIter rgb, row;
    if (!gtk_tree_model_iter_nth_child(m, &rgb, nullptr, 1)) return out;
    for (bool ok = gtk_tree_model_iter_children(m, &row, &rgb); ok; ok = gtk_tree_model_iter_next(m, &row)) {
      gchar* label = nullptr;
      int id = 0;
      gtk_tree_model_get(m, &row, CANV_COL_LABEL, &label, CANV_COL_ID, &id, -1);
      out.emplace_back(label ? label : "", id);
      g_free(label);
    }
    return out;
  }
};

// Fresh settings show the seven presets on the first; choosing one shows it without writing into
// the one shown before; edits go into it within the spin buttons' bounds; equal thresholds are
// taken with a note; the same run opens the page on the recipe it was left on.
TEST_F(RgbPage, ChoosingAPresetShowsItAndEditsGoIntoIt) {
  Start();
  Open(2);
  ASSERT_EQ(Presets(), 7);
  EXPECT_STREQ(gtk_entry_get_text(Entry()), "MPhys(Air)");
  const int air[6] = {10, 9, 9, 7, 9, 0};  // IR 12.0 - IR 10.8, IR 10.8 - IR 0.87, IR 10.8
  for (int k = 0; k < 6; k++) EXPECT_EQ(conf.recipes[0].channels[k], air[k]) << k;
  ExpectShows(0);
  EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(Rgb()->channels[0])), nullptr), 13);
  const RgbRecipe before = conf.recipes[0];
  Choose(3);  // Natural
  EXPECT_EQ(conf.recipe_index, 3);
  ExpectShows(3);
  for (int k = 0; k < 9; k++) EXPECT_EQ(conf.recipes[0].params[k], before.params[k]);
  gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->channels[5]), 0);  // blue subtr.: none
  gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->channels[1]), 9);  // red subtr.: IR 10.8
  SetSpin(Rgb()->params[4], 123);
  SetSpin(Rgb()->params[8], 20);     // gamma stops at 10
  SetSpin(Rgb()->params[0], 20000);  // thresholds stop at 10001
  EXPECT_EQ(conf.recipes[3].channels[5], 0);
  EXPECT_EQ(conf.recipes[3].channels[1], 9);
  EXPECT_EQ(conf.recipes[3].params[4], 123);
  EXPECT_EQ(conf.recipes[3].params[8], 10);
  EXPECT_EQ(conf.recipes[3].params[0], 10001);
  EXPECT_EQ(conf.recipes[0].channels[1], before.channels[1]);  // the others are untouched
  SetSpin(Rgb()->params[3], 123);
  EXPECT_NE(Status().find("Green: thresh.0 equals thresh.1"), std::string::npos) << Status();
  Open(2);
  EXPECT_STREQ(gtk_entry_get_text(Entry()), "Natural");
  ExpectShows(3);
}

// A new recipe is a copy of the shown one under the typed name, with its tree row; bad names and
// the hundredth recipe are refused and change nothing.
TEST_F(RgbPage, NewRecipeIsACopyUnderTheTypedNameWithItsTreeRow) {
  Start();
  Open(2);
  Choose(3);
  const RgbRecipe natural = conf.recipes[3];
  Add("Mine");
  ASSERT_EQ(conf.recipes.size(), 8u);
  const RgbRecipe& mine = conf.recipes[7];
  EXPECT_EQ(mine.name, "Mine");
  for (int k = 0; k < 6; k++) EXPECT_EQ(mine.channels[k], natural.channels[k]);
  for (int k = 0; k < 9; k++) EXPECT_EQ(mine.params[k], natural.params[k]);
  EXPECT_EQ(conf.recipe_index, 3);  // further edits still go to "Natural"
  EXPECT_EQ(TreeRows().back(), (Row{"Mine", 20}));
  GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
  EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(canv.tree), path));
  gtk_tree_path_free(path);
  EXPECT_EQ(Presets(), 8);
  Choose(7);  // choosing it in the list makes it the edited one
  SetSpin(Rgb()->params[2], 2.5);
  EXPECT_EQ(conf.recipes[7].params[2], 2.5);
  EXPECT_EQ(conf.recipes[3].params[2], natural.params[2]);

  const struct {
    const char* name;
    const char* status;
  } bad[] = {{"Natural", "exists already"}, {"", "Type a name"}, {"bad\xff", "UTF-8"}};
  for (const auto& b : bad) {
    Add(b.name);
    EXPECT_NE(Status().find(b.status), std::string::npos) << Status();
  }
  EXPECT_FALSE(DlgRgbAdd(Page(2), nullptr));
  EXPECT_EQ(conf.recipes.size(), 8u);
  EXPECT_TRUE(DlgRgbAdd(Page(2), "mine"));  // a name differing only in case is another name
  for (int i = 9; i < 99; i++) ASSERT_TRUE(DlgRgbAdd(Page(2), ("R" + std::to_string(i)).c_str())) << i;
  EXPECT_EQ(TreeRows().back(), (Row{"R98", 111}));  // the last slot entry
  LogCapture log;
  Add("One too many");
  EXPECT_EQ(conf.recipes.size(), 99u);
  EXPECT_TRUE(log.contains("dlgrgb:"));
  EXPECT_EQ(TreeRows().size(), 99u);
}

TEST_F(RgbPage, OutOfRangeValuesFromAHandEditedFileStayUntilEdited) {
  Start("[Rgb composite]\nrgb-name-00=Odd\nrgb-channels-00=1;0;2;0;3;0\nrgb-params-00=-999;1;1;0;1;1;0;1;99\n");
  Open(2);
  ASSERT_EQ(conf.recipes[0].name, "Odd");
  EXPECT_EQ(SpinValue(Rgb()->params[0]), -300);
  EXPECT_EQ(SpinValue(Rgb()->params[8]), 10);
  EXPECT_EQ(conf.recipes[0].params[0], -999);
  EXPECT_EQ(conf.recipes[0].params[8], 99);
  SetSpin(Rgb()->params[0], -100);
  EXPECT_EQ(conf.recipes[0].params[0], -100);
}

TEST_F(RgbPage, SavedRecipesComeBackAfterARestart) {
  Start("[Mine]\nkeep=1\n");
  Open(2);
  Choose(1);
  Add("Night copy");
  SetSpin(Rgb()->params[6], 250);  // edits MPhys(Night), the current one
  Answer ok;
  Save(2);
  Restart();
  ASSERT_EQ(conf.recipes.size(), 8u);
  EXPECT_EQ(conf.recipes[7].name, "Night copy");
  EXPECT_EQ(conf.recipes[1].params[6], 250);
  EXPECT_EQ(conf.recipes[7].params[6], 243);  // copied before the edit
  EXPECT_EQ(TreeRows().back(), (Row{"Night copy", 20}));
  EXPECT_EQ(Stored(home.ini()).Int("keep", "Mine"), 1);
}

TEST_F(RgbPage, NewRecipeOpensAsACompositeWithTheEditedValues) {
  const std::string slot = "201607041200";
  Link(slot);
  Start();
  Open(0);
  DlgStartupAddImages(GTK_TREE_VIEW(DlgStartupOf(Page(0))->images), {Name(1, slot)});
  ASSERT_NE(conf.slots, nullptr);
  Choose(3);  // Natural: IR 0.16, VIS 0.8, VIS 0.6
  Add("Inverted natural");
  Choose(7);
  SetSpin(Rgb()->params[0], 10000);  // red thresholds swapped: that colour inverts
  SetSpin(Rgb()->params[1], 0);
  CloseDialog();
  Slot* s = static_cast<Slot*>(conf.slots->data);
  std::vector<cv::Mat> planes[2];
  for (int id : {20, 16}) {  // the new recipe, then Natural itself from the same channels
    CanvTreeSelectId(id);
    uitest::Drain();
    ASSERT_NE(s[id], nullptr) << id;
    ASSERT_FALSE(s[id]->images[1].empty()) << id;
    cv::split(s[id]->images[1], planes[id == 16]);
  }
  // Red inverted, green and blue the same.
  ASSERT_EQ(planes[0][0].size(), planes[1][0].size());
  EXPECT_EQ(cv::norm(planes[0][1], planes[1][1], cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(planes[0][2], planes[1][2], cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(planes[0][0], planes[1][0], cv::NORM_INF), 0);
}

TEST_F(RgbPage, WithoutRecipesNothingCanBeCopied) {
  uitest::TempHome::Write(home / "config", "a file where the folder should be");
  Answer ok;  // the start-up error box
  Start();
  ASSERT_TRUE(conf.recipes.empty());
  Open(2);
  EXPECT_FALSE(DlgRgbAdd(Page(2), "New"));
  EXPECT_NE(Status().find("No recipe"), std::string::npos) << Status();
  SetSpin(Rgb()->params[0], 5);  // no recipe to edit: nothing breaks
  EXPECT_TRUE(conf.recipes.empty());
}

}  // namespace

// The Rgb composite page: one recipe shown, edits into Conf.recipes, new recipes in the tree.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "data/fileinfo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;

class RgbPage : public Dialog {
 protected:
  GtkEntry* Entry() { return GTK_ENTRY(gtk_bin_get_child(GTK_BIN(Rgb()->presets))); }
  int Active(int k) { return gtk_combo_box_get_active(GTK_COMBO_BOX(Rgb()->channels[k])); }
  void Choose(int i) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->presets), i);
    uitest::Drain();
  }
  void Add(const char* typed) {
    gtk_entry_set_text(Entry(), typed);
    g_signal_emit_by_name(Rgb()->add, "clicked");
    uitest::Drain();
  }
  // The rows under "Rgb" in the layer tree: label and id.
  std::vector<std::pair<std::string, int>> TreeRows() {
    std::vector<std::pair<std::string, int>> out;
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

TEST_F(RgbPage, FreshSettingsShowTheSevenPresetsOnTheFirst) {
  Start();
  Open(2);
  GtkTreeModel* m = gtk_combo_box_get_model(GTK_COMBO_BOX(Rgb()->presets));
  ASSERT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 7);
  EXPECT_STREQ(gtk_entry_get_text(Entry()), "MPhys(Air)");
  // MPhys(Air): IR 12.0 - IR 10.8, IR 10.8 - IR 0.87, IR 10.8.
  const int want[6] = {10, 9, 9, 7, 9, 0};
  for (int k = 0; k < 6; k++) EXPECT_EQ(Active(k), want[k]) << k;
  for (int k = 0; k < 9; k++) EXPECT_EQ(SpinValue(Rgb()->params[k]), conf.recipes[0].params[k]) << k;
  // Each channel list is the 13 labels, the empty one first.
  GtkTreeModel* ch = gtk_combo_box_get_model(GTK_COMBO_BOX(Rgb()->channels[0]));
  EXPECT_EQ(gtk_tree_model_iter_n_children(ch, nullptr), 13);
}

TEST_F(RgbPage, ChoosingAPresetShowsItAndEditsGoIntoIt) {
  Start();
  Open(2);
  const RgbRecipe air = conf.recipes[0];
  Choose(3);  // Natural
  EXPECT_EQ(conf.recipe_index, 3);
  const int natural[6] = {3, 0, 2, 0, 1, 0};
  for (int k = 0; k < 6; k++) EXPECT_EQ(Active(k), natural[k]) << k;
  for (int k = 0; k < 9; k++) EXPECT_EQ(SpinValue(Rgb()->params[k]), conf.recipes[3].params[k]) << k;
  // Showing a recipe wrote nothing new into the one shown before.
  for (int k = 0; k < 9; k++) EXPECT_EQ(conf.recipes[0].params[k], air.params[k]);

  gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->channels[5]), 0);  // blue subtr.: none
  gtk_combo_box_set_active(GTK_COMBO_BOX(Rgb()->channels[1]), 9);  // red subtr.: IR 10.8
  SetSpin(Rgb()->params[4], 123);
  SetSpin(Rgb()->params[8], 20);  // gamma stops at 10
  SetSpin(Rgb()->params[0], 20000);  // thresholds stop at 10001
  EXPECT_EQ(conf.recipes[3].channels[5], 0);
  EXPECT_EQ(conf.recipes[3].channels[1], 9);
  EXPECT_EQ(conf.recipes[3].params[4], 123);
  EXPECT_EQ(conf.recipes[3].params[8], 10);
  EXPECT_EQ(conf.recipes[3].params[0], 10001);
  EXPECT_EQ(conf.recipes[0].channels[1], air.channels[1]);  // the others are untouched

  // The same run opens the dialog on the recipe it was left on.
  Open(2);
  EXPECT_STREQ(gtk_entry_get_text(Entry()), "Natural");
  EXPECT_EQ(Active(1), 9);
}

TEST_F(RgbPage, EqualThresholdsAreTakenWithANote) {
  Start();
  Open(2);
  SetSpin(Rgb()->params[4], 50);
  SetSpin(Rgb()->params[3], 50);
  EXPECT_EQ(conf.recipes[0].params[3], conf.recipes[0].params[4]);
  EXPECT_NE(Status().find("Green: thresh.0 equals thresh.1"), std::string::npos) << Status();
}

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
  auto rows = TreeRows();
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows.back(), (std::pair<std::string, int>{"Mine", 20}));
  GtkTreePath* path = gtk_tree_path_new_from_indices(1, 7, -1);
  EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(canv.tree), gtk_tree_path_new_from_indices(1, -1)));
  gtk_tree_path_free(path);
  GtkTreeModel* m = gtk_combo_box_get_model(GTK_COMBO_BOX(Rgb()->presets));
  EXPECT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 8);
  // Choosing it in the list makes it the edited one.
  Choose(7);
  SetSpin(Rgb()->params[2], 2.5);
  EXPECT_EQ(conf.recipes[7].params[2], 2.5);
  EXPECT_EQ(conf.recipes[3].params[2], natural.params[2]);
}

TEST_F(RgbPage, BadNamesAreRefusedAndChangeNothing) {
  Start();
  Open(2);
  Add("MPhys(Air)");  // not typed over: the shown name
  EXPECT_NE(Status().find("exists already"), std::string::npos) << Status();
  Add("");
  EXPECT_NE(Status().find("Type a name"), std::string::npos) << Status();
  EXPECT_FALSE(DlgRgbAdd(Page(2), "bad\xff"));
  EXPECT_NE(Status().find("UTF-8"), std::string::npos) << Status();
  EXPECT_FALSE(DlgRgbAdd(Page(2), nullptr));
  EXPECT_EQ(conf.recipes.size(), 7u);
  EXPECT_EQ(TreeRows().size(), 7u);
  // A name differing only in case is another name.
  EXPECT_TRUE(DlgRgbAdd(Page(2), "mphys(air)"));
  EXPECT_EQ(conf.recipes.size(), 8u);
}

TEST_F(RgbPage, TheHundredthRecipeIsRefused) {
  Start();
  Open(2);
  for (int i = 7; i < 99; i++) ASSERT_TRUE(DlgRgbAdd(Page(2), ("R" + std::to_string(i)).c_str())) << i;
  EXPECT_EQ(conf.recipes.size(), 99u);
  EXPECT_EQ(TreeRows().back(), (std::pair<std::string, int>{"R98", 111}));  // the last slot entry
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
  EXPECT_EQ(ok.text, "Restart the program, please");
  Restart();
  ASSERT_EQ(conf.recipes.size(), 8u);
  EXPECT_EQ(conf.recipes[7].name, "Night copy");
  EXPECT_EQ(conf.recipes[1].params[6], 250);
  EXPECT_EQ(conf.recipes[7].params[6], 243);  // copied before the edit
  EXPECT_EQ(TreeRows().back(), (std::pair<std::string, int>{"Night copy", 20}));
  Stored f(home.ini());
  EXPECT_EQ(f.Int("keep", "Mine"), 1);
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
  CanvTreeSelectId(20);
  uitest::Drain();
  Slot* s = static_cast<Slot*>(conf.slots->data);
  ASSERT_NE(s[20], nullptr);
  const cv::Mat& inverted = s[20]->images[1];
  ASSERT_FALSE(inverted.empty());
  EXPECT_EQ(canv.image != nullptr, true);
  CanvTreeSelectId(16);  // Natural itself, built from the same channels
  uitest::Drain();
  ASSERT_NE(s[16], nullptr);
  const cv::Mat& natural = s[16]->images[1];
  ASSERT_EQ(natural.size(), inverted.size());
  // Red inverted, green and blue the same.
  std::vector<cv::Mat> a, b;
  cv::split(natural, a);
  cv::split(inverted, b);
  EXPECT_EQ(cv::norm(a[1], b[1], cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(a[2], b[2], cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(a[0], b[0], cv::NORM_INF), 0);
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

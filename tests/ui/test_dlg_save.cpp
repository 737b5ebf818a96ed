// The dialog's Save across pages: every page with edits is written, a value a page cannot take
// stops the whole save with a message naming page and field, closing tells what is unsaved.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;

class SavePages : public Dialog {
 protected:
  std::vector<double> Params(const Stored& f, int n = 0) {
    gsize len = 0;
    const std::string key = "rgb-params-0" + std::to_string(n);
    gdouble* p = g_key_file_get_double_list(f.kf, "Rgb composite", key.c_str(), &len, nullptr);
    std::vector<double> out(p, p + len);
    g_free(p);
    return out;
  }
};

// The user's report: Width and Height on "Interface", a gamma on "Rgb composite", Save there.
TEST_F(SavePages, InterfaceAndRgbEditsAreBothWritten) {
  Start("[Mine]\nkeep=1\n");
  Open(1);
  SetSpin(Interface()->width, 100);
  SetSpin(Interface()->height, 40);
  gtk_notebook_set_current_page(DlgSettingsNotebook(dialog), 2);
  SetSpin(Rgb()->params[2], 1.7);  // red gamma of the shown recipe
  SetSpin(Rgb()->params[8], 0.5);  // blue gamma
  Answer restart;
  Save(2);
  EXPECT_EQ(restart.text, "Restart the program, please");
  EXPECT_EQ(Status(), "Save operation succeeded: Interface, Rgb composite");
  EXPECT_EQ(conf.unsaved, 0u);
  Stored f(home.ini());
  ASSERT_TRUE(f.loaded);
  EXPECT_EQ(f.Int("rect-width"), 100);
  EXPECT_EQ(f.Int("rect-x"), 2706);  // the centre kept
  EXPECT_EQ(f.Int("rect-height"), 40);
  EXPECT_EQ(f.Int("rect-y"), 474);
  const std::vector<double> p = Params(f);
  ASSERT_EQ(p.size(), 9u);
  EXPECT_DOUBLE_EQ(p[2], 1.7);
  EXPECT_DOUBLE_EQ(p[8], 0.5);
  EXPECT_EQ(f.Str("keep", "Mine"), "1");
  // What the next start reads back.
  Restart();
  EXPECT_EQ(conf.rect_width, 100);
  EXPECT_EQ(conf.rect_height, 40);
  EXPECT_DOUBLE_EQ(conf.recipes[0].params[2], 1.7);
}

// Opening the dialog and saving one page writes only that page: the view captured when the
// Interface page is built is no edit of the user's.
TEST_F(SavePages, PagesWithoutEditsAreLeftAsStored) {
  Start("[Interface]\nzoom=4\nscroll-x=9\n");
  Open(2);
  Answer restart;
  Save(2);
  EXPECT_EQ(Status(), "Save operation succeeded");
  Stored f(home.ini());
  EXPECT_EQ(f.Int("zoom"), 4);
  EXPECT_EQ(f.Int("scroll-x"), 9);
  EXPECT_FALSE(f.Has("Interface", "rect-x"));
  EXPECT_FALSE(f.Has("Startup files", "image-file-00"));
}

// Closing keeps the edits for the run and says they are not saved; any later Save writes them.
TEST_F(SavePages, ClosingTellsWhatIsUnsavedAndALaterSaveWritesIt) {
  Start();
  Open(1);
  SetSpin(Interface()->width, 100);
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_CLOSE));
  EXPECT_EQ(Status(), "Settings not saved yet (Interface): Save writes them");
  CloseDialog();
  Open(0);
  Save(0);
  EXPECT_EQ(Status(), "Save operation succeeded: Startup files, Interface");
  Stored f(home.ini());
  EXPECT_EQ(f.Int("rect-width"), 100);
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_DELETE_EVENT));
  EXPECT_EQ(Status(), "Save operation succeeded: Startup files, Interface");  // nothing left unsaved
}

// A value typed but not taken (no Enter, focus not left) is taken by Save as leaving the field
// would; when the page cannot take it nothing at all is written and the message names it.
struct TypedCase {
  const char* field;  // "width", "height", "field", "gamma"
  const char* text;
  const char* message;  // empty: taken and saved
};

TEST_F(SavePages, TypedValuesAreTakenOrStopTheWholeSave) {
  const TypedCase cases[] = {
      {"width", "5000", "Interface, Reference / Width: 5000 is outside 0 to 3712"},
      {"width", "3000", "Interface, Reference / Width: 3000 is refused"},
      {"height", "1000", "Interface, Reference / Height: 1000 is refused"},  // from y -6
      {"field", "ELEVENCHARS", "Interface, Contours / Field name: \"ELEVENCHARS\" is no field name"},
      {"gamma", "12", "Rgb composite, Red / gamma: 12 is outside 0 to 10"},
      {"width", "120", ""},
      {"field", "NAME_EN", ""},
      {"gamma", "2.5", ""},
  };
  Start();
  for (const TypedCase& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.field << "=" << k.text);
    Open(1);
    SetSpin(Interface()->height, 50);  // an edit that must not be half-saved
    GtkWidget* widget = std::string(k.field) == "width"    ? Interface()->width
                        : std::string(k.field) == "height" ? Interface()->height
                        : std::string(k.field) == "field"  ? Interface()->field
                                                           : Rgb()->params[2];
    gtk_entry_set_text(GTK_ENTRY(widget), k.text);
    const std::string before = uitest::ReadFile(home.ini());
    Answer box;
    Save(1);
    uitest::Drain();
    if (*k.message) {
      EXPECT_NE(box.text.find(k.message), std::string::npos) << box.text;
      EXPECT_EQ(box.text.rfind("Nothing saved: ", 0), 0u) << box.text;
      EXPECT_EQ(uitest::ReadFile(home.ini()), before);
      EXPECT_NE(conf.unsaved & CONF_SAVE_INTERFACE, 0u);
    } else {
      EXPECT_EQ(box.text.find("Nothing saved"), std::string::npos) << box.text;  // a restart note at most
      Stored f(home.ini());
      EXPECT_EQ(f.Int("rect-height"), 50);
      if (std::string(k.field) == "width") {
        EXPECT_EQ(f.Int("rect-width"), 120);
      } else if (std::string(k.field) == "field") {
        EXPECT_EQ(f.Str("field-name"), "NAME_EN");
      } else {
        EXPECT_DOUBLE_EQ(Params(f)[2], 2.5);
      }
      EXPECT_EQ(conf.unsaved, 0u);
    }
    CloseDialog();
  }
}

// Saving when the file cannot be written keeps every edit pending.
TEST_F(SavePages, FailedSaveKeepsTheEditsPending) {
  Start();
  Open(1);
  SetSpin(Interface()->width, 100);
  gtk_notebook_set_current_page(DlgSettingsNotebook(dialog), 2);
  SetSpin(Rgb()->params[2], 1.7);
  uitest::TempHome::Write(home / "config/blocked", "a file");
  conf.ini_path = home / "config/blocked/nubicorn.ini";
  LogCapture log;
  Save(2);
  EXPECT_EQ(Status(), "Operation failed");
  EXPECT_EQ(conf.unsaved, CONF_SAVE_INTERFACE | CONF_SAVE_RGB);
}

}  // namespace

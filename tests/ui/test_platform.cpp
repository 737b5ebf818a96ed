// The platform layer: documents folder, home tree, the move that never replaces, busy cursor.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app.h"
#include "app/platform.h"
#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

TEST(PlatformMove, MovesAndNeverReplaces) {
  TempHome d;
  TempHome::Write(d / "a", "first");
  TempHome::Write(d / "b", "second");
  EXPECT_FALSE(PlatformMoveFile(d / "a", d / "b"));  // target exists
  EXPECT_EQ(uitest::ReadFile(d / "a"), "first");
  EXPECT_EQ(uitest::ReadFile(d / "b"), "second");
  EXPECT_TRUE(PlatformMoveFile(d / "a", d / "c"));
  EXPECT_FALSE(uitest::Exists(d / "a"));
  EXPECT_EQ(uitest::ReadFile(d / "c"), "first");
  EXPECT_FALSE(PlatformMoveFile(d / "missing", d / "e"));
  EXPECT_FALSE(uitest::Exists(d / "e"));
  EXPECT_FALSE(PlatformMoveFile(d / "c", d / "no-such-folder/c"));
  EXPECT_EQ(uitest::ReadFile(d / "c"), "first");
}

TEST(PlatformHome, PrepareMakesTheTreeAndKeepsWhatExists) {
  TempHome h;
  TempHome::Write(h / "import/Shp/places.csv", "kept");
  EXPECT_TRUE(PlatformHomePrepare(h.path()).empty());
  for (const char* dir : {"config", "config/setup", "import/SEVIRI_data", "import/Shp", "import/mnt",
                          "export/Selected", "export/Video"})
    EXPECT_TRUE(g_file_test((h / dir).c_str(), G_FILE_TEST_IS_DIR)) << dir;
  EXPECT_EQ(uitest::ReadFile(h / "import/Shp/places.csv"), "kept");
  const std::string defaults = uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini");
  EXPECT_EQ(uitest::ReadFile(h.setup()), defaults);
  EXPECT_FALSE(uitest::Exists(h.ini()));  // the settings file itself is made by the settings reader
  h.WriteSetup("[Interface]\nzoom=1\n");
  EXPECT_TRUE(PlatformHomePrepare(h.path()).empty());
  EXPECT_EQ(uitest::ReadFile(h.setup()), "[Interface]\nzoom=1\n");
}

TEST(PlatformHome, PrepareReportsWhatItCannotMake) {
  TempHome h;
  TempHome::Write(h / "export", "a file");
  std::vector<std::string> failed = PlatformHomePrepare(h.path());
  EXPECT_EQ(failed, (std::vector<std::string>{h / "export/Selected", h / "export/Video"}));
  EXPECT_TRUE(g_file_test((h / "import/mnt").c_str(), G_FILE_TEST_IS_DIR));
  EXPECT_TRUE(PlatformFolderWritable(h / "config"));
  EXPECT_FALSE(PlatformFolderWritable(h / "export"));
  EXPECT_FALSE(PlatformFolderWritable(h / "missing"));
}

// The documents folder comes from the XDG user-dirs file. GLib reads it once per process,
// so the check runs in a child copy of this test program with its own environment.
TEST(PlatformHome, DocumentsFolderFollowsTheUserDirs) {
  if (const char* want = std::getenv("NUBICORN_TEST_DOCUMENTS")) {
    EXPECT_EQ(PlatformDocumentsFolder(), want);
    EXPECT_EQ(PlatformHomeFolder(), std::string(want) + "/Nubicorn");
    return;
  }
  TempHome h;
  TempHome::Write(h / "xdg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
  const std::string env = "HOME='" + h.path() + "' XDG_CONFIG_HOME='" + (h / "xdg") + "' NUBICORN_TEST_DOCUMENTS='" +
                          (h / "Docs") + "' ";
  const std::string cmd = env + "/proc/" + std::to_string(getpid()) +
                          "/exe --gtest_filter=PlatformHome.DocumentsFolderFollowsTheUserDirs >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  // Without a user-dirs entry the fallback is $HOME/Documents.
  TempHome bare;
  const std::string env2 = "HOME='" + bare.path() + "' XDG_CONFIG_HOME='" + (bare / "xdg") +
                           "' NUBICORN_TEST_DOCUMENTS='" + (bare / "Documents") + "' ";
  const std::string cmd2 = env2 + "/proc/" + std::to_string(getpid()) +
                           "/exe --gtest_filter=PlatformHome.DocumentsFolderFollowsTheUserDirs >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd2.c_str()), 0);
}

TEST(PlatformCursor, BusyCursorOnAndOff) {
  if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
  GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  PlatformBusyCursor(w, true);  // not realized yet: nothing to do, no crash
  gtk_widget_show(w);
  uitest::Drain();
  PlatformBusyCursor(w, true);
  GdkCursor* c = gdk_window_get_cursor(gtk_widget_get_window(w));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(gdk_cursor_get_display(c), gtk_widget_get_display(w));
  PlatformBusyCursor(w, false);
  EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(w)), nullptr);
  PlatformBusyCursor(nullptr, true);
  gtk_widget_destroy(w);
}

}  // namespace

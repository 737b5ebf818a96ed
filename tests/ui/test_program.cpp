// The nubicorn program itself, started as a user would, its installation, and the platform layer
// below it: documents folder, home tree, the move that never replaces, busy cursor.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/platform.h"
#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

const std::string PROGRAM = std::string(NUBICORN_BINARY_DIR) + "/nubicorn";
const std::string DEFAULTS = uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini");

// Starts nubicorn with its documents folder in home/Docs (announced through XDG user-dirs).
class Program {
 public:
  explicit Program(const TempHome& home) {
    TempHome::Write(home / "xdg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + (home / "Docs") + "\"\n");
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "XDG_CONFIG_HOME", (home / "xdg").c_str(), TRUE);
    env = g_environ_setenv(env, "HOME", home.path().c_str(), TRUE);
    env = g_environ_setenv(env, "GSETTINGS_BACKEND", "memory", TRUE);
    const gchar* argv[] = {PROGRAM.c_str(), nullptr};
    started_ = g_spawn_async(nullptr, const_cast<gchar**>(argv), env,
                             GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr,
                             &pid_, nullptr);
    g_strfreev(env);
  }
  ~Program() {
    if (Running()) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status_, 0);
    }
  }
  bool started() const { return started_; }
  // TRUE while the program runs; FALSE once it has ended (for whatever reason).
  bool Running() {
    if (started_ && !ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return started_ && !ended_;
  }
  bool WaitFor(const std::string& file, int seconds) {
    for (int i = 0; i < seconds * 20 && Running(); i++) {
      if (uitest::Exists(file)) return true;
      g_usleep(50000);
    }
    return false;
  }
  int status() const { return status_; }

 private:
  GPid pid_ = 0;
  bool started_ = false, ended_ = false;
  int status_ = 0;
};

// A fresh user gets the settings file of the defaults; garbage settings are kept aside. Either
// way the program keeps running.
TEST(ProgramRun, FreshOrGarbageSettingsGiveARunningWindow) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  if (!g_file_test(PROGRAM.c_str(), G_FILE_TEST_IS_EXECUTABLE)) GTEST_SKIP() << "nubicorn not built";
  const std::string garbage("\x7f" "ELF\x02\x01\x01\x00 binary [ junk\n\xff\xfe", 22);
  for (const std::string& ini : {std::string(), garbage}) {
    TempHome home;
    const std::string nb = home / "Docs/Nubicorn";
    if (!ini.empty()) TempHome::Write(nb + "/config/nubicorn.ini", ini);
    Program p(home);
    ASSERT_TRUE(p.started());
    const std::string wait = nb + "/config/nubicorn.ini" + (ini.empty() ? "" : ".bad");
    ASSERT_TRUE(p.WaitFor(wait, 20)) << "status " << p.status();
    EXPECT_TRUE(g_file_test((nb + "/import/SEVIRI_data").c_str(), G_FILE_TEST_IS_DIR));
    g_usleep(500000);
    EXPECT_TRUE(p.Running()) << "status " << p.status();
    EXPECT_EQ(uitest::ReadFile(wait), ini.empty() ? DEFAULTS : garbage);
  }
}

TEST(Install, ProgramDesktopFileAndIcon) {
  for (const std::string& exe : {PROGRAM, std::string(NUBICORN_BINARY_DIR) + "/nubicorn-cli"})
    if (!g_file_test(exe.c_str(), G_FILE_TEST_IS_EXECUTABLE)) GTEST_SKIP() << exe << " not built";
  TempHome prefix;
  const std::string cmd = "cmake --install '" NUBICORN_BINARY_DIR "' --prefix '" + prefix.path() + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(g_file_test((prefix / "bin/nubicorn").c_str(), G_FILE_TEST_IS_EXECUTABLE));
  EXPECT_TRUE(g_file_test((prefix / "bin/nubicorn-cli").c_str(), G_FILE_TEST_IS_EXECUTABLE));
  GdkPixbuf* pb = gdk_pixbuf_new_from_file((prefix / "share/icons/hicolor/32x32/apps/nubicorn.png").c_str(), nullptr);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pb), 32);
  g_object_unref(pb);
  GKeyFile* kf = g_key_file_new();
  ASSERT_TRUE(g_key_file_load_from_file(kf, (prefix / "share/applications/nubicorn.desktop").c_str(),
                                        G_KEY_FILE_NONE, nullptr));
  for (auto [key, want] : {std::pair{"Type", "Application"}, {"Exec", "nubicorn"}, {"Icon", "nubicorn"},
                           {"Name", "Nubicorn"}}) {
    gchar* v = g_key_file_get_string(kf, "Desktop Entry", key, nullptr);
    EXPECT_STREQ(v, want) << key;
    g_free(v);
  }
  g_key_file_free(kf);
}

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
  for (const char* dir : {"config/setup", "import/SEVIRI_data", "import/Shp", "import/mnt", "export/Selected",
                          "export/Video"})
    EXPECT_TRUE(g_file_test((h / dir).c_str(), G_FILE_TEST_IS_DIR)) << dir;
  EXPECT_EQ(uitest::ReadFile(h / "import/Shp/places.csv"), "kept");
  EXPECT_EQ(uitest::ReadFile(h.setup()), DEFAULTS);
  EXPECT_FALSE(uitest::Exists(h.ini()));  // the settings file itself is made by the settings reader
  h.WriteSetup("[Interface]\nzoom=1\n");
  EXPECT_TRUE(PlatformHomePrepare(h.path()).empty());
  EXPECT_EQ(uitest::ReadFile(h.setup()), "[Interface]\nzoom=1\n");
  // What it cannot make it reports.
  TempHome bad;
  TempHome::Write(bad / "export", "a file");
  EXPECT_EQ(PlatformHomePrepare(bad.path()), (std::vector<std::string>{bad / "export/Selected", bad / "export/Video"}));
  EXPECT_TRUE(g_file_test((bad / "import/mnt").c_str(), G_FILE_TEST_IS_DIR));
  EXPECT_TRUE(PlatformFolderWritable(bad / "config"));
  EXPECT_FALSE(PlatformFolderWritable(bad / "export"));
  EXPECT_FALSE(PlatformFolderWritable(bad / "missing"));
}

// The documents folder comes from the XDG user-dirs file, else $HOME/Documents. GLib reads it
// once per process, so the check runs in a child copy of this test program with its own environment.
TEST(PlatformHome, DocumentsFolderFollowsTheUserDirs) {
  if (const char* want = std::getenv("NUBICORN_TEST_DOCUMENTS")) {
    EXPECT_EQ(PlatformDocumentsFolder(), want);
    EXPECT_EQ(PlatformHomeFolder(), std::string(want) + "/Nubicorn");
    return;
  }
  TempHome h, bare;
  TempHome::Write(h / "xdg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
  for (auto [home, want] : {std::pair{&h, h / "Docs"}, {&bare, bare / "Documents"}}) {
    const std::string cmd = "HOME='" + home->path() + "' XDG_CONFIG_HOME='" + (*home / "xdg") +
                            "' NUBICORN_TEST_DOCUMENTS='" + want + "' /proc/" + std::to_string(getpid()) +
                            "/exe --gtest_filter=PlatformHome.DocumentsFolderFollowsTheUserDirs >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << want;
  }
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

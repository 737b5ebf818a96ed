// The nubicorn program itself, started as a user would, and its installation.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

const std::string PROGRAM = std::string(NUBICORN_BINARY_DIR) + "/nubicorn";

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
  ~Program() { Stop(); }
  bool started() const { return started_; }
  // TRUE while the program runs; FALSE once it has ended (for whatever reason).
  bool Running() {
    if (!started_ || ended_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      ended_ = true;
      status_ = status;
    }
    return !ended_;
  }
  bool WaitFor(const std::string& file, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
      if (uitest::Exists(file)) return true;
      if (!Running()) return false;
      g_usleep(50000);
    }
    return false;
  }
  void Stop() {
    if (Running()) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status_, 0);
      ended_ = true;
    }
  }
  int status() const { return status_; }

 private:
  GPid pid_ = 0;
  bool started_ = false, ended_ = false;
  int status_ = 0;
};

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    if (!g_file_test(PROGRAM.c_str(), G_FILE_TEST_IS_EXECUTABLE)) GTEST_SKIP() << "nubicorn not built";
  }
};

TEST_F(ProgramRun, FreshUserGetsTheHomeTreeAndARunningWindow) {
  TempHome home;
  Program p(home);
  ASSERT_TRUE(p.started());
  const std::string nb = home / "Docs/Nubicorn";
  ASSERT_TRUE(p.WaitFor(nb + "/config/nubicorn.ini", 20)) << "status " << p.status();
  for (const char* dir : {"config/setup", "import/SEVIRI_data", "import/Shp", "import/mnt", "export/Selected",
                          "export/Video"})
    EXPECT_TRUE(g_file_test((nb + "/" + dir).c_str(), G_FILE_TEST_IS_DIR)) << dir;
  g_usleep(500000);
  EXPECT_TRUE(p.Running()) << "status " << p.status();
  EXPECT_EQ(uitest::ReadFile(nb + "/config/nubicorn.ini"),
            uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
}

TEST_F(ProgramRun, GarbageSettingsDoNotStopTheProgram) {
  TempHome home;
  const std::string nb = home / "Docs/Nubicorn";
  const std::string garbage("\x7f" "ELF\x02\x01\x01\x00 binary [ junk\n\xff\xfe", 22);
  TempHome::Write(nb + "/config/nubicorn.ini", garbage);
  Program p(home);
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.WaitFor(nb + "/config/nubicorn.ini.bad", 20)) << "status " << p.status();
  g_usleep(500000);
  EXPECT_TRUE(p.Running()) << "status " << p.status();
  EXPECT_EQ(uitest::ReadFile(nb + "/config/nubicorn.ini.bad"), garbage);
}

TEST(Install, ProgramDesktopFileAndIcon) {
  for (const std::string& exe : {PROGRAM, std::string(NUBICORN_BINARY_DIR) + "/nubicorn-cli"})
    if (!g_file_test(exe.c_str(), G_FILE_TEST_IS_EXECUTABLE)) GTEST_SKIP() << exe << " not built";
  TempHome prefix;
  const std::string cmd = "cmake --install '" NUBICORN_BINARY_DIR "' --prefix '" + prefix.path() + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(g_file_test((prefix / "bin/nubicorn").c_str(), G_FILE_TEST_IS_EXECUTABLE));
  EXPECT_TRUE(g_file_test((prefix / "bin/nubicorn-cli").c_str(), G_FILE_TEST_IS_EXECUTABLE));
  const std::string icon = prefix / "share/icons/hicolor/32x32/apps/nubicorn.png";
  ASSERT_TRUE(uitest::Exists(icon));
  GdkPixbuf* pb = gdk_pixbuf_new_from_file(icon.c_str(), nullptr);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pb), 32);
  g_object_unref(pb);
  GKeyFile* kf = g_key_file_new();
  ASSERT_TRUE(g_key_file_load_from_file(kf, (prefix / "share/applications/nubicorn.desktop").c_str(),
                                        G_KEY_FILE_NONE, nullptr));
  auto get = [&](const char* key) {
    gchar* v = g_key_file_get_string(kf, "Desktop Entry", key, nullptr);
    std::string s = v ? v : "";
    g_free(v);
    return s;
  };
  EXPECT_EQ(get("Type"), "Application");
  EXPECT_EQ(get("Exec"), "nubicorn");
  EXPECT_EQ(get("Icon"), "nubicorn");
  EXPECT_EQ(get("Name"), "Nubicorn");
  g_key_file_free(kf);
}

}  // namespace

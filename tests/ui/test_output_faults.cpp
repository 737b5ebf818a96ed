// "Save selected" and "Make video from the RGB images" into a folder that is missing, read-only
// or full: the failure box, nothing left under the final name (nor a temporary file), and the
// window goes on working (the next command into a sound folder succeeds).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "canvas/canvexport.h"
#include "canvas/canvvideo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

namespace fs = std::filesystem;
using canvtest::CanvasTest;
using uitest::AnswerDialog;
using uitest::DialogSeen;

constexpr const char* SLOTS[] = {"201607041200", "201607041215"};
constexpr int IR108 = 9;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;

// A full file system without root: writes past the limit fail with EFBIG (SIGXFSZ ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ok_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_;
    small.rlim_cur = bytes;
    ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  struct rlimit old_ {};
  void (*previous_)(int) = SIG_DFL;
  bool ok_ = false;
};

// Makes an existing, empty folder unwritable for this process: the mode bits for an ordinary
// user; for root, who passes them, an empty read-only tmpfs mounted over it. ok() is false
// when neither works (root without the right to mount).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string dir) : dir_(std::move(dir)) {
    if (geteuid() != 0) {
      chmod(dir_.c_str(), 0555);
    } else {
      mounted_ = mount("nubicorn-ro", dir_.c_str(), "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV, "size=64k") == 0;
    }
    const std::string probe = dir_ + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ok_ = fd < 0;
    if (fd >= 0) {
      close(fd);
      unlink(probe.c_str());
    }
  }
  ~ReadOnlyFolder() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    chmod(dir_.c_str(), 0755);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string dir_;
  bool mounted_ = false;
  bool ok_ = false;
};

class OutputFaults : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    for (const char* s : SLOTS) canvtest::Link(home, s);
    Build();
    ASSERT_TRUE(StartupDone());
    for (const char* s : SLOTS) AddSlot(s);
    Select(NATURAL);
    ASSERT_EQ(CanvTreeGetId(), NATURAL);
  }
  DialogSeen Run(void (*command)(GtkWidget*, gpointer)) {
    DialogSeen seen;
    const guint source = AnswerDialog(&seen);
    command(nullptr, nullptr);
    if (!seen.seen) g_source_remove(source);
    uitest::Drain();
    return seen;
  }
  std::string Selected() { return home / "export/Selected"; }
  std::string Videos() { return home / "export/Video"; }
  std::string ExportFile() { return Selected() + "/" + SLOTS[0] + ".txt"; }
  std::string VideoFile() { return Videos() + "/Natural-" + SLOTS[0] + ".avi"; }
  static size_t Entries(const std::string& dir) {
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) n++;
    return n;
  }
  // After a failure: no busy cursor, the tree still answers, and both commands succeed into
  // sound folders.
  void GoesOn() {
    GdkWindow* w = gtk_widget_get_window(app.window);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(gdk_window_get_cursor(w), nullptr) << "the busy cursor is off again";
    Select(IR108);
    EXPECT_EQ(CanvTreeGetId(), IR108);
    Select(NATURAL);
    ASSERT_EQ(CanvTreeGetId(), NATURAL);
    fs::create_directories(Selected());
    fs::create_directories(Videos());
    DialogSeen saved = Run(CanvSaveSelected);
    EXPECT_EQ(saved.text, "Save selected OK.");
    // A video leaves the scale on the last slot: the export is of the slot shown.
    const Slot* shown = CanvCurrentSlot();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(uitest::Exists(Selected() + "/" + shown[0]->slot + ".txt"));
    DialogSeen video = Run(CanvVideo);
    EXPECT_EQ(video.text, "Natural-201607041200.avi  :  saved OK.");
    EXPECT_TRUE(uitest::Exists(VideoFile()));
  }
};

TEST_F(OutputFaults, MissingFolders) {
  fs::remove_all(home / "export");
  LogCapture log;
  const DialogSeen saved = Run(CanvSaveSelected);
  EXPECT_EQ(saved.text, "Save selected Error!");
  EXPECT_EQ(saved.type, GTK_MESSAGE_ERROR);
  EXPECT_TRUE(log.contains("cannot create " + ExportFile()));
  const DialogSeen video = Run(CanvVideo);
  EXPECT_EQ(video.text, "Natural-201607041200.avi  :  Error!");
  EXPECT_EQ(video.type, GTK_MESSAGE_ERROR);
  EXPECT_TRUE(log.contains(VideoFile()));
  EXPECT_FALSE(uitest::Exists(home / "export")) << "a missing folder is not made";
  GoesOn();
}

TEST_F(OutputFaults, ReadOnlyFolders) {
  fs::create_directories(Selected());
  fs::create_directories(Videos());
  {
    ReadOnlyFolder ro_selected(Selected());
    ReadOnlyFolder ro_videos(Videos());
    if (!ro_selected.ok() || !ro_videos.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
    LogCapture log;
    const DialogSeen saved = Run(CanvSaveSelected);
    EXPECT_EQ(saved.text, "Save selected Error!");
    EXPECT_TRUE(log.contains("cannot create " + ExportFile()));
    const DialogSeen video = Run(CanvVideo);
    EXPECT_EQ(video.text, "Natural-201607041200.avi  :  Error!");
    EXPECT_EQ(video.type, GTK_MESSAGE_ERROR);
    EXPECT_TRUE(log.contains(VideoFile()));
    EXPECT_EQ(Entries(Selected()), 0u);
    EXPECT_EQ(Entries(Videos()), 0u);
  }
  GoesOn();
}

// The export of the 276 x 180 display image is about 1 MB and a frame of the video some tens
// of kB: a limit of 16 kB fails both part-way.
TEST_F(OutputFaults, FullFileSystem) {
  LogCapture log;
  DialogSeen saved, video;
  {
    FileSizeLimit full(16 * 1024);
    ASSERT_TRUE(full.ok());
    saved = Run(CanvSaveSelected);
    video = Run(CanvVideo);
  }
  EXPECT_EQ(saved.text, "Save selected Error!");
  EXPECT_EQ(saved.type, GTK_MESSAGE_ERROR);
  EXPECT_TRUE(log.contains("cannot write " + ExportFile())) << "the reason names the file";
  EXPECT_EQ(video.text, "Natural-201607041200.avi  :  Error!");
  EXPECT_EQ(video.type, GTK_MESSAGE_ERROR);
  EXPECT_TRUE(log.contains(VideoFile() + ": incomplete video"));
  EXPECT_EQ(Entries(Selected()), 0u) << "neither the name nor a temporary file is left";
  EXPECT_EQ(Entries(Videos()), 0u);
  GoesOn();
}

}  // namespace

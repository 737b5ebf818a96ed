// Every writer of the program ("Save selected", "Make video from the RGB images", nubicorn-cli
// decode, channel and composite) into a folder that is missing, read-only or full (a file-size
// limit, and a real tmpfs with a few kB left): a failure with a message naming the file, nothing
// left under the final name (nor a temporary file), an earlier file of that name byte-identical,
// and the window goes on working (the next command into a sound folder succeeds).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "canvas/canvexport.h"
#include "canvas/canvvideo.h"
#include "tests/support/cli.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

namespace fs = std::filesystem;
using canvtest::CanvasTest;
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
    return uitest::Answered([command] { command(nullptr, nullptr); });
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
    EXPECT_EQ(video.secondary, "Saved in " + Videos() + ".");
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

// ---- every writer against a full file system ----

enum class Writer { Export, Video, Decode, Channel, Composite };
enum class Fault { SizeLimit, FullTmpfs };
struct FaultCase {
  Writer writer;
  Fault fault;
};

// Room left for the writer: a 2 MB tmpfs filled up to this, or a file-size limit of this. Every
// output below is larger: the export about 1 MB, a video frame some tens of kB, the decoded
// segment 3.4 MB, and the 200 x 100 window's counts 40 kB and its display images several times that.
constexpr size_t ROOM = 16 * 1024;
constexpr const char* RECT = "2710,464,200,100";

// A 2 MB tmpfs over dir, filled so that ROOM bytes are left (needs root; ok() false otherwise).
class FullTmpfs {
 public:
  explicit FullTmpfs(std::string dir) : dir_(std::move(dir)) {
    if (geteuid() != 0) return;
    mounted_ = mount("nubicorn-full", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m") == 0;
  }
  ~FullTmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  FullTmpfs(const FullTmpfs&) = delete;
  FullTmpfs& operator=(const FullTmpfs&) = delete;
  bool ok() const { return mounted_; }
  // Fills the file system up to ROOM free bytes with one file.
  bool Fill() {
    struct statvfs st;
    if (statvfs(dir_.c_str(), &st) != 0) return false;
    const size_t free = size_t(st.f_bavail) * st.f_frsize;
    if (free <= ROOM) return true;
    const std::string filler(free - ROOM, 'f');
    std::ofstream(dir_ + "/filler", std::ios::binary) << filler;
    return statvfs(dir_.c_str(), &st) == 0 && size_t(st.f_bavail) * st.f_frsize <= ROOM;
  }

 private:
  std::string dir_;
  bool mounted_ = false;
};

CliRun Cli(std::vector<std::string> args) {
  args.insert(args.begin(), NUBICORN_CLI);
  return SpawnRun(std::move(args));
}

// Names and contents of the files of a folder.
std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out[e.path().filename().string()] = uitest::ReadFile(e.path());
  return out;
}

class WriterFaults : public OutputFaults, public ::testing::WithParamInterface<FaultCase> {
 protected:
  Writer writer() const { return GetParam().writer; }
  std::string Folder() {
    if (writer() == Writer::Export) return Selected();
    if (writer() == Writer::Video) return Videos();
    return home / "cli";
  }
  // The final names the writer gives its files.
  std::vector<std::string> Targets() {
    switch (writer()) {
      case Writer::Export: return {ExportFile()};
      case Writer::Video: return {VideoFile()};
      case Writer::Decode: return {Folder() + "/segment.pgm"};
      case Writer::Channel: return {Folder() + "/ir108.pgm", Folder() + "/ir108.png"};
      case Writer::Composite: return {Folder() + "/natural.png"};
    }
    return {};
  }
  // Runs the writer; its message (dialog text and detail, or the CLI's error output) when it
  // failed as it should.
  std::string Fail() {
    const std::vector<std::string> t = Targets();
    const std::string data = canvtest::Cycle(SLOTS[0]);
    CliRun r;
    switch (writer()) {
      case Writer::Export: {
        const DialogSeen seen = Run(CanvSaveSelected);
        EXPECT_EQ(seen.text, "Save selected Error!");
        EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
        return seen.secondary;
      }
      case Writer::Video: {
        const DialogSeen seen = Run(CanvVideo);
        EXPECT_EQ(seen.text, "Natural-201607041200.avi  :  Error!");
        EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
        return seen.secondary;
      }
      case Writer::Decode:
        r = Cli({"decode", data + "/" + canvtest::Name(IR108, SLOTS[0]), "-o", t[0]});
        break;
      case Writer::Channel:
        r = Cli({"channel", "--data", data, "--slot", SLOTS[0], "--channel", "IR_108", "--rect", RECT, "-o", t[0],
                 "--display", t[1]});
        break;
      case Writer::Composite:
        r = Cli({"composite", "--data", data, "--slot", SLOTS[0], "--recipe", "Natural", "--rect", RECT, "-o", t[0]});
        break;
    }
    EXPECT_EQ(r.status, 1) << r.err;
    return r.err;
  }
};

TEST_P(WriterFaults, FailsAndKeepsTheEarlierFile) {
  fs::create_directories(Folder());
  std::optional<FullTmpfs> tmpfs;
  if (GetParam().fault == Fault::FullTmpfs) {
    tmpfs.emplace(Folder());
    if (!tmpfs->ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
  }
  // An earlier file under each final name, which must come through unchanged.
  for (const std::string& t : Targets()) uitest::TempHome::Write(t, "earlier " + t + "\n");
  if (tmpfs) {
    ASSERT_TRUE(tmpfs->Fill());
  }
  const auto before = Contents(Folder());

  LogCapture log;
  std::string message;
  {
    std::optional<FileSizeLimit> limit;
    if (GetParam().fault == Fault::SizeLimit) {
      limit.emplace(ROOM);
      ASSERT_TRUE(limit->ok());
    }
    message = Fail();
  }
  // The message says what failed and names the file.
  EXPECT_NE(message.find(Targets()[0]), std::string::npos) << message;
  EXPECT_TRUE(message.find("cannot write") != std::string::npos ||
              message.find("incomplete video") != std::string::npos) << message;
  EXPECT_TRUE(Contents(Folder()) == before) << "the folder holds what it held, and no temporary file";
}

std::string FaultName(const ::testing::TestParamInfo<FaultCase>& info) {
  static const char* const writers[] = {"Export", "Video", "CliDecode", "CliChannel", "CliComposite"};
  return std::string(writers[int(info.param.writer)]) + (info.param.fault == Fault::SizeLimit ? "SizeLimit" : "FullTmpfs");
}

INSTANTIATE_TEST_SUITE_P(
    Writers, WriterFaults,
    ::testing::Values(FaultCase{Writer::Export, Fault::SizeLimit}, FaultCase{Writer::Export, Fault::FullTmpfs},
                      FaultCase{Writer::Video, Fault::SizeLimit}, FaultCase{Writer::Video, Fault::FullTmpfs},
                      FaultCase{Writer::Decode, Fault::SizeLimit}, FaultCase{Writer::Decode, Fault::FullTmpfs},
                      FaultCase{Writer::Channel, Fault::SizeLimit}, FaultCase{Writer::Channel, Fault::FullTmpfs},
                      FaultCase{Writer::Composite, Fault::SizeLimit}, FaultCase{Writer::Composite, Fault::FullTmpfs}),
    FaultName);

// With room again, the commands write as ever: the CLI replaces the file it was asked for, the
// window's commands keep the earlier file and take the next number.
TEST_F(OutputFaults, AfterAFullDiskTheWritersWork) {
  fs::create_directories(home / "cli");
  const std::string data = canvtest::Cycle(SLOTS[0]);
  const std::string pgm = home / "cli/segment.pgm";
  uitest::TempHome::Write(pgm, "earlier");
  {
    FileSizeLimit full(ROOM);
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(Cli({"decode", data + "/" + canvtest::Name(IR108, SLOTS[0]), "-o", pgm}).status, 1);
  }
  EXPECT_EQ(uitest::ReadFile(pgm), "earlier");
  const CliRun r = Cli({"decode", data + "/" + canvtest::Name(IR108, SLOTS[0]), "-o", pgm});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(pgm), std::string("P5\n3712 464\n1023\n").size() + 3712 * 464 * 2);

  uitest::TempHome::Write(ExportFile(), "earlier");
  const DialogSeen saved = Run(CanvSaveSelected);
  EXPECT_EQ(saved.text, "Save selected OK.");
  EXPECT_EQ(saved.secondary.rfind(std::string(SLOTS[0]) + "-2.txt in " + Selected() + ": ", 0), 0u) << saved.secondary;
  EXPECT_EQ(uitest::ReadFile(ExportFile()), "earlier");
}

}  // namespace

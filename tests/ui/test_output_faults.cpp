// Every writer of the program ("Save selected", "Make video from the RGB images", nubicorn-cli
// decode, channel and composite) into a folder that is missing or full (a file-size
// limit, and a real tmpfs with a few kB left): a failure with a message naming the file, nothing
// left under the final name (nor a temporary file), an earlier file of that name byte-identical,
// and the window goes on working (the next command into a sound folder succeeds).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>
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

using canvtest::FileSizeLimit;
using canvtest::IR108;
using canvtest::NATURAL;

constexpr const char* SLOTS[] = {"201607041200", "201607041215"};

class OutputFaults : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    Open({SLOTS[0], SLOTS[1]});
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

// Missing folders are not made: both commands fail with their message (a read-only folder
// fails the same way, at the same open).
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

// ---- every writer against a full file system ----

// Room left for the writer: a 2 MB tmpfs filled up to this, or a file-size limit of this. Every
// output below is larger: the export about 1 MB, a video frame some tens of kB, the decoded
// segment 3.4 MB, and the 200 x 100 window's counts 40 kB and its display images several times that.
constexpr size_t ROOM = 16 * 1024;

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

enum class Writer { Export, Video, Decode, Channel, Composite };
enum class Fault { SizeLimit, FullTmpfs };

class WriterFaults : public OutputFaults, public ::testing::WithParamInterface<std::tuple<Writer, Fault>> {
 protected:
  Writer writer() const { return std::get<0>(GetParam()); }
  std::string Folder() {
    return writer() == Writer::Export ? Selected() : writer() == Writer::Video ? Videos() : home / "cli";
  }
  // The final names the writer gives its files.
  std::vector<std::string> Targets() {
    const std::vector<std::string> names[] = {{ExportFile()}, {VideoFile()}, {Folder() + "/segment.pgm"},
                                              {Folder() + "/ir108.pgm", Folder() + "/ir108.png"},
                                              {Folder() + "/natural.png"}};
    return names[int(writer())];
  }
  // Runs the writer; its message (dialog text and detail, or the CLI's error output) when it
  // failed as it should.
  std::string Fail() {
    const std::vector<std::string> t = Targets();
    const std::string data = canvtest::Cycle(SLOTS[0]);
    const std::string rect = "2710,464,200,100";
    std::vector<std::string> args;
    if (writer() == Writer::Export || writer() == Writer::Video) {
      const bool video = writer() == Writer::Video;
      const DialogSeen seen = Run(video ? CanvVideo : CanvSaveSelected);
      EXPECT_EQ(seen.text, video ? "Natural-201607041200.avi  :  Error!" : "Save selected Error!");
      EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
      return seen.secondary;
    }
    if (writer() == Writer::Decode) args = {"decode", data + "/" + canvtest::Name(IR108, SLOTS[0]), "-o", t[0]};
    if (writer() == Writer::Channel)
      args = {"channel", "--data", data, "--slot", SLOTS[0], "--channel", "IR_108", "--rect", rect, "-o", t[0],
              "--display", t[1]};
    if (writer() == Writer::Composite)
      args = {"composite", "--data", data, "--slot", SLOTS[0], "--recipe", "Natural", "--rect", rect, "-o", t[0]};
    args.insert(args.begin(), NUBICORN_CLI);
    const CliRun r = SpawnRun(args);
    EXPECT_EQ(r.status, 1) << r.err;
    return r.err;
  }
};

TEST_P(WriterFaults, FailsAndKeepsTheEarlierFile) {
  fs::create_directories(Folder());
  std::optional<FullTmpfs> tmpfs;
  if (std::get<1>(GetParam()) == Fault::FullTmpfs) {
    tmpfs.emplace(Folder());
    if (!tmpfs->ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
  }
  // An earlier file under each final name, which must come through unchanged.
  for (const std::string& t : Targets()) uitest::TempHome::Write(t, "earlier " + t + "\n");
  if (tmpfs) {
    ASSERT_TRUE(tmpfs->Fill());
  }
  const auto before = uitest::Snapshot(Folder());
  std::string message;
  {
    LogCapture log;
    std::optional<FileSizeLimit> limit;
    if (!tmpfs) {
      limit.emplace(ROOM);
      ASSERT_TRUE(limit->ok());
    }
    message = Fail();
  }
  // The message says what failed and names the file.
  EXPECT_NE(message.find(Targets()[0]), std::string::npos) << message;
  EXPECT_TRUE(message.find("cannot write") != std::string::npos ||
              message.find("incomplete video") != std::string::npos) << message;
  EXPECT_TRUE(uitest::Snapshot(Folder()) == before) << "the folder holds what it held, and no temporary file";
}

std::string WriterName(const ::testing::TestParamInfo<WriterFaults::ParamType>& info) {
  static const char* const writers[] = {"Export", "Video", "CliDecode", "CliChannel", "CliComposite"};
  return std::string(writers[int(std::get<0>(info.param))]) +
         (std::get<1>(info.param) == Fault::SizeLimit ? "SizeLimit" : "FullTmpfs");
}

INSTANTIATE_TEST_SUITE_P(
    Writers, WriterFaults,
    ::testing::Combine(::testing::Values(Writer::Export, Writer::Video, Writer::Decode, Writer::Channel,
                                         Writer::Composite),
                       ::testing::Values(Fault::SizeLimit, Fault::FullTmpfs)),
    WriterName);

// With room again, the commands write as ever: the CLI replaces the file it was asked for, the
// window's commands keep the earlier file and take the next number.
TEST_F(OutputFaults, AfterAFullDiskTheWritersWork) {
  fs::create_directories(home / "cli");
  const std::string data = canvtest::Cycle(SLOTS[0]);
  const std::string pgm = home / "cli/segment.pgm";
  uitest::TempHome::Write(pgm, "earlier");
  const std::vector<std::string> decode = {NUBICORN_CLI, "decode", data + "/" + canvtest::Name(IR108, SLOTS[0]),
                                           "-o", pgm};
  {
    FileSizeLimit full(ROOM);
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(SpawnRun(decode).status, 1);
  }
  EXPECT_EQ(uitest::ReadFile(pgm), "earlier");
  const CliRun r = SpawnRun(decode);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(pgm), std::string("P5\n3712 464\n1023\n").size() + 3712 * 464 * 2);

  uitest::TempHome::Write(ExportFile(), "earlier");
  const DialogSeen saved = Run(CanvSaveSelected);
  EXPECT_EQ(saved.text, "Save selected OK.");
  EXPECT_EQ(saved.secondary.rfind(std::string(SLOTS[0]) + "-2.txt in " + Selected() + ": ", 0), 0u) << saved.secondary;
  EXPECT_EQ(uitest::ReadFile(ExportFile()), "earlier");
}

}  // namespace

// "Make video from the RGB images" on generated slots: the file name, frames read back with
// OpenCV (count, size, colour of the rendered canvas), ffprobe's view of the container, failures.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "canvas/canvvideo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOTS[] = {"201607041200", "201607041215", "201607041230"};
constexpr int IR108 = 9;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;

using uitest::AnswerDialog;
using uitest::DialogSeen;

std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

class Video : public CanvasTest {
 protected:
  void Open(int n) {
    for (int i = 0; i < n; i++) canvtest::Link(home, SLOTS[i]);
    Build();
    ASSERT_TRUE(StartupDone());
    for (int i = 0; i < n; i++) AddSlot(SLOTS[i]);
  }
  DialogSeen Make() {
    DialogSeen seen;
    const guint source = AnswerDialog(&seen);
    CanvVideo(nullptr, nullptr);
    if (!seen.seen) g_source_remove(source);
    uitest::Drain();
    return seen;
  }
  std::string VideoPath(const std::string& file) { return home / ("export/Video/" + file); }
  // Mean BGR colour of the visible canvas as the window draws it now.
  cv::Scalar CanvasMean(int* w, int* h) {
    GtkAdjustment* ha = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    GtkAdjustment* va = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    const double x0 = gtk_adjustment_get_value(ha), y0 = gtk_adjustment_get_value(va);
    *w = int(gtk_adjustment_get_page_size(ha));
    *h = int(gtk_adjustment_get_page_size(va));
    const double s = goo_canvas_get_scale(GOO_CANVAS(canv.canvas));
    cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, *w, *h);
    cairo_t* cr = cairo_create(surf);
    cairo_translate(cr, -x0, -y0);
    cairo_scale(cr, s, s);
    GooCanvasBounds b{x0 / s, y0 / s, (x0 + *w) / s, (y0 + *h) / s};
    goo_canvas_render(GOO_CANVAS(canv.canvas), cr, &b, s);
    cairo_destroy(cr);
    cairo_surface_flush(surf);
    cv::Mat bgra(*h, *w, CV_8UC4, cairo_image_surface_get_data(surf), size_t(cairo_image_surface_get_stride(surf)));
    const cv::Scalar mean = cv::mean(bgra);
    cairo_surface_destroy(surf);
    return mean;
  }
};

TEST(VideoNames, DefaultCompositesAndOthers) {
  EXPECT_EQ(CanvVideoFileName(RECIPE_FIRST_ID, "201607041200"), "MPhys(Air)-201607041200.avi");
  EXPECT_EQ(CanvVideoFileName(NATURAL, "201607041200"), "Natural-201607041200.avi");
  EXPECT_EQ(CanvVideoFileName(RECIPE_FIRST_ID + 6, "201607041200"), "True color HRV-201607041200.avi");
  EXPECT_EQ(CanvVideoFileName(RECIPE_FIRST_ID + 40, "201607041200"), "RGB53-201607041200.avi");
}

// An AVI of the writer the command uses, then the same cut short or with headers that
// announce more than is there: only the whole file passes.
TEST(VideoComplete, OnlyAWholeFileWithEveryFramePasses) {
  uitest::TempHome dir;
  const std::string avi = dir / "whole.avi";
  {
    cv::VideoWriter w(avi, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 2.0, cv::Size(64, 48), true);
    ASSERT_TRUE(w.isOpened());
    for (int i = 0; i < 3; i++) w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(40 * i, 90, 200 - 50 * i)));
  }
  const std::string whole = uitest::ReadFile(avi);
  ASSERT_GT(whole.size(), 200u);
  EXPECT_TRUE(CanvVideoComplete(avi, 3));
  EXPECT_FALSE(CanvVideoComplete(avi, 2));
  EXPECT_FALSE(CanvVideoComplete(avi, 4));
  EXPECT_FALSE(CanvVideoComplete(dir / "missing.avi", 0));
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string bigger = whole;
  bigger[4] = char(uint8_t(bigger[4]) + 2);  // the RIFF size says two bytes more
  std::string frame_cut = whole;
  const size_t first = whole.find("00dc", whole.find("movi"));
  ASSERT_NE(first, std::string::npos);
  frame_cut[first + 5] = char(0x7f);  // a frame chunk longer than the file
  for (const Case& c : {Case{"last byte missing", whole.substr(0, whole.size() - 1)},
                        Case{"half", whole.substr(0, whole.size() / 2)},
                        Case{"headers only", whole.substr(0, first)},
                        Case{"RIFF header only", whole.substr(0, 12)},
                        Case{"empty", ""},
                        Case{"RIFF size too large", bigger},
                        Case{"frame past the end", frame_cut},
                        Case{"no AVI", std::string("RIFF\x04\0\0\0WAVE", 12)}}) {
    uitest::TempHome::Write(dir / "cut.avi", c.bytes);
    EXPECT_FALSE(CanvVideoComplete(dir / "cut.avi", 3)) << c.what;
  }
}

TEST_F(Video, ChannelSelectedAsksForAComposite) {
  Open(1);
  canvtest::CanvasTest::Select(IR108);
  const DialogSeen seen = Make();
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Nubicorn");
  EXPECT_EQ(seen.text, "Select RGB channel first!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
}

TEST_F(Video, OneFramePerSlotOfTheVisibleCanvas) {
  Open(3);
  canvtest::CanvasTest::Select(NATURAL);
  int w = 0, h = 0;
  gtk_range_set_value(GTK_RANGE(canv.range), 2);
  CanvSlotChanged(nullptr, nullptr);
  uitest::Drain();
  const cv::Scalar want = CanvasMean(&w, &h);
  ASSERT_GT(w, 10);
  gtk_range_set_value(GTK_RANGE(canv.range), 0);
  uitest::Drain();
  const DialogSeen seen = Make();
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.text, "Natural-201607041200.avi  :  saved OK.");
  EXPECT_EQ(seen.type, GTK_MESSAGE_INFO);
  const std::string path = VideoPath("Natural-201607041200.avi");
  ASSERT_TRUE(uitest::Exists(path));
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 2);  // left on the last slot

  cv::VideoCapture in(path);
  ASSERT_TRUE(in.isOpened());
  std::vector<cv::Mat> frames;
  for (cv::Mat m; in.read(m);) frames.push_back(m.clone());
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].cols, w & ~1);  // even sizes for the encoder
  EXPECT_EQ(frames[0].rows, h & ~1);
  // The last frame is the canvas of the last slot (plus a small caption).
  const cv::Scalar got = cv::mean(frames[2]);
  for (int k = 0; k < 3; k++) EXPECT_NEAR(got[k], want[k], 6.0) << k;
  // The caption is white text in the top-left corner.
  double lo = 0, hi = 0;
  cv::Mat corner;
  cv::cvtColor(frames[0](cv::Rect(0, 0, std::min(w, 150), std::min(h, 22))), corner, cv::COLOR_BGR2GRAY);
  cv::minMaxLoc(corner, &lo, &hi);
  EXPECT_GT(hi, 200);

  // Nothing but the video is left in the folder.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(home / "export/Video")) entries += bool(e.path().string().size());
  EXPECT_EQ(entries, 1);

  if (Shell("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe (ffmpeg) not installed";
  const std::string probe = Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string"
                                " -show_entries format=format_name -of default=nw=1 '" + path + "'");
  EXPECT_NE(probe.find("codec_name=mjpeg"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_tag_string=MJPG"), std::string::npos) << probe;
  EXPECT_NE(probe.find("format_name=avi"), std::string::npos) << probe;
  // The first frame as a picture under build/, for a person to look at.
  const std::string png = std::string(NUBICORN_BINARY_DIR) + "/video-frame.png";
  Shell("ffmpeg -v error -y -i '" + path + "' -frames:v 1 '" + png + "'");
  EXPECT_TRUE(uitest::Exists(png));
}

// A second and third video from the same first slot never replace the first: they take the
// next numbers, and the message names the file and its folder.
TEST_F(Video, LaterVideosOfOneSlotAreNumbered) {
  Open(2);
  canvtest::CanvasTest::Select(NATURAL);
  std::vector<std::pair<std::string, std::string>> kept;  // path, content
  for (const char* file : {"Natural-201607041200.avi", "Natural-201607041200-2.avi", "Natural-201607041200-3.avi"}) {
    gtk_range_set_value(GTK_RANGE(canv.range), 0);
    uitest::Drain();
    const DialogSeen seen = Make();
    EXPECT_EQ(seen.text, std::string(file) + "  :  saved OK.");
    EXPECT_EQ(seen.secondary, "Saved in " + home / "export/Video" + ".");
    kept.emplace_back(VideoPath(file), uitest::ReadFile(VideoPath(file)));
    EXPECT_TRUE(CanvVideoComplete(kept.back().first, 2)) << file;
    for (const auto& [path, content] : kept) EXPECT_EQ(uitest::ReadFile(path), content) << path << " is unchanged";
  }
}

// A disk that fills just before the end: every frame is written, only the last bytes of the
// index are not. Such a file still plays in a forgiving player, but it is cut short: an error,
// and the earlier video stays the only one.
TEST_F(Video, CutShortAtTheEndIsAnError) {
  Open(3);
  canvtest::CanvasTest::Select(NATURAL);
  ASSERT_EQ(Make().text, "Natural-201607041200.avi  :  saved OK.");
  const std::string first = uitest::ReadFile(VideoPath("Natural-201607041200.avi"));
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = first.size() - 8;  // the same slots make a file of the same size
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  gtk_range_set_value(GTK_RANGE(canv.range), 0);
  uitest::Drain();
  const DialogSeen seen = Make();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(seen.text, "Natural-201607041200.avi  :  Error!");
  EXPECT_NE(seen.secondary.find("incomplete video"), std::string::npos) << seen.secondary;
  EXPECT_EQ(uitest::ReadFile(VideoPath("Natural-201607041200.avi")), first);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(home / "export/Video")) entries += bool(e.path().string().size());
  EXPECT_EQ(entries, 1);
}

TEST_F(Video, MissingFolderIsAnErrorAndLeavesNoFile) {
  Open(2);
  canvtest::CanvasTest::Select(NATURAL);
  std::filesystem::remove_all(home / "export/Video");
  LogCapture log;
  const DialogSeen seen = Make();
  EXPECT_EQ(seen.text, "Natural-201607041200.avi  :  Error!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.secondary.rfind("cannot create " + VideoPath("Natural-201607041200.avi") + ": ", 0), 0u)
      << seen.secondary;
  EXPECT_FALSE(uitest::Exists(home / "export/Video"));
}

TEST_F(Video, Screenshot) {
  Open(2);
  canvtest::CanvasTest::Select(NATURAL);
  gtk_window_move(GTK_WINDOW(app.window), 0, 0);
  for (int i = 0; i < 20; i++) {
    uitest::Drain();
    g_usleep(20000);
  }
  const std::string out = std::string(NUBICORN_BINARY_DIR) + "/video-window.png";
  if (std::system(("import -window root '" + out + "' 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no import";
  EXPECT_TRUE(uitest::Exists(out));
}

}  // namespace

// "Make video from the RGB images" on generated slots: the file name, frames read back with
// OpenCV (count, size, colour of the rendered canvas), ffprobe's view of the container (AVI and
// MP4), the completeness checks of both, the "video-format" setting, failures.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "canvas/canvvideo.h"
#include "dialogs/dlg.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOTS[] = {"201607041200", "201607041215", "201607041230"};
constexpr int IR108 = 9;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;

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
    return uitest::Answered([] { CanvVideo(nullptr, nullptr); });
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
  EXPECT_EQ(CanvVideoFileName(NATURAL, "201607041200", ConfVideoFormat::Mp4), "Natural-201607041200.mp4");
}

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// An MP4 of the writer the command uses, then the same cut short, garbled or rearranged: only
// a file of whole boxes with ftyp first, moov and mdat passes.
TEST(VideoBoxes, OnlyWholeBoxesWithFtypMoovAndMdatPass) {
  uitest::TempHome dir;
  const std::string mp4 = dir / "whole.mp4";
  {
    cv::VideoWriter w;
    for (const char* code : CanvVideoCodecsMp4)
      if (w.open(mp4, cv::VideoWriter::fourcc(code[0], code[1], code[2], code[3]), 2.0, cv::Size(64, 48), true)) break;
    ASSERT_TRUE(w.isOpened());
    for (int i = 0; i < 3; i++) w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(40 * i, 90, 200 - 50 * i)));
  }
  const std::string whole = uitest::ReadFile(mp4);
  ASSERT_GT(whole.size(), 200u);
  ASSERT_EQ(whole.substr(4, 4), "ftyp");
  EXPECT_TRUE(CanvVideoBoxesComplete(mp4));
  EXPECT_FALSE(CanvVideoBoxesComplete(dir / "missing.mp4"));
  const size_t moov = whole.find("moov") - 4, mdat = whole.find("mdat") - 4, trak = whole.find("trak") - 4;
  ASSERT_LT(mdat, moov);  // the writer puts the index last: a cut loses it first
  ASSERT_EQ(whole.substr(mdat - 8, 8), std::string("\0\0\0\x08" "free", 8));
  const uint32_t mdat_size = uint32_t(moov - mdat);
  std::string large = whole;  // the 8 bytes of 'free' given to a 64-bit size of 'mdat'
  large.replace(mdat - 8, 16, Be32(1) + "mdat" + Be32(0) + Be32(mdat_size + 8));
  std::string open_mdat = whole;  // the size a writer stopped before the end leaves
  open_mdat.replace(mdat, 4, Be32(0));
  std::string moov_long = whole;
  moov_long.replace(moov, 4, Be32(uint32_t(whole.size() - moov + 1)));
  std::string trak_long = whole;  // inside moov: a box past the end of its parent
  trak_long.replace(trak, 4, Be32(uint32_t(whole.size() - trak + 1)));
  std::string garbled = whole;
  garbled.replace(mdat + 4, 4, std::string("\x01\x02\x03\x04", 4));
  std::string tiny = whole;
  tiny.replace(moov, 4, Be32(4));  // shorter than its own header
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
  };
  for (const Case& c : {Case{"64-bit mdat size", large, true},
                        Case{"last byte missing", whole.substr(0, whole.size() - 1), false},
                        Case{"cut before moov", whole.substr(0, moov), false},
                        Case{"half", whole.substr(0, whole.size() / 2), false},
                        Case{"ftyp only", whole.substr(0, mdat - 8), false},
                        Case{"empty", "", false},
                        Case{"a header cut", whole + std::string("\0\0\0", 3), false},
                        Case{"unfinished mdat", open_mdat, false},
                        Case{"moov longer than the file", moov_long, false},
                        Case{"trak longer than moov", trak_long, false},
                        Case{"box size below its header", tiny, false},
                        Case{"garbled type", garbled, false},
                        Case{"no moov", whole.substr(0, moov) + Be32(8) + "free", false},
                        Case{"ftyp not first", Be32(8) + "free" + whole, false},
                        Case{"no ftyp", whole.substr(mdat - 8), false}}) {
    uitest::TempHome::Write(dir / "cut.mp4", c.bytes);
    EXPECT_EQ(CanvVideoBoxesComplete(dir / "cut.mp4"), c.ok) << c.what;
  }
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
  // The caption is white text in the top-left corner, 3 canvas units in (pixels at the zoom).
  double lo = 0, hi = 0;
  cv::Mat corner;
  const int below = int(3 * goo_canvas_get_scale(GOO_CANVAS(canv.canvas))) + 24;
  cv::cvtColor(frames[0](cv::Rect(0, 0, std::min(w, 150), std::min(h, below))), corner, cv::COLOR_BGR2GRAY);
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

// The Interface page's combo switches to MP4; the video is H.264 (or MPEG-4 Part 2 where the
// message says so) with one frame per slot, and a second one of the same slot takes "-2".
TEST_F(Video, Mp4ChosenOnTheInterfacePageIsProbedWhole) {
  Open(3);
  canvtest::CanvasTest::Select(NATURAL);
  {
    GtkWidget* page = g_object_ref_sink(DlgAidsNew());
    GList* children = gtk_container_get_children(GTK_CONTAINER(page));
    GtkWidget* combo = nullptr;
    for (GList* l = children; l; l = l->next)
      if (GTK_IS_COMBO_BOX(l->data)) combo = GTK_WIDGET(l->data);
    g_list_free(children);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), int(ConfVideoFormat::Avi));
    conf.unsaved = 0;
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), int(ConfVideoFormat::Mp4));
    EXPECT_EQ(conf.video_format, ConfVideoFormat::Mp4);
    EXPECT_EQ(conf.unsaved, CONF_SAVE_INTERFACE);
    gtk_widget_destroy(page);
    g_object_unref(page);
  }
  std::vector<std::pair<std::string, std::string>> kept;  // path, content
  for (const char* file : {"Natural-201607041200.mp4", "Natural-201607041200-2.mp4"}) {
    gtk_range_set_value(GTK_RANGE(canv.range), 0);
    uitest::Drain();
    const DialogSeen seen = Make();
    ASSERT_EQ(seen.text, std::string(file) + "  :  saved OK.");
    EXPECT_EQ(seen.secondary.rfind("Saved in " + home / "export/Video" + ".", 0), 0u) << seen.secondary;
    const std::string path = VideoPath(file);
    kept.emplace_back(path, uitest::ReadFile(path));
    EXPECT_TRUE(CanvVideoBoxesComplete(path));
    for (const auto& [p, content] : kept) EXPECT_EQ(uitest::ReadFile(p), content) << p << " is unchanged";

    if (Shell("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe (ffmpeg) not installed";
    const bool fallback = seen.secondary.find("(mp4v)") != std::string::npos;
    const std::string json = Shell("ffprobe -v error -count_frames -show_streams -of json '" + path + "'");
    size_t streams = 0;
    for (size_t at = json.find("\"codec_type\""); at != std::string::npos; at = json.find("\"codec_type\"", at + 1)) streams++;
    EXPECT_EQ(streams, 1u) << json;
    EXPECT_NE(json.find("\"codec_type\": \"video\""), std::string::npos) << json;
    EXPECT_NE(json.find(fallback ? "\"codec_name\": \"mpeg4\"" : "\"codec_name\": \"h264\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"nb_frames\": \"3\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"nb_read_frames\": \"3\""), std::string::npos) << json;
  }
  int entries = 0;  // no temporary file is left behind
  for (const auto& e : std::filesystem::directory_iterator(home / "export/Video")) entries += bool(e.path().string().size());
  EXPECT_EQ(entries, 2);
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
// and the earlier video stays the only one, in either format.
TEST_F(Video, CutShortAtTheEndIsAnError) {
  Open(3);
  canvtest::CanvasTest::Select(NATURAL);
  for (const ConfVideoFormat format : {ConfVideoFormat::Avi, ConfVideoFormat::Mp4}) {
    conf.video_format = format;
    const std::string name = CanvVideoFileName(NATURAL, SLOTS[0], format);
    gtk_range_set_value(GTK_RANGE(canv.range), 0);
    uitest::Drain();
    ASSERT_EQ(Make().text, name + "  :  saved OK.");
    const std::string first = uitest::ReadFile(VideoPath(name));
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    // The same slots make an AVI of the same size; the H.264 encoder's threads may change an
    // MP4's size by a little, so it is cut within its last 5 %.
    small.rlim_cur = format == ConfVideoFormat::Avi ? first.size() - 8 : first.size() - first.size() / 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    gtk_range_set_value(GTK_RANGE(canv.range), 0);
    uitest::Drain();
    const DialogSeen seen = Make();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(seen.text, name + "  :  Error!");
    EXPECT_NE(seen.secondary.find("incomplete video"), std::string::npos) << seen.secondary;
    EXPECT_EQ(uitest::ReadFile(VideoPath(name)), first);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(home / "export/Video")) entries += bool(e.path().string().size());
    EXPECT_EQ(entries, format == ConfVideoFormat::Avi ? 1 : 2) << name;
  }
}

}  // namespace

// "Make video from the RGB images" on generated slots: the file name, frames read back with
// OpenCV (count, size, colour of the rendered canvas), ffprobe's view of the container (AVI and
// MP4), the completeness checks of both, the "video-format" setting, failures; and the animation
// through the "Time slot" scale: the step rule, one timer at the configured pace, Stop, Rewind
// and Forward.
#include <gtest/gtest.h>

#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "canvas/canvanim.h"
#include "canvas/canvvideo.h"
#include "dialogs/dlg.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::IR108;
using canvtest::NATURAL;
using uitest::DialogSeen;

constexpr const char* SLOTS[] = {"201607041200", "201607041215", "201607041230"};

std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

class Video : public canvtest::CanvasTest {
 protected:
  // The window on the first n slots with the natural colours selected, shown from the first.
  void OpenNatural(int n, const std::string& ini = {}) {
    Open(std::vector<std::string>(SLOTS, SLOTS + n), ini);
    Select(NATURAL);
    ShowSlot(0);
  }
  DialogSeen Make() {
    ShowSlot(0);
    return uitest::Answered([] { CanvVideo(nullptr, nullptr); });
  }
  std::string VideoPath(const std::string& file) { return home / ("export/Video/" + file); }
  size_t Videos() {
    const auto all = std::filesystem::directory_iterator(home / "export/Video");
    return size_t(std::distance(begin(all), end(all)));
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
  Open({SLOTS[0]});
  Select(IR108);
  const DialogSeen seen = Make();
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Nubicorn");
  EXPECT_EQ(seen.text, "Select RGB channel first!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
}

TEST_F(Video, OneFramePerSlotOfTheVisibleCanvasAtTheConfiguredRate) {
  OpenNatural(3, "[Interface]\nvideo-fps=5\n");
  ShowSlot(2);
  const cv::Mat last = RenderVisible();
  ASSERT_GT(last.cols, 10);
  const DialogSeen seen = Make();
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.text, "Natural-201607041200.avi  :  saved OK.");
  EXPECT_EQ(seen.type, GTK_MESSAGE_INFO);
  const std::string path = VideoPath("Natural-201607041200.avi");
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 2);  // left on the last slot
  EXPECT_EQ(Videos(), 1u) << "nothing but the video is left in the folder";
  cv::VideoCapture in(path);
  ASSERT_TRUE(in.isOpened());
  EXPECT_DOUBLE_EQ(in.get(cv::CAP_PROP_FPS), 5.0);
  std::vector<cv::Mat> frames;
  for (cv::Mat m; in.read(m);) frames.push_back(m.clone());
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].cols, last.cols & ~1);  // even sizes for the encoder
  EXPECT_EQ(frames[0].rows, last.rows & ~1);
  // The last frame is the canvas of the last slot (plus a small caption).
  const cv::Scalar got = cv::mean(frames[2]), want = cv::mean(last);
  for (int k = 0; k < 3; k++) EXPECT_NEAR(got[k], want[k], 6.0) << k;
  // The caption is white text in the top-left corner, 3 canvas units in (pixels at the zoom).
  double lo = 0, hi = 0;
  cv::Mat corner;
  const int below = int(3 * goo_canvas_get_scale(GOO_CANVAS(canv.canvas))) + 24;
  cv::cvtColor(frames[0](cv::Rect(0, 0, std::min(last.cols, 150), std::min(last.rows, below))), corner,
               cv::COLOR_BGR2GRAY);
  cv::minMaxLoc(corner, &lo, &hi);
  EXPECT_GT(hi, 200);
  if (Shell("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe (ffmpeg) not installed";
  const std::string probe = Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string"
                                  " -show_entries format=format_name -of default=nw=1 '" + path + "'");
  EXPECT_EQ(probe, "codec_name=mjpeg\ncodec_tag_string=MJPG\nformat_name=avi\n");
}

// The Interface page's combo switches to MP4; the video is H.264 (or MPEG-4 Visual where the
// message says so) with one frame per slot, and a second one of the same slot takes "-2".
TEST_F(Video, Mp4ChosenOnTheInterfacePageIsProbedWhole) {
  OpenNatural(3);
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
  std::vector<std::pair<std::string, std::string>> kept;  // path, content
  for (const char* file : {"Natural-201607041200.mp4", "Natural-201607041200-2.mp4"}) {
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
    EXPECT_EQ(json.find("\"codec_type\""), json.rfind("\"codec_type\"")) << "one stream: " << json;
    EXPECT_NE(json.find("\"codec_type\": \"video\""), std::string::npos) << json;
    EXPECT_NE(json.find(fallback ? "\"codec_name\": \"mpeg4\"" : "\"codec_name\": \"h264\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"nb_frames\": \"3\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"nb_read_frames\": \"3\""), std::string::npos) << json;
  }
  EXPECT_EQ(Videos(), 2u) << "no temporary file is left behind";
}

// A disk that fills just before the end: every frame is written, only the last bytes of the
// index are not. Such a file still plays in a forgiving player, but it is cut short: an error,
// and the earlier video stays the only one, in either format.
TEST_F(Video, CutShortAtTheEndIsAnError) {
  OpenNatural(3);
  for (const ConfVideoFormat format : {ConfVideoFormat::Avi, ConfVideoFormat::Mp4}) {
    conf.video_format = format;
    const std::string name = CanvVideoFileName(NATURAL, SLOTS[0], format);
    ASSERT_EQ(Make().text, name + "  :  saved OK.");
    const std::string first = uitest::ReadFile(VideoPath(name));
    DialogSeen seen;
    {
      // The same slots make an AVI of the same size; the H.264 encoder's threads may change an
      // MP4's size by a little, so it is cut within its last 5 %.
      canvtest::FileSizeLimit full(format == ConfVideoFormat::Avi ? first.size() - 8 : first.size() * 19 / 20);
      ASSERT_TRUE(full.ok());
      seen = Make();
    }
    EXPECT_EQ(seen.text, name + "  :  Error!");
    EXPECT_NE(seen.secondary.find("incomplete video"), std::string::npos) << seen.secondary;
    EXPECT_EQ(uitest::ReadFile(VideoPath(name)), first);
    EXPECT_EQ(Videos(), format == ConfVideoFormat::Avi ? 1u : 2u) << name;
  }
}

// ---- animation through the "Time slot" scale ----

TEST(AnimNext, WrapsAfterTheLastSlot) {
  const struct {
    int index, count, next;
  } cases[] = {{0, 3, 1}, {1, 3, 2}, {2, 3, 0}, {0, 1, 0}, {0, 0, 0}, {5, 3, 0}};
  for (const auto& c : cases) EXPECT_EQ(CanvAnimNext(c.index, c.count), c.next) << c.index << " of " << c.count;
}

class Anim : public canvtest::CanvasTest {
 protected:
  void OpenIr(int n, const std::string& ini = {}) {
    Open(std::vector<std::string>(SLOTS, SLOTS + n), ini);
    Select(IR108);
  }
  int Value() { return int(gtk_range_get_value(GTK_RANGE(canv.range))); }
  bool Alive(guint id) { return id && g_main_context_find_source_by_id(nullptr, id) != nullptr; }
};

TEST_F(Anim, StepsOneSlotAndWrapsShowingEachSlot) {
  OpenIr(3);
  CanvAnimForward(nullptr, nullptr);
  EXPECT_EQ(Value(), 2);
  canv.play = 1;
  EXPECT_TRUE(CanvAnimStep(nullptr));
  EXPECT_EQ(Value(), 0);
  uitest::Drain();
  ASSERT_NE(SlotAt(0)[IR108], nullptr);  // the first slot's layer was loaded to be shown
  EXPECT_EQ(canv.slot_shown, 0);
  EXPECT_TRUE(CanvAnimStep(nullptr));
  EXPECT_EQ(Value(), 1);
  EXPECT_NE(SlotAt(1)[IR108], nullptr);
  EXPECT_EQ(canv.slot_shown, 1);
  canv.play = 0;
  EXPECT_FALSE(CanvAnimStep(nullptr));  // stopped: the timer ends
  EXPECT_EQ(Value(), 1);
}

TEST_F(Anim, PlayTwiceKeepsOneTimerAtThePaceAndStopRemovesItAtOnce) {
  OpenIr(3, "[Interface]\nanimation-step-ms=250\n");
  CanvAnimPlay(nullptr, nullptr);
  const guint first = canv.play_source;
  EXPECT_EQ(canv.play, 1);
  ASSERT_TRUE(Alive(first));
  // Due within the step (the default would be a second away).
  const gint64 wait = g_source_get_ready_time(g_main_context_find_source_by_id(nullptr, first)) -
                      g_get_monotonic_time();
  EXPECT_GT(wait, 0);
  EXPECT_LE(wait, 250000);
  CanvAnimPlay(nullptr, nullptr);
  EXPECT_EQ(canv.play_source, first);
  CanvAnimStop(nullptr, nullptr);
  EXPECT_EQ(canv.play, 0);
  EXPECT_FALSE(Alive(first));
  CanvAnimPlay(nullptr, nullptr);  // Play again within the step: only the new timer runs
  EXPECT_TRUE(Alive(canv.play_source));
  EXPECT_FALSE(Alive(first));
  // Closing the window while playing removes the timer.
  const guint second = canv.play_source;
  Close();
  EXPECT_FALSE(Alive(second));
}

TEST_F(Anim, RewindAndForwardWithOneSlotStayAtZero) {
  OpenIr(1);
  CanvAnimForward(nullptr, nullptr);
  EXPECT_EQ(Value(), 0);
  CanvAnimRewind(nullptr, nullptr);
  EXPECT_EQ(Value(), 0);
}

}  // namespace

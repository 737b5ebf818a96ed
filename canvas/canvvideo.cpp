// The video of the slots: offscreen renders of the visible canvas written by OpenCV, as MJPG in
// AVI or H.264 in MP4.
#include "canvas/canvvideo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <span>

#include "app/app.h"
#include "app/platform.h"
#include "app/suplgtk.h"
#include "canvas/canv.h"
#include "canvas/canvreadout.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "data/supl.h"
#include "data/suplsave.h"
#include "settings/conf.h"

const char* const CanvVideoCodecs[8] = {"MJPG", "MP42", "DIV3", "DIVX", "U263", "I263", "FLV1", "PIM1"};
const char* const CanvVideoCodecsMp4[2] = {"avc1", "mp4v"};
const char* const CanvVideoNames[7] = {"MPhys(Air)", "MPhys(Night)", "MPhys(Day)",   "Natural",
                                       "Cloud top HRV", "HRV MPhys", "True color HRV"};

namespace {

constexpr const char* VIDEO_DIR = "export/Video";
constexpr double CAPTION_PX = 14.0;  // caption height on the frame, whatever the zoom

void Message(bool ok, const std::string& text, const std::string& detail) {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* d = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, ok ? GTK_MESSAGE_INFO : GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", text.c_str());
  if (!detail.empty()) gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d), "%s", detail.c_str());
  gtk_window_set_title(GTK_WINDOW(d), "Nubicorn");
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

void ShowSlot(int i) {
  Canv* c = Canv_get;
  gtk_range_set_value(GTK_RANGE(c->range), i);
  if (c->slot_source) {
    g_source_remove(c->slot_source);
    c->slot_source = 0;
  }
  CanvSlotChanged(nullptr, nullptr);
}

// A video that cannot be read back whole is no video.
bool Readable(const std::string& path, int frames) {
  cv::VideoCapture in(path);
  if (!in.isOpened()) return false;
  int n = 0;
  for (cv::Mat m; in.read(m);) n++;
  return n == frames;
}

uint32_t Le32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool ReadAt(int fd, off_t at, unsigned char* buf, size_t n) { return pread(fd, buf, n, at) == ssize_t(n); }

// Frame chunks ("##dc", "##db") of the chunks in [at, end), looking into lists; -1 when a chunk
// runs past end.
long CountFrames(int fd, off_t at, off_t end, int depth) {
  long frames = 0;
  while (at + 8 <= end) {
    unsigned char h[8] = {};
    if (!ReadAt(fd, at, h, 8)) return -1;
    const uint32_t size = Le32(h + 4);
    const off_t data_end = at + 8 + off_t(size);
    if (data_end > end) return -1;
    if (!std::memcmp(h, "LIST", 4) && depth < 4) {
      const long inner = CountFrames(fd, at + 12, data_end, depth + 1);
      if (inner < 0) return -1;
      frames += inner;
    } else if (!std::memcmp(h + 2, "dc", 2) || !std::memcmp(h + 2, "db", 2)) {
      frames++;
    }
    at = data_end + (size & 1);  // chunks are padded to even sizes
  }
  return at >= end ? frames : -1;
}

uint64_t Be(const unsigned char* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = v << 8 | p[i];
  return v;
}

// Boxes whose content is boxes again (the others hold fields or media data).
bool BoxOfBoxes(const unsigned char* type) {
  for (const char* t : {"moov", "trak", "mdia", "minf", "stbl", "edts", "dinf"})
    if (!std::memcmp(type, t, 4)) return true;
  return false;
}

// TRUE when the boxes of [at, end) fill it exactly, each with a printable type and a size
// within its parent; types[] (at the top level) collects ftyp (first), moov and mdat.
bool BoxesFill(int fd, off_t at, off_t end, int depth, bool* types) {
  for (bool first = true; at < end; first = false) {
    unsigned char h[16] = {};
    if (end - at < 8 || !ReadAt(fd, at, h, 8)) return false;
    uint64_t size = Be(h, 4);
    off_t head = 8;
    if (size == 1) {  // a 64-bit size follows the type
      if (end - at < 16 || !ReadAt(fd, at + 8, h + 8, 8)) return false;
      size = Be(h + 8, 8);
      head = 16;
    }
    // Size 0 ("to the end of the file") is what the writer leaves in the 'mdat' it never
    // closed: a finished file has none.
    if (size < uint64_t(head) || size > uint64_t(end - at)) return false;
    for (int k = 4; k < 8; k++)
      if (h[k] < 0x20 || h[k] > 0x7e) return false;
    if (types) {
      if (first != !std::memcmp(h + 4, "ftyp", 4)) return false;
      types[0] = true;
      types[1] = types[1] || !std::memcmp(h + 4, "moov", 4);
      types[2] = types[2] || !std::memcmp(h + 4, "mdat", 4);
    }
    if (depth < 6 && BoxOfBoxes(h + 4) && !BoxesFill(fd, at + head, at + off_t(size), depth + 1, nullptr))
      return false;
    at += off_t(size);
  }
  return true;
}

}  // namespace

bool CanvVideoBoxesComplete(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool types[3] = {};  // ftyp, moov, mdat
  const bool ok = fstat(fd, &st) == 0 && BoxesFill(fd, 0, st.st_size, 0, types);
  close(fd);
  return ok && types[0] && types[1] && types[2];
}

bool CanvVideoComplete(const std::string& path, int frames) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && st.st_size >= 12;
  long found = 0;
  // An AVI is one "RIFF" "AVI " chunk (followed by "AVIX" ones when large), each as long as it
  // says: a writer that ran out of room leaves a shorter file than its headers announce.
  for (off_t at = 0; ok && at < st.st_size;) {
    unsigned char h[12] = {};
    ok = ReadAt(fd, at, h, 12) && !std::memcmp(h, "RIFF", 4) &&
         !std::memcmp(h + 8, at == 0 ? "AVI " : "AVIX", 4);
    const off_t end = at + 8 + off_t(Le32(h + 4));
    ok = ok && end <= st.st_size;
    const long n = ok ? CountFrames(fd, at + 12, end, 0) : -1;
    ok = ok && n >= 0;
    found += n;
    at = end + (end & 1);
  }
  close(fd);
  return ok && found == frames;
}

std::string CanvVideoFileName(int id, const std::string& slot, ConfVideoFormat format) {
  std::string name;
  if (id >= RECIPE_FIRST_ID && id < RECIPE_FIRST_ID + 7)
    name = CanvVideoNames[id - RECIPE_FIRST_ID];
  else if (Conf_get && id >= RECIPE_FIRST_ID && size_t(id - RECIPE_FIRST_ID) < Conf_get->recipes.size())
    name = Conf_get->recipes[size_t(id - RECIPE_FIRST_ID)].name;
  else if (id == FCI_TRUE_COLOUR_ID)
    name = "True colour";
  if (name.empty()) name = "RGB" + std::to_string(id);
  for (char& ch : name)
    if (ch == '/' || ch == '\\') ch = '_';
  return name + "-" + slot + "." + CONF_VIDEO_FORMATS[int(format)];
}

gboolean CanvVideoWrite(std::string* file, int* frames, std::string* err, std::string* fourcc) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (frames) *frames = 0;
  auto fail = [err](const std::string& reason) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", reason.c_str());
    if (err) *err = reason;
    return FALSE;
  };
  if (!c || !conf || !App_get || !conf->slots) return fail("Make video: no slot is open");
  const int id = CanvTreeGetId();
  const Slot* first = static_cast<const Slot*>(conf->slots->data);
  std::string slot_text;
  for (int i = 0; i < SLOT_SIZE && slot_text.empty(); i++)
    if (first[i]) slot_text = first[i]->slot;
  const bool mp4 = conf->video_format == ConfVideoFormat::Mp4;
  *file = CanvVideoFileName(id, slot_text, conf->video_format);
  GStr dir(g_build_filename(App_get->home.c_str(), VIDEO_DIR, nullptr));
  const std::string path = std::string(dir.get()) + "/" + *file;

  GtkAdjustment* ha = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(c->scroll));
  GtkAdjustment* va = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(c->scroll));
  const double x0 = gtk_adjustment_get_value(ha), y0 = gtk_adjustment_get_value(va);
  const double w = gtk_adjustment_get_page_size(ha), h = gtk_adjustment_get_page_size(va);
  const double s = goo_canvas_get_scale(GOO_CANVAS(c->canvas));
  // The encoder works on even sizes: an odd last row or column is left out.
  const int W = int(w) & ~1, H = int(h) & ~1;
  if (W < 2 || H < 2) return fail(path + ": the visible canvas is too small for a frame");

  // The writer picks the container by the extension: the temporary name keeps it.
  SuplSave out(path, SuplPublish::Numbered, mp4 ? ".mp4" : ".avi");
  if (!out.ok()) return fail(out.error());
  out.WrittenElsewhere();
  cv::VideoWriter writer;
  const char* used = nullptr;
  using Codes = std::span<const char* const>;
  for (const char* code : mp4 ? Codes(CanvVideoCodecsMp4) : Codes(CanvVideoCodecs))
    if (writer.open(out.temp(), cv::VideoWriter::fourcc(code[0], code[1], code[2], code[3]), conf->video_fps, cv::Size(W, H),
                    true)) {
      used = code;
      break;
    }
  if (!writer.isOpened()) return fail(path + ": no video codec can be opened");

  GHolder<cairo_surface_t, cairo_surface_destroy> surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
  GHolder<cairo_t, cairo_destroy> cr(cairo_create(surface.get()));
  cairo_translate(cr.get(), -x0, -y0);
  cairo_scale(cr.get(), s, s);
  const GooCanvasBounds bounds{x0 / s, y0 / s, (x0 + w) / s, (y0 + h) / s};
  GHolder<PangoFontDescription, pango_font_description_free> font(pango_font_description_new());
  pango_font_description_set_family(font.get(), "serif");
  pango_font_description_set_weight(font.get(), PangoWeight(700));
  // The context is in canvas units: the caption keeps its size on the frame at every zoom.
  pango_font_description_set_absolute_size(font.get(), CAPTION_PX / s * PANGO_SCALE);
  cv::Mat bgr(H, W, CV_8UC3);

  int written = 0;
  for (int i = 0; i < int(g_list_length(conf->slots)); i++) {  // showing a slot may close others
    ShowSlot(i);
    goo_canvas_render(GOO_CANVAS(c->canvas), cr.get(), &bounds, s);
    const Slot* slot = static_cast<const Slot*>(g_list_nth_data(conf->slots, guint(i)));
    std::string text;
    for (int k = 0; slot && k < SLOT_SIZE && text.empty(); k++)
      if (slot[k]) text = slot[k]->slot;
    const std::string caption = CanvCaption(id, text.c_str());
    SuplPangoCairoText(cr.get(), font.get(), x0 / s + 3.0, y0 / s + 3.0, caption.c_str(), 255, 255, 255);
    cairo_surface_flush(surface.get());
    const cv::Mat bgra(H, W, CV_8UC4, cairo_image_surface_get_data(surface.get()),
                       size_t(cairo_image_surface_get_stride(surface.get())));
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    writer.write(bgr);
    written++;
  }
  writer.release();
  // The writer does not report failed writes (a full disk): the file must hold every frame in
  // a container as long as it says, and read back whole, before it takes its name.
  const bool whole = mp4 ? CanvVideoBoxesComplete(out.temp()) : CanvVideoComplete(out.temp(), written);
  if (!whole || !Readable(out.temp(), written))
    return fail(path + ": incomplete video (the disk may be full)");
  if (!out.Publish()) return fail(out.error());
  GStr base(g_path_get_basename(out.path().c_str()));
  *file = base.get();
  if (frames) *frames = written;
  if (fourcc) *fourcc = used;
  return TRUE;
}

void CanvVideo(GtkWidget*, gpointer) {
  const int id = CanvTreeGetId();
  if (id < RECIPE_FIRST_ID || InfoIsFci(id)) {
    Message(false, "Select RGB channel first!", "");
    return;
  }
  CanvGuard guard;
  if (!guard.ok()) return;
  CanvBusy(true);
  std::string file, err, fourcc;
  const gboolean ok = CanvVideoWrite(&file, nullptr, &err, &fourcc);
  CanvBusy(false);
  GStr text(g_strdup_printf("%s  :  %s", file.c_str(), ok ? "saved OK." : "Error!"));
  GStr dir(g_build_filename(App_get ? App_get->home.c_str() : "", VIDEO_DIR, nullptr));
  std::string detail = ok ? std::string("Saved in ") + dir.get() + "." : err;
  // A player that wants H.264 may refuse the fallback: the user is told which codec it is.
  if (ok && fourcc == CanvVideoCodecsMp4[1])
    detail += std::string(" No H.264 encoder is available: the video is MPEG-4 Part 2 (") + fourcc + ").";
  Message(ok, text.get(), detail);
}

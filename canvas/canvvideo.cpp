// The video of the slots: offscreen renders of the visible canvas written by OpenCV.
#include "canvas/canvvideo.h"

#include <glib/gstdio.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "app/app.h"
#include "app/platform.h"
#include "app/suplgtk.h"
#include "canvas/canv.h"
#include "canvas/canvreadout.h"
#include "data/fileinfo.h"
#include "data/supl.h"
#include "settings/conf.h"

const char* const CanvVideoCodecs[8] = {"MJPG", "MP42", "DIV3", "DIVX", "U263", "I263", "FLV1", "PIM1"};
const char* const CanvVideoNames[7] = {"MPhys(Air)", "MPhys(Night)", "MPhys(Day)",   "Natural",
                                       "Cloud top HRV", "HRV MPhys", "True color HRV"};

namespace {

constexpr const char* VIDEO_DIR = "export/Video";
constexpr double CAPTION_PX = 14.0;  // caption height on the frame, whatever the zoom

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct FontFree {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};

void Message(bool ok, const std::string& text) {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* d = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, ok ? GTK_MESSAGE_INFO : GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", text.c_str());
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

}  // namespace

std::string CanvVideoFileName(int id, const std::string& slot) {
  std::string name;
  if (id >= RECIPE_FIRST_ID && id < RECIPE_FIRST_ID + 7)
    name = CanvVideoNames[id - RECIPE_FIRST_ID];
  else if (Conf_get && id >= RECIPE_FIRST_ID && size_t(id - RECIPE_FIRST_ID) < Conf_get->recipes.size())
    name = Conf_get->recipes[size_t(id - RECIPE_FIRST_ID)].name;
  if (name.empty()) name = "RGB" + std::to_string(id);
  for (char& ch : name)
    if (ch == '/' || ch == '\\') ch = '_';
  return name + "-" + slot + ".avi";
}

gboolean CanvVideoWrite(std::string* file, int* frames) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (frames) *frames = 0;
  if (!c || !conf || !App_get || !conf->slots) return FALSE;
  const int id = CanvTreeGetId();
  const Slot* first = static_cast<const Slot*>(conf->slots->data);
  std::string slot_text;
  for (int i = 0; i < SLOT_SIZE && slot_text.empty(); i++)
    if (first[i]) slot_text = first[i]->slot;
  *file = CanvVideoFileName(id, slot_text);
  std::unique_ptr<gchar, GFree> dir(g_build_filename(App_get->home.c_str(), VIDEO_DIR, nullptr));
  const std::string path = std::string(dir.get()) + "/" + *file;

  GtkAdjustment* ha = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(c->scroll));
  GtkAdjustment* va = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(c->scroll));
  const double x0 = gtk_adjustment_get_value(ha), y0 = gtk_adjustment_get_value(va);
  const double w = gtk_adjustment_get_page_size(ha), h = gtk_adjustment_get_page_size(va);
  const double s = goo_canvas_get_scale(GOO_CANVAS(c->canvas));
  // The encoder works on even sizes: an odd last row or column is left out.
  const int W = int(w) & ~1, H = int(h) & ~1;
  if (W < 2 || H < 2) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d", "canvvideo", __LINE__);
    return FALSE;
  }

  // The writer picks the container by the extension: the temporary name keeps ".avi".
  std::string tmp = std::string(dir.get()) + "/." + *file + "-XXXXXX.avi";
  const int fd = g_mkstemp(tmp.data());
  if (fd < 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: %s", path.c_str(), g_strerror(errno));
    return FALSE;
  }
  close(fd);
  cv::VideoWriter writer;
  for (const char* code : CanvVideoCodecs)
    if (writer.open(tmp, cv::VideoWriter::fourcc(code[0], code[1], code[2], code[3]), conf->video_fps, cv::Size(W, H), true))
      break;
  if (!writer.isOpened()) {
    g_unlink(tmp.c_str());
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d", "canvvideo", __LINE__);
    return FALSE;
  }

  std::unique_ptr<cairo_surface_t, SurfaceFree> surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
  std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
  cairo_translate(cr.get(), -x0, -y0);
  cairo_scale(cr.get(), s, s);
  const GooCanvasBounds bounds{x0 / s, y0 / s, (x0 + w) / s, (y0 + h) / s};
  std::unique_ptr<PangoFontDescription, FontFree> font(pango_font_description_new());
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
  if (!Readable(tmp, written) || g_rename(tmp.c_str(), path.c_str()) != 0) {
    g_unlink(tmp.c_str());
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: incomplete video", path.c_str());
    return FALSE;
  }
  if (frames) *frames = written;
  return TRUE;
}

void CanvVideo(GtkWidget*, gpointer) {
  const int id = CanvTreeGetId();
  if (id < RECIPE_FIRST_ID) {
    Message(false, "Select RGB channel first!");
    return;
  }
  CanvGuard guard;
  if (!guard.ok()) return;
  CanvBusy(true);
  std::string file;
  const gboolean ok = CanvVideoWrite(&file, nullptr);
  CanvBusy(false);
  std::unique_ptr<gchar, GFree> text(g_strdup_printf("%s  :  %s", file.c_str(), ok ? "saved OK." : "Error!"));
  Message(ok, text.get());
}

// "Save selected": the mask with longitude and latitude per pixel, written completely or not at all.
#include "canvas/canvexport.h"

#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvselect.h"
#include "data/fileinfo.h"
#include "data/geo.h"
#include "settings/conf.h"

namespace {

constexpr const char* EXPORT_DIR = "export/Selected";
constexpr size_t FLUSH_AT = 1 << 18;  // bytes gathered before one write

// A file descriptor that is closed (and its temporary file removed) unless released.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : path_(target + ".XXXXXX") {
    fd_ = g_mkstemp_full(path_.data(), O_WRONLY, 0644);
    made_ = fd_ >= 0;
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (made_ && !kept_) g_unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor; FALSE when the close reports a failed write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool made_ = false;
  bool kept_ = false;
};

bool WriteAll(int fd, const std::string& buf) {
  const char* p = buf.data();
  size_t left = buf.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= size_t(n);
  }
  return true;
}

void ShowResult(bool ok) {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* d = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, ok ? GTK_MESSAGE_INFO : GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", ok ? "Save selected OK." : "Save selected Error!");
  gtk_window_set_title(GTK_WINDOW(d), "Nubicorn");
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

}  // namespace

void CanvExportGrid(int x, int y, int rect_x, int rect_y, double* column, double* line) {
  // Grid pixel centres sit on whole numbers; display pixel x covers [x/3, (x + 1)/3) of one.
  const double gx = (x + 0.5) / 3.0 - 0.5, gy = (y + 0.5) / 3.0 - 0.5;
  *column = CONF_GRID - rect_x - gx;
  *line = CONF_GRID - rect_y - gy;
}

bool CanvExportWrite(const std::string& path, const cv::Mat& mask, int rect_x, int rect_y, std::string* err,
                     double sub_lon) {
  if (mask.empty() || mask.type() != CV_8UC1) {
    *err = "no selection mask";
    return false;
  }
  TempFile tmp(path);
  if (tmp.fd() < 0) {
    *err = std::string("cannot create ") + path + ": " + std::strerror(errno);
    return false;
  }
  std::string buf;
  buf.reserve(FLUSH_AT + 64);
  buf += "# Lon,Lat,Mask\n";
  char line[64];
  for (int y = 0; y < mask.rows; y++) {
    const uint8_t* m = mask.ptr<uint8_t>(y);
    for (int x = 0; x < mask.cols; x++) {
      double column = 0, row = 0, lat = 9999.0, lon = 9999.0;
      CanvExportGrid(x, y, rect_x, rect_y, &column, &row);
      GeoPixelToLatLon(column, row, &lat, &lon, sub_lon);
      const int n = std::snprintf(line, sizeof line, "%7.3f,%6.3f,%d\n", lon, lat, m[x] ? 1 : 0);
      buf.append(line, size_t(n));
    }
    if (buf.size() >= FLUSH_AT) {
      if (!WriteAll(tmp.fd(), buf)) {
        *err = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
      }
      buf.clear();
    }
  }
  if (!WriteAll(tmp.fd(), buf) || fsync(tmp.fd()) != 0) {
    *err = std::string("cannot write ") + path + ": " + std::strerror(errno);
    return false;
  }
  if (!tmp.Close() || g_rename(tmp.path().c_str(), path.c_str()) != 0) {
    *err = std::string("cannot complete ") + path + ": " + std::strerror(errno);
    return false;
  }
  tmp.Keep();
  return true;
}

void CanvSaveSelected(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  bool ok = false;
  {
    CanvGuard guard;
    if (!guard.ok()) return;
    Slot* slot = CanvCurrentSlot();
    const int id = CanvTreeGetId();
    if (c && conf && App_get && slot && id > 0 && id < SLOT_SIZE && slot[id] && slot[id]->id > 0) {
      Layer* layer = slot[id];
      const double hue = gtk_spin_button_get_value(GTK_SPIN_BUTTON(c->sel_hue));
      const gboolean grey = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->btn_gray));
      cv::Mat mask;
      if (LayerSelectColor(layer->images, hue, conf->selected_range, grey, &mask)) {
        std::unique_ptr<gchar, decltype(&g_free)> path(
            g_strdup_printf("%s/%s/%s.txt", App_get->home.c_str(), EXPORT_DIR, layer->slot.c_str()), g_free);
        std::string err;
        ok = CanvExportWrite(path.get(), mask, conf->rect_x, conf->rect_y, &err, layer->sub_lon);
        if (!ok) g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", err.c_str());
      }
    }
  }
  ShowResult(ok);
}

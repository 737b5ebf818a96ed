// "Export image": GeoTIFF and PNG of the shown layer, never over an earlier export.
#include "canvas/canvimage.h"

#include <errno.h>
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "data/fci_view.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "settings/conf.h"
#include "tools/geotiff/geotiff.h"

namespace {

constexpr const char* EXPORT_DIR = "export/Image";
constexpr int MAX_SUFFIX = 9999;

// A temporary file in the export folder, removed at the end of the export.
class TempName {
 public:
  TempName(const std::string& dir, const char* ext) : path_(dir + "/.export-XXXXXX" + ext) {
    const int fd = g_mkstemp_full(path_.data(), O_WRONLY, 0644);
    if (fd >= 0) close(fd);
    else path_.clear();
  }
  ~TempName() {
    if (!path_.empty()) g_unlink(path_.c_str());
  }
  TempName(const TempName&) = delete;
  TempName& operator=(const TempName&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool WritePng(const std::string& path, const cv::Mat& rgb, std::string* err) {
  cv::Mat c = rgb.isContinuous() ? rgb : rgb.clone();
  GObjectPtr<GdkPixbuf> pixbuf(
      gdk_pixbuf_new_from_data(c.data, GDK_COLORSPACE_RGB, FALSE, 8, c.cols, c.rows, int(c.step[0]),
                               nullptr, nullptr));
  GError* e = nullptr;
  if (pixbuf && gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", &e, nullptr)) return true;
  *err = std::string("cannot write ") + path + ": " + (e ? e->message : "no memory");
  if (e) g_error_free(e);
  return false;
}

}  // namespace

std::string CanvImageStem(const Layer& layer) {
  std::string name = layer.id >= 1 && layer.id <= CHANNEL_COUNT ? InfoChannelText[layer.id]
                     : InfoIsFci(layer.id)                        ? InfoFciText[layer.id - FCI_LAYER_FIRST]
                                                                  : layer.name;
  if (layer.id >= 1 && layer.id <= CHANNEL_COUNT)
    while (!name.empty() && name.back() == '_') name.pop_back();
  for (char& ch : name)
    if (!g_ascii_isalnum(ch) && ch != '-' && ch != '_' && ch != '.') ch = '_';
  if (name.empty() || name[0] == '.') name.insert(0, "layer");
  return name + "-" + layer.slot;
}

bool CanvImageWrite(const std::string& dir, const Layer& layer, const int32_t origin[2],
                    std::string* written, std::string* err) {
  // The display image without a selection's outlines when there is one.
  const cv::Mat& display = layer.images[2].empty() ? layer.images[1] : layer.images[2];
  const bool channel = InfoIsChannel(layer.id);
  const cv::Mat& data = channel ? layer.images[0] : display;
  if (display.empty() || display.type() != CV_8UC3 || data.empty()) {
    *err = "the layer has no image";
    return false;
  }
  // Display images are three times the MSG window that was loaded, twice FCI's 2 km window.
  GeotiffGeo geo;
  if (layer.fci) {
    const int32_t corner[4] = {origin[0], origin[1], 0, 0};
    int32_t window[4];
    FciWindowOfRect(corner, window);
    window[2] = display.cols / 2;
    window[3] = display.rows / 2;
    geo = GeotiffFciGeo(window, data.cols, data.rows, layer.sub_lon);
  } else {
    const int32_t window[4] = {origin[0], origin[1], display.cols / 3, display.rows / 3};
    geo = GeotiffMsgGeo(window, data.cols, data.rows, layer.sub_lon);
  }
  TempName tif(dir, ".tif"), png(dir, ".png");
  if (tif.path().empty() || png.path().empty()) {
    *err = "cannot create a file in " + dir + ": " + std::strerror(errno);
    return false;
  }
  const std::string what = (channel ? std::string(InfoLayerLabel(layer.id)) : layer.name) + " " + layer.slot;
  if (!GeotiffWriteFile(tif.path(), data, geo, what, err) ||
      !WritePng(png.path(), display, err))
    return false;
  // link() fails on an existing name, so a file that appears meanwhile is kept as well.
  const std::string stem = dir + "/" + CanvImageStem(layer);
  for (int n = 1; n <= MAX_SUFFIX; n++) {
    const std::string base = n == 1 ? stem : stem + "-" + std::to_string(n);
    if (link(tif.path().c_str(), (base + ".tif").c_str()) != 0) {
      if (errno == EEXIST) continue;
      *err = "cannot write " + base + ".tif: " + std::strerror(errno);
      return false;
    }
    if (link(png.path().c_str(), (base + ".png").c_str()) != 0) {
      const int e = errno;
      g_unlink((base + ".tif").c_str());
      if (e == EEXIST) continue;
      *err = "cannot write " + base + ".png: " + std::strerror(e);
      return false;
    }
    *written = base + ".tif";
    return true;
  }
  *err = "too many exports named " + stem;
  return false;
}

void CanvExportImage(GtkWidget*, gpointer) {
  Conf* conf = Conf_get;
  if (!conf || !App_get) return;
  CanvCommand command;
  CanvGuard guard;
  if (!guard.ok()) return;
  Slot* slot = CanvCurrentSlot();
  const int id = CanvTreeGetId();
  Layer* layer = slot && id > 0 && id < SLOT_SIZE ? slot[id] : nullptr;
  if (!layer || layer->id <= 0 || !CanvLayerDisplay(slot, layer)) {
    CanvFailure("Export image: no layer is shown");
    return;
  }
  const std::string dir = App_get->home + "/" + EXPORT_DIR;
  if (g_mkdir_with_parents(dir.c_str(), 0755) != 0) {
    const std::string text = "Export image Error! cannot create " + dir + ": " + std::strerror(errno);
    CanvFailure(text.c_str());
    return;
  }
  const int32_t origin[2] = {conf->rect_x, conf->rect_y};
  std::string written, err;
  CanvBusy(true);
  const bool ok = CanvImageWrite(dir, *layer, origin, &written, &err);
  CanvBusy(false);
  if (!ok) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "Export image: %s", err.c_str());
    CanvFailure(("Export image Error! " + err).c_str());
    return;
  }
  GStr base(g_path_get_basename(written.c_str()));
  const std::string name(base.get(), std::strlen(base.get()) - 4);  // without ".tif"
  CanvSucceeded();
  CanvStatus(("Exported " + name + ".tif and .png to " + dir).c_str());
}

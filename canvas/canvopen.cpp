// Opening channel and composite layers of a slot.
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvfci.h"
#include "canvas/dlgdatetime.h"
#include "data/atmrad.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "data/layer.h"
#include "data/suplimage.h"
#include "settings/conf.h"
#include "settings/confwindow.h"

namespace {

constexpr const char* INPUT_DIR = "import/SEVIRI_data";

bool HasCounts(const Layer* layer) { return layer && layer->id > 0 && !layer->images[0].empty(); }

// The satellite whose names the slot's other channels have: that of a channel already in the
// slot (a slot opened from MSG4 files stays MSG4) or named by its header, else the configured one.
Sat SlotSat(const Slot* slot) {
  Sat s;
  if (InfoSlotSat(slot, &s)) return s;
  return Conf_get ? Conf_get->satellite : Sat{};
}

// Logs how the load of *info went; a layer not made is freed and the failure shown.
gboolean Opened(Layer** info, bool ok) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, ok ? "%s ok" : "%s Error!", (*info)->name.c_str());
  if (ok) return TRUE;
  InfoDel(info);
  CanvFailure("Input data error");
  return FALSE;
}

}  // namespace

gboolean CanvOpen(Layer** info, std::string* damaged) {
  g_return_val_if_fail(info && *info, FALSE);
  Layer* layer = *info;
  if (InfoIsFci(layer->id)) return Opened(info, CanvFciOpen(layer));
  const Conf* conf = Conf_get;
  const std::string home = App_get ? App_get->home : std::string();
  GStr path(g_build_filename(home.c_str(), INPUT_DIR, layer->name.c_str(), nullptr));
  // The loader shrinks the window in place and may read the HRV east column: copies.
  int32_t window[4] = {conf ? conf->rect_x : 0, conf ? conf->rect_y : 0, conf ? conf->rect_width : 0,
                       conf ? conf->rect_height : 0};
  int32_t east = conf ? conf->hrv_east : 0;
  // The service of the name: rapid-scan files hold only the north, which may not be enough.
  Sat sat = conf ? conf->satellite : Sat{};
  SatFromName(layer->name, &sat);
  const std::string fault = ConfWindowFault(sat, ConfRect{window[0], window[1], window[2], window[3]});
  if (!fault.empty()) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: %s", layer->name.c_str(), fault.c_str());
    if (damaged) *damaged = layer->name + "(" + fault + ")";
    InfoDel(info);
    CanvFailure(fault.c_str());
    return FALSE;
  }
  auto images = LayerLoadChannel(path.get(), layer->id, window, &east, Canv_get ? &Canv_get->hrv_maps : nullptr,
                                 damaged);
  if (images) {
    layer->images = std::move(*images);
    // The longitude the data was taken from, for contours and export; the nominal one of the
    // name's service when the segment does not say.
    layer->sub_lon = SatFileLongitude(path.get(), SatNominalLongitude(sat));
  }
  return Opened(info, images.has_value());
}

void CanvOpenLayer(Slot* slot, int id) {
  if (!slot || id <= 0 || id >= SLOT_SIZE) return;
  const Layer* last = nullptr;
  for (int i = 0; i < SLOT_SIZE; i++)
    if (slot[i]) last = slot[i];
  if (slot[id] && slot[id]->id > 0) return;
  if (!last) return;  // a slot without even its header names no time
  const Sat sat = SlotSat(slot);
  Layer* info = InfoNew(id, last->slot.c_str(), Conf_get ? &Conf_get->recipes : nullptr, &sat);
  const gboolean ok = InfoIsChannel(id) ? CanvOpen(&info) : CanvOpenRgb(&info, slot);
  if (!ok) {
    CanvFailure("Operation failed");
    return;
  }
  InfoSlotInsert(&Conf_get->slots, info);
}

namespace {

// The composite's display image from the slot's channel counts, loading the channels that are
// missing into the slot. False when a channel fails or the composite cannot be made.
bool BuildRgb(Layer* layer, Slot* slot) {
  const Conf* conf = Conf_get;
  if (layer->id == FCI_TRUE_COLOUR_ID || SlotSat(slot).service == SatService::Fci) return CanvFciBuildRgb(layer, slot);
  const size_t index = size_t(layer->id - RECIPE_FIRST_ID);
  if (!conf || layer->id < RECIPE_FIRST_ID || index >= conf->recipes.size()) return false;
  cv::Mat table[CHANNEL_COUNT + 1];
  const Sat sat = SlotSat(slot);
  const RgbRecipe& recipe = conf->recipes[index];
  for (int entry = 0; entry < 6; entry++) {
    const int c = recipe.channels[entry];
    if (c < 1 || c > CHANNEL_COUNT) continue;
    if (!table[c].empty()) continue;  // named twice: loaded once
    if (!HasCounts(slot[c])) {
      Layer* channel = InfoNew(c, layer->slot.c_str(), nullptr, &sat);
      if (!CanvOpen(&channel)) return false;
      InfoDel(&slot[c]);
      slot[c] = channel;
    }
    table[c] = slot[c]->images[0];
    layer->sub_lon = slot[c]->sub_lon;
  }
  layer->images = {};
  layer->images[1] = AtmradComposite(table, recipe.params, recipe.channels);
  return !layer->images[1].empty();
}

}  // namespace

gboolean CanvOpenRgb(Layer** info, Slot* slot) {
  g_return_val_if_fail(info && *info && slot, FALSE);
  Layer* layer = *info;
  if (BuildRgb(layer, slot)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s ok", layer->name.c_str());
    return TRUE;
  }
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", layer->name.c_str());
  InfoDel(info);
  CanvFailure("Operation failed");
  return FALSE;
}

bool CanvLayerDisplay(Slot* slot, Layer* layer) {
  if (!slot || !layer || layer->id <= 0) return false;
  if (!layer->images[1].empty()) return true;
  if (InfoIsFci(layer->id)) {
    layer->images[1] = CanvFciDisplay(*layer);
    return !layer->images[1].empty();
  }
  if (layer->id <= CHANNEL_COUNT) {
    if (layer->images[0].empty()) return false;
    // The loader's own rule: three times the window, HRV already on the finer grid.
    layer->images[1] = SuplGray2Rgb(layer->images[0], layer->id == HRV_ID ? 1 : 3);
    return !layer->images[1].empty();
  }
  if (BuildRgb(layer, slot)) return true;
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", layer->name.c_str());
  CanvFailure("Operation failed");
  return false;
}

void CanvLayerDrop(Layer* layer) {
  // A selection's outline lives in the display image, its pristine copy beside it: both stay.
  if (layer && layer->id > 0 && layer->images[2].empty()) layer->images[1].release();
}

void CanvOpenDate(GtkWidget*, gpointer) {
  GtkWidget* dialog = DlgDateTimeNew();
  if (!dialog) {
    CanvFailure("Operation failed");
    return;
  }
  gtk_widget_set_size_request(dialog, 550, 270);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

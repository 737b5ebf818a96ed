// The viewing aids of the Interface page: animation speed, video frame rate and format, graticule.
#include <cmath>

#include "app/app.h"
#include "canvas/canvanim.h"
#include "contours/cntrsgrid.h"
#include "dialogs/dlg.h"

namespace {

// An edit of the page waits for its Save like the page's others.
void Edited() { Conf_get->unsaved |= CONF_SAVE_INTERFACE; }

void OnStep(GtkSpinButton* spin, gpointer) {
  Edited();
  Conf_get->anim_ms = gint32(std::lround(gtk_spin_button_get_value(spin) * 1000));
  // A running animation takes the new pace at once.
  if (Canv_get && Canv_get->play) {
    CanvAnimStop(nullptr, nullptr);
    CanvAnimPlay(nullptr, nullptr);
  }
}

void OnFps(GtkSpinButton* spin, gpointer) {
  Edited();
  Conf_get->video_fps = gtk_spin_button_get_value(spin);
}

void OnFormat(GtkComboBox* combo, gpointer) {
  Edited();
  Conf_get->video_format = gtk_combo_box_get_active(combo) == int(ConfVideoFormat::Mp4) ? ConfVideoFormat::Mp4
                                                                                          : ConfVideoFormat::Avi;
}

void OnGrid(GtkToggleButton* button, gpointer) {
  Edited();
  Conf_get->graticule = gtk_toggle_button_get_active(button);
  const Slot* slot = Canv_get ? CanvCurrentSlot() : nullptr;
  const int id = Canv_get ? CanvTreeGetId() : 0;
  const Layer* shown = slot && id > 0 && id < SLOT_SIZE ? slot[id] : nullptr;
  CntrsGridShow(shown ? shown->sub_lon : SatNominalLongitude(Conf_get->satellite),
                shown ? shown->fci : Conf_get->satellite.service == SatService::Fci);
}

GtkWidget* Labelled(GtkWidget* box, const char* text, GtkWidget* child) {
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(text), FALSE, FALSE, 5);
  gtk_box_pack_start(GTK_BOX(box), child, FALSE, FALSE, 5);
  return child;
}

}  // namespace

GtkWidget* DlgAidsNew() {
  const Conf* conf = Conf_get;
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  GtkWidget* step = gtk_spin_button_new_with_range(CONF_ANIM_MS_MIN / 1000.0, CONF_ANIM_MS_MAX / 1000.0, 0.1);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(step), 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(step), conf->anim_ms / 1000.0);
  gtk_widget_set_tooltip_text(step, "Seconds per animation step");
  g_signal_connect(Labelled(box, "Step (s)", step), "value-changed", G_CALLBACK(OnStep), nullptr);

  GtkWidget* fps = gtk_spin_button_new_with_range(CONF_VIDEO_FPS_MIN, CONF_VIDEO_FPS_MAX, 0.5);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(fps), 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(fps), conf->video_fps);
  gtk_widget_set_tooltip_text(fps, "Frames per second of the video");
  g_signal_connect(Labelled(box, "Video frames/s", fps), "value-changed", G_CALLBACK(OnFps), nullptr);

  // Entries in ConfVideoFormat order: the active index is the format.
  GtkWidget* format = gtk_combo_box_text_new();
  gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(format), CONF_VIDEO_FORMATS[int(ConfVideoFormat::Avi)], "AVI (MJPG)");
  gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(format), CONF_VIDEO_FORMATS[int(ConfVideoFormat::Mp4)], "MP4 (H.264)");
  gtk_combo_box_set_active(GTK_COMBO_BOX(format), int(conf->video_format));
  gtk_widget_set_tooltip_text(format, "Container of the video: AVI plays everywhere, MP4 is smaller and shared widely");
  g_signal_connect(Labelled(box, "Video format", format), "changed", G_CALLBACK(OnFormat), nullptr);

  GtkWidget* grid = gtk_check_button_new_with_label("Latitude/longitude grid");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(grid), conf->graticule);
  g_signal_connect(grid, "toggled", G_CALLBACK(OnGrid), nullptr);
  gtk_box_pack_start(GTK_BOX(box), grid, FALSE, FALSE, 10);
  return box;
}

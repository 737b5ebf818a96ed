// Selection by colour: the marked set of a display image and the toolbar commands around it.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <opencv2/core.hpp>
#include <string>

#include "data/fileinfo.h"

// Integer bounds of the band [lo, hi] of doubles, inclusive at both ends: ceil(lo) .. floor(hi)
// clamped to 0..255; lo_i > hi_i means the band holds no 8-bit value.
struct SelectBand {
  int lo_i, hi_i;
};
// The one or two hue (or grey) bands of a selection: hue in degrees scaled by 255/360, widened
// by range and wrapped at 255 in colour mode; count is 1 or 2.
struct SelectBands {
  SelectBand band[2];
  int count;
};
SelectBands LayerSelectBands(double hue, int range, bool grey);

enum class SelectResult {
  Done,      // marked and outlined (perhaps no pixel at all)
  NoImage,   // images[1] is no 8-bit RGB image
  NoColour,  // colour mode on an image without colour: every pixel is grey, its hue meaningless
};

// Marks the pixels of images[1] (8-bit RGB) whose full-range hue lies in LayerSelectBands and
// that have colour (saturation above 0: grey has no hue, though OpenCV calls it 0), or in grey
// mode whose grey level does; restores images[1] from images[2] first (made from images[1] on
// the first call) and outlines the marked regions in red on images[1]. The mask (8-bit, 255
// marked) goes to *out when out is given. Anything but Done changes nothing.
SelectResult LayerSelectColor(std::array<cv::Mat, 3>& images, double hue, int range, gboolean grey, cv::Mat* out);
// The same on a layer, which then remembers the selection as the one outlined.
SelectResult LayerSelect(Layer* layer, double hue, int range, bool grey, cv::Mat* out);
// The mask of the selection outlined on the layer now; false when it shows none.
bool LayerSelectedMask(Layer* layer, cv::Mat* out);
// What the user reads when a selection cannot be made on the layer (NoColour, NoImage).
std::string LayerSelectMessage(const Layer* layer, SelectResult r);

// "Select by color": stores range and colour (recoloured to the hue of sel_hue), then selects on
// the shown layer and refreshes the canvas. On a channel, or any image without colour, only the
// grey mode selects; colour mode says so on the status bar. "Operation failed" without a layer.
void CanvSelectColor(GtkWidget* widget, gpointer data);
// "color-set" of sel_color: stores the colour and sets sel_hue to its hue. From the menu item it
// opens the colour button's chooser instead.
void CanvColorSet(GtkWidget* widget, gpointer data);

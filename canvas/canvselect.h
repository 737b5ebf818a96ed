// Selection by colour: the marked set of a display image and the toolbar commands around it.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <opencv2/core.hpp>

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

// Marks the pixels of images[1] (8-bit RGB) whose full-range hue (grey mode: grey level) lies in
// LayerSelectBands, after restoring images[1] from images[2] (made from images[1] on the first
// call), and outlines the marked regions in red on images[1]. The mask (8-bit, 255 marked) goes
// to *out when out is given. FALSE, changing nothing, when images[1] is not 8-bit RGB.
gboolean LayerSelectColor(std::array<cv::Mat, 3>& images, double hue, int range, gboolean grey, cv::Mat* out);

// "Select by color": stores range and colour (recoloured to the hue of sel_hue), then selects on
// the shown composite and refreshes the canvas; "Operation failed" without a composite.
void CanvSelectColor(GtkWidget* widget, gpointer data);
// "color-set" of sel_color: stores the colour and sets sel_hue to its hue. From the menu item it
// opens the colour button's chooser instead.
void CanvColorSet(GtkWidget* widget, gpointer data);

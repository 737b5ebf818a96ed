// What the window says about the shown layer: the time label, the window title, the video
// caption, and the readout of the pixel under the pointer.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <string>

#include "data/calib.h"
#include "data/fileinfo.h"

// "2016-07-04 12:00 UTC" of a slot text YYYYMMDDhhmm; empty for anything else.
// Appends printf text to out[*len] within size, keeping it terminated; *len grows by what fits.
void CanvAppend(char* out, std::size_t size, std::size_t* len, const char* fmt, ...) G_GNUC_PRINTF(4, 5);

std::string CanvTimeText(const char* slot);
// Name of layer id: the channel label (1..12) or the recipe name (13.., from Conf); "" unknown.
std::string CanvLayerName(int id);
// "<layer name> <time text>", e.g. "Natural 2016-07-04 09:15 UTC"; either part may be missing,
// never with a stray blank. The window title and the video caption.
std::string CanvCaption(int id, const char* slot);

// The shown layer changed (NULL: none shown): time label, window title, the contour clip to the
// image, the slot's calibration for the readout, the graticule's projection.
void CanvShownChanged(const Layer* layer);

// Text of the readout at canvas point (cx, cy) (canvas units: display pixels) over layer, whose
// view window starts at rect_x, rect_y of the 3712 image: latitude and longitude (or "space"),
// grid column and line, and the layer's value there (count and physical value of a channel
// through cal when given, the three bytes of a composite). Writes at most size bytes to out without
// allocating; returns the length, 0 (out "") when there is no layer or the point is off its image.
std::size_t CanvReadoutText(const Layer* layer, const CalibSlot* cal, int rect_x, int rect_y, double cx, double cy,
                            char* out, std::size_t size);
// Updates the readout field for canvas point (cx, cy) of the shown layer.
void CanvReadoutAt(double cx, double cy);
// "motion-notify-event" and "leave-notify-event" of the canvas widget. FALSE: the canvas and its
// items still get the event.
gboolean CanvReadoutMotion(GtkWidget* canvas, GdkEventMotion* event, gpointer data);
gboolean CanvReadoutLeave(GtkWidget* canvas, GdkEventCrossing* event, gpointer data);

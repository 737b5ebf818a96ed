// FCI layers in the window: a channel of a slot loaded for the view rectangle, its display
// image, the composites on FCI channels, and the positions and values the readout and the
// selection export give. The display is 1 km a pixel, as MSG's at x1: 1 km channels as they
// are, 2 km channels enlarged twice, on the 2 km window of the view rectangle (FciWindowOfRect).
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/fileinfo.h"

// The 2 km window of the view rectangle of the settings (Conf rect_*).
void CanvFciWindow(int32_t window[4]);

// Loads FCI channel layer `layer` (id FCI_LAYER_FIRST.., slot set) from the chunks of its slot
// in App.home/import/SEVIRI_data: counts, values (K or %), display image. Only the chunks and
// rows of the window are read. False, the layer unchanged, with a warning naming the reason.
bool CanvFciOpen(Layer* layer);
// The same from folder dir for a 2 km window, without the settings: any thread may call it.
bool CanvFciLoad(Layer* layer, const char* dir, const int32_t window[4]);

// The grey display image (CV_8UC3) of an FCI channel layer from its values: reflectance dark to
// bright through a square root, brightness temperature 330 K dark to 200 K white; no value black.
cv::Mat CanvFciDisplay(const Layer& layer);

// Composite `layer` (a recipe id of Conf.recipes or FCI_TRUE_COLOUR_ID) of an FCI slot, loading
// the channels it needs into the slot. False when a channel cannot be loaded or the recipe names
// a channel FCI has no counterpart of.
bool CanvFciBuildRgb(Layer* layer, Slot* slot);

// The readout of an FCI layer at canvas point (cx, cy): latitude and longitude (or "space"), the
// column and row of the layer's grid (1-based from the west and from the south, as the product
// counts them), and the count with its brightness temperature or reflectance, or a composite's
// bytes. As CanvReadoutText: at most size bytes, the length returned, 0 off the image.
std::size_t CanvFciReadoutText(const Layer* layer, int rect_x, int rect_y, double cx, double cy, char* out,
                               std::size_t size);

// Latitude and longitude of the centre of display pixel (x, y) of an FCI image of the view
// rectangle at (rect_x, rect_y); false off the Earth.
bool CanvFciLatLon(int rect_x, int rect_y, int x, int y, double sub_lon, double* lat, double* lon);

// The FCI channel layer ids that showing layer id needs: the channel itself, a composite's
// channels; IR 10.5 when id is none of these. The monitor loads only these of a new cycle (FCI's
// 1 km channels cost 24 bytes a window pixel each); the others load when they are chosen.
std::vector<int> CanvFciWanted(int id);

// The slot text of the newest FCI repeat cycle with BODY chunks in folder dir, or "".
std::string CanvFciNewest(const std::string& dir);

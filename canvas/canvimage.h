// "Export image": the shown layer as a georeferenced GeoTIFF and a PNG in <home>/export/Image.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

struct Layer;

// File name stem of a layer in a slot: the channel's name ("IR_108", "HRV") or the recipe's,
// with characters unsafe in file names replaced, then "-" and the slot text.
std::string CanvImageStem(const Layer& layer);

// Writes the layer (a channel's counts, MSG or FCI, or a composite's RGB image) as GeoTIFF in
// its satellite's projection and its display image as PNG into folder dir, named stem.tif /
// stem.png, or stem-2, stem-3 ... when either name is taken: no earlier file is ever replaced.
// origin is the view window's top-left corner in the north-up 3712 image. True with the .tif
// path in *written; false with a reason in *err, leaving no file behind.
bool CanvImageWrite(const std::string& dir, const Layer& layer, const int32_t origin[2],
                    std::string* written, std::string* err);

// "File" menu "Export image": the shown layer of the current slot into <home>/export/Image
// (made when missing); the status bar names the files and the folder, or the failure.
void CanvExportImage(GtkWidget* widget, gpointer data);

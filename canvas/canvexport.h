// "Save selected": the selection mask of the shown layer with longitude and latitude as text.
#pragma once

#include <gtk/gtk.h>

#include <opencv2/core.hpp>
#include <string>

// Grid position (column from the east, line from the south, non-HRV 3712 grid) of the centre of
// display pixel (x, y) of a view window at (rect_x, rect_y): display images are three times the
// window in each direction, so a display pixel is a third of a grid pixel.
void CanvExportGrid(int x, int y, int rect_x, int rect_y, double* column, double* line);

// Writes "# Lon,Lat,Mask" and one "%7.3f,%6.3f,%d" line per mask pixel (row by row; 9999.000 off
// the disc) through a temporary file in path's folder, published under path or, when that name
// is taken, under the first free numbered name ("<slot>-2.txt", "-3", ...): an earlier export is
// never replaced. True with the name taken in *written; false with a reason in *err (and no new
// file) when the folder is missing or not writable, a write or the close fails, or the mask is
// not 8-bit single-channel. Degrees are those of a satellite over sub_lon (the shown layer's).
// fci: the mask is of an FCI image (1 km a display pixel on the 2 km window of the rectangle).
bool CanvExportWrite(const std::string& path, const cv::Mat& mask, int rect_x, int rect_y, std::string* err,
                     double sub_lon = 0.0, std::string* written = nullptr, bool fci = false);

// Toolbar "Save selected": writes the selection outlined on the shown layer (without one, it
// selects with sel_hue, the stored range and the grey toggle first, and shows the outlines) to
// <home>/export/Selected/<slot>.txt or its next numbered name. A modal "Save selected OK." naming
// the file and its folder, or "Save selected Error!" with the reason (nothing shown, an image
// without colour in colour mode, the file).
void CanvSaveSelected(GtkWidget* widget, gpointer data);

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
// the disc) to path, through a temporary file in the same folder renamed when complete. FALSE
// with a reason in *err (and no file under path) when the folder is missing or not writable, a
// write or the close fails, or the mask is not 8-bit single-channel. Degrees are those of a
// satellite over sub_lon (the shown layer's).
bool CanvExportWrite(const std::string& path, const cv::Mat& mask, int rect_x, int rect_y, std::string* err,
                     double sub_lon = 0.0);

// Toolbar "Save selected": selects on the shown layer with the stored range and writes
// <home>/export/Selected/<slot>.txt; a modal "Save selected OK." or "Save selected Error!".
void CanvSaveSelected(GtkWidget* widget, gpointer data);

// "Make video from the RGB images": one frame per slot of the visible canvas, as an AVI.
#pragma once

#include <gtk/gtk.h>

#include <string>

// FOURCC codes tried for the writer, in order (MJPG first: every player reads it).
extern const char* const CanvVideoCodecs[8];
// File-name parts of the seven default composites, indexed by id - 13.
extern const char* const CanvVideoNames[7];

// The video file name of composite id whose first slot is slot text: "<name>-<slot>.avi";
// composites beyond the defaults use their recipe name (path separators replaced).
std::string CanvVideoFileName(int id, const std::string& slot);

// Writes the video of the shown composite over all slots to <home>/export/Video and reports
// with a modal dialog; "Select RGB channel first!" without a composite. The file appears under
// its name only when complete. frames (may be NULL) receives the count written.
void CanvVideo(GtkWidget* widget, gpointer data);
// The same without dialogs: TRUE and *file set on success; FALSE with a warning otherwise.
gboolean CanvVideoWrite(std::string* file, int* frames);

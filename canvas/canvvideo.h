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
// with a modal dialog naming the file and its folder (or the reason of a failure); "Select RGB
// channel first!" without a composite. The file appears only when complete, under its name or,
// when that is taken, the next numbered one ("Natural-201607041200-2.avi"): an earlier video is
// never replaced.
void CanvVideo(GtkWidget* widget, gpointer data);
// The same without dialogs: TRUE with *file the name taken and *frames (may be NULL) the count
// written; FALSE with a warning, the reason in *err (may be NULL) and no new file otherwise.
gboolean CanvVideoWrite(std::string* file, int* frames, std::string* err = nullptr);
// TRUE when path is an AVI file that holds the given number of frames in chunks as long as its
// headers say: a writer that ran out of room leaves less than that.
bool CanvVideoComplete(const std::string& path, int frames);

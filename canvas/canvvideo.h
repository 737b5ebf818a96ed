// "Make video from the RGB images": one frame per slot of the visible canvas, as an AVI or MP4.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "settings/conf.h"

// FOURCC codes tried for the writer, in order (MJPG first: every player reads it).
extern const char* const CanvVideoCodecs[8];
// FOURCC codes tried for MP4: H.264 (what people share), else MPEG-4 Part 2 where OpenCV's
// FFmpeg has no H.264 encoder.
extern const char* const CanvVideoCodecsMp4[2];
// File-name parts of the seven default composites, indexed by id - 13.
extern const char* const CanvVideoNames[7];

// The video file name of composite id whose first slot is slot text: "<name>-<slot>.avi" (or
// ".mp4"); composites beyond the defaults use their recipe name (path separators replaced).
std::string CanvVideoFileName(int id, const std::string& slot, ConfVideoFormat format = ConfVideoFormat::Avi);

// Writes the video of the shown composite over all slots to <home>/export/Video and reports
// in the format of the settings, and reports with a modal dialog naming the file and its folder
// (and the codec when MP4 could not use H.264), or the reason of a failure; "Select RGB channel
// first!" without a composite. The file appears only when complete, under its name or,
// when that is taken, the next numbered one ("Natural-201607041200-2.avi"): an earlier video is
// never replaced.
void CanvVideo(GtkWidget* widget, gpointer data);
// The same without dialogs: TRUE with *file the name taken and *frames (may be NULL) the count
// written and *fourcc (may be NULL) the codec used; FALSE with a warning, the reason in *err (may
// be NULL) and no new file otherwise.
gboolean CanvVideoWrite(std::string* file, int* frames, std::string* err = nullptr, std::string* fourcc = nullptr);
// TRUE when path is an AVI file that holds the given number of frames in chunks as long as its
// headers say: a writer that ran out of room leaves less than that.
bool CanvVideoComplete(const std::string& path, int frames);
// TRUE when path is a finished MP4: ISO-BMFF boxes, each with a well-formed header and as long
// as it says, that cover the whole file exactly (as the boxes inside 'moov', 'trak'... cover
// theirs), an 'ftyp' first, a 'moov' and an 'mdat'. A writer stopped early leaves the 'moov' out or
// a box running past the end.
bool CanvVideoBoxesComplete(const std::string& path);

// Start-up loading: the numbered "image-file" entries of "Startup files", one at a time on a
// worker thread named "Nubicorn", each shown on the main loop before the next one starts.
#pragma once

#include <glib.h>

#include "data/fileinfo.h"
#include "settings/conf.h"

// Starts step 0 (Conf.loader set, busy cursor on). Main thread; does nothing while a loader runs.
void ConfStartupBegin();
// Thread body of a step (data: the step's message, made by the step before, holding N): loads
// image N under Conf.mutex and queues ConfStartupStep. Its result is that message, never NULL.
gpointer ConfStartupImage(gpointer data);
// Idle callback of a finished step: shows the loaded layer and starts step N + 1, or ends the
// chain: scroll position, an empty status message (when layers were shown), then the first
// file that was shown without some of its lines ("Start-up file damaged: NAME(what)"), then the
// reason when an existing entry could not be loaded ("Start-up file not loaded: NAME", or
// "NAME(what)" of the file that failed when the loader could tell), arrow cursor.
// FALSE (runs once).
gboolean ConfStartupStep(gpointer message);
// The window is closing: waits for a running step, drops its pending idle callback. Main thread.
void ConfStartupStop(Conf* conf);
// Id, SlotTime and slot text of layer from a segment file name. TRUE when the id is set; a name
// without a date gets id 0 and a warning "%s".
gboolean ConfParseImageName(const char* name, Layer* layer);

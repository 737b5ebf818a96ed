// The few operating-system services the program needs, in their Linux form.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// The user's documents folder (XDG), or $HOME/Documents when none is configured.
std::string PlatformDocumentsFolder();
// The program's home folder: the documents folder joined with "Nubicorn".
std::string PlatformHomeFolder();
// The folders below the home folder that the program works in, as relative paths.
extern const char* const PlatformHomeTree[7][3];
// Creates every missing folder of the home tree and installs config/setup/nubicorn.ini from
// the compiled-in defaults when missing. Returns the paths that could not be made (empty: all well).
std::vector<std::string> PlatformHomePrepare(const std::string& home);
// TRUE when a file can be created in folder (checked by making and removing one).
bool PlatformFolderWritable(const std::string& folder);
// Makes sure the compiled-in pictures and defaults are registered (they live in a static library).
void PlatformResources();
// Busy cursor over window: the wait cursor when on, the default one when off.
void PlatformBusyCursor(GtkWidget* window, bool on);
// Moves from to to, never replacing an existing target. FALSE (errno kept) on failure.
bool PlatformMoveFile(const std::string& from, const std::string& to);
// Pauses the calling thread for ms milliseconds.
void PlatformSleep(unsigned ms);

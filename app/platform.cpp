// Linux equivalents of the desktop services: documents folder, busy cursor, safe move, sleep.
#include "app/platform.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "app/app.h"
#include "data/gholder.h"

extern "C" GResource* nubicorn_get_resource(void);

namespace {

std::string Build(const std::string& a, const char* b, const char* c = nullptr, const char* d = nullptr) {
  GStr p(g_build_filename(a.c_str(), b, c, d, nullptr));
  return p.get();
}

bool InstallDefaults(const std::string& target) {
  PlatformResources();
  GBytes* bytes = g_resources_lookup_data(APP_RES_INI, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes) return false;
  gsize size = 0;
  const gchar* data = static_cast<const gchar*>(g_bytes_get_data(bytes, &size));
  bool ok = g_file_set_contents(target.c_str(), data, gssize(size), nullptr);
  g_bytes_unref(bytes);
  return ok;
}

}  // namespace

const char* const PlatformHomeTree[7][3] = {
    {"config", nullptr, nullptr},         {"config", "setup", nullptr},  {"import", "SEVIRI_data", nullptr},
    {"import", "Shp", nullptr},           {"import", "mnt", nullptr},    {"export", "Selected", nullptr},
    {"export", "Video", nullptr},
};

void PlatformResources() {
  // Referencing the resource pulls its object file, and with it the registering constructor, into the link.
  static GResource* const resource = nubicorn_get_resource();
  (void)resource;
}

std::string PlatformDocumentsFolder() {
  const char* docs = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  if (docs && *docs) return docs;
  return Build(g_get_home_dir(), "Documents");
}

std::string PlatformHomeFolder() { return Build(PlatformDocumentsFolder(), "Nubicorn"); }

std::vector<std::string> PlatformHomePrepare(const std::string& home) {
  std::vector<std::string> failed;
  for (const auto& parts : PlatformHomeTree) {
    std::string dir = Build(home, parts[0], parts[1]);
    if (g_mkdir_with_parents(dir.c_str(), 0755) != 0) failed.push_back(dir);
  }
  std::string setup = Build(home, "config", "setup", "nubicorn.ini");
  if (!g_file_test(setup.c_str(), G_FILE_TEST_EXISTS) && !InstallDefaults(setup)) failed.push_back(setup);
  return failed;
}

bool PlatformFolderWritable(const std::string& folder) {
  std::string probe = Build(folder, ".nubicorn-write-test");
  int fd = g_open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return errno == EEXIST;
  close(fd);
  g_unlink(probe.c_str());
  return true;
}

void PlatformBusyCursor(GtkWidget* window, bool on) {
  if (!window) return;
  GdkWindow* gdk = gtk_widget_get_window(window);
  if (!gdk) return;
  if (on) {
    GdkCursor* cursor = gdk_cursor_new_from_name(gdk_window_get_display(gdk), "wait");
    gdk_window_set_cursor(gdk, cursor);
    if (cursor) g_object_unref(cursor);
  } else {
    gdk_window_set_cursor(gdk, nullptr);
  }
  gdk_display_flush(gdk_window_get_display(gdk));
}

bool PlatformMoveFile(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    int saved = errno;
    unlink(to.c_str());
    errno = saved;
    return false;
  }
  return true;
}

void PlatformSleep(unsigned ms) { g_usleep(gulong(ms) * 1000); }

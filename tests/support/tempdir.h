// A private temporary folder for one test, removed with its files (one level deep).
#pragma once

#include <glib.h>
#include <glib/gstdio.h>

#include <string>

class TestTempDir {
 public:
  TestTempDir() {
    gchar* p = g_dir_make_tmp("nubicorn-test-XXXXXX", nullptr);
    if (p) path_ = p;
    g_free(p);
  }
  ~TestTempDir() { Remove(path_); }
  TestTempDir(const TestTempDir&) = delete;
  TestTempDir& operator=(const TestTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  static void Remove(const std::string& dir) {
    if (dir.empty()) return;
    if (GDir* d = g_dir_open(dir.c_str(), 0, nullptr)) {
      while (const char* n = g_dir_read_name(d)) {
        const std::string f = dir + "/" + n;
        if (g_file_test(f.c_str(), G_FILE_TEST_IS_DIR)) Remove(f);
        else g_remove(f.c_str());
      }
      g_dir_close(d);
    }
    g_rmdir(dir.c_str());
  }

 private:
  std::string path_;
};

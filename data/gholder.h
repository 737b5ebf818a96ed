// Owning holders for what C libraries hand out (GLib strings and records, GObjects, cairo and
// shapelib handles): a std::unique_ptr whose deleter is the library's own free function, so a
// holder is declared in one line and nothing is freed twice or leaked on an early return.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

// Deleter calling Free on the held pointer (never called with NULL: unique_ptr skips it).
template <auto Free>
struct GFreeWith {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};

// GHolder<GKeyFile, g_key_file_free> kf(g_key_file_new());
template <class T, auto Free>
using GHolder = std::unique_ptr<T, GFreeWith<Free>>;

// A string (or any block) from g_malloc: g_strdup_printf, g_build_filename, g_path_get_*...
using GStr = GHolder<gchar, g_free>;
// A NULL-terminated string array: g_strsplit, g_key_file_get_keys...
using GStrvPtr = GHolder<gchar*, g_strfreev>;
// A reference to a GObject (GdkPixbuf, GFile...), released with g_object_unref.
template <class T>
using GObjectPtr = GHolder<T, g_object_unref>;

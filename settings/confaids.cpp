// The viewing aids of "Interface": animation step, video frame rate and format, latitude/longitude grid.
#include <cmath>
#include <cstring>
#include <utility>

#include "settings/conf.h"

namespace {

bool Has(GKeyFile* kf, const char* key) { return g_key_file_has_key(kf, CONF_GROUP_INTERFACE, key, nullptr); }

void Unusable(GKeyFile* kf, const char* key) {
  gchar* raw = g_key_file_get_value(kf, CONF_GROUP_INTERFACE, key, nullptr);
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s=%s: unusable, the default is used", key, raw ? raw : "");
  g_free(raw);
}

}  // namespace

void ConfReadAids(Conf* conf, GKeyFile* kf) {
  const char* g = CONF_GROUP_INTERFACE;
  conf->anim_ms = CONF_ANIM_MS;
  conf->video_fps = CONF_VIDEO_FPS;
  conf->video_format = ConfVideoFormat::Avi;
  conf->graticule = FALSE;
  conf->label_screen = FALSE;
  if (!kf) return;
  GError* err = nullptr;
  if (Has(kf, CONF_KEY_ANIM_MS)) {
    const gint v = g_key_file_get_integer(kf, g, CONF_KEY_ANIM_MS, &err);
    if (!err && v >= CONF_ANIM_MS_MIN && v <= CONF_ANIM_MS_MAX)
      conf->anim_ms = v;
    else
      Unusable(kf, CONF_KEY_ANIM_MS);
    g_clear_error(&err);
  }
  if (Has(kf, CONF_KEY_VIDEO_FPS)) {
    const double v = g_key_file_get_double(kf, g, CONF_KEY_VIDEO_FPS, &err);
    if (!err && std::isfinite(v) && v >= CONF_VIDEO_FPS_MIN && v <= CONF_VIDEO_FPS_MAX)
      conf->video_fps = v;
    else
      Unusable(kf, CONF_KEY_VIDEO_FPS);
    g_clear_error(&err);
  }
  if (Has(kf, CONF_KEY_VIDEO_FORMAT)) {
    gchar* v = g_key_file_get_string(kf, g, CONF_KEY_VIDEO_FORMAT, nullptr);
    if (v && !std::strcmp(v, CONF_VIDEO_FORMATS[int(ConfVideoFormat::Mp4)]))
      conf->video_format = ConfVideoFormat::Mp4;
    else if (!v || std::strcmp(v, CONF_VIDEO_FORMATS[int(ConfVideoFormat::Avi)]))
      Unusable(kf, CONF_KEY_VIDEO_FORMAT);
    g_free(v);
  }
  for (auto [key, field] : {std::pair{CONF_KEY_GRATICULE, &conf->graticule},
                             std::pair{CONF_KEY_LABEL_SCREEN, &conf->label_screen}}) {
    if (!Has(kf, key)) continue;
    const gint v = g_key_file_get_integer(kf, g, key, &err);
    if (!err && (v == 0 || v == 1))
      *field = v;
    else
      Unusable(kf, key);
    g_clear_error(&err);
  }
}

void ConfWriteAids(const Conf* conf, GKeyFile* kf) {
  const char* g = CONF_GROUP_INTERFACE;
  if (!kf) return;
  const gint32 ms = conf ? conf->anim_ms : CONF_ANIM_MS;
  const double fps = conf ? conf->video_fps : CONF_VIDEO_FPS;
  const ConfVideoFormat format = conf ? conf->video_format : ConfVideoFormat::Avi;
  const bool grid = conf && conf->graticule;
  // A reset (no conf) installs the readable labels of a new setup.
  const bool screen = conf ? conf->label_screen : true;
  if (ms == CONF_ANIM_MS || ms < CONF_ANIM_MS_MIN || ms > CONF_ANIM_MS_MAX)
    g_key_file_remove_key(kf, g, CONF_KEY_ANIM_MS, nullptr);
  else
    g_key_file_set_integer(kf, g, CONF_KEY_ANIM_MS, ms);
  if (fps == CONF_VIDEO_FPS || !(fps >= CONF_VIDEO_FPS_MIN && fps <= CONF_VIDEO_FPS_MAX))
    g_key_file_remove_key(kf, g, CONF_KEY_VIDEO_FPS, nullptr);
  else
    g_key_file_set_double(kf, g, CONF_KEY_VIDEO_FPS, fps);
  if (format == ConfVideoFormat::Avi)
    g_key_file_remove_key(kf, g, CONF_KEY_VIDEO_FORMAT, nullptr);
  else
    g_key_file_set_string(kf, g, CONF_KEY_VIDEO_FORMAT, CONF_VIDEO_FORMATS[int(format)]);
  if (grid)
    g_key_file_set_integer(kf, g, CONF_KEY_GRATICULE, 1);
  else
    g_key_file_remove_key(kf, g, CONF_KEY_GRATICULE, nullptr);
  if (screen)
    g_key_file_set_integer(kf, g, CONF_KEY_LABEL_SCREEN, 1);
  else
    g_key_file_remove_key(kf, g, CONF_KEY_LABEL_SCREEN, nullptr);
}

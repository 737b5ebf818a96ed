// The loaded layer: building it from the read lines, its canvas items, colours and freeing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "contours/cntrs.h"
#include "canvas/canv.h"
#include "settings/conf.h"

const SuplColor SuplColors[SUPL_COLOR_COUNT] = {
    {"Red", 255, 0, 0},       {"Lime", 0, 255, 0},      {"Blue", 0, 0, 255},      {"Aqua", 0, 255, 255},
    {"Fuchsia", 255, 0, 255}, {"Yellow", 255, 255, 0},  {"Maroon", 128, 0, 0},    {"Green", 0, 128, 0},
    {"Navy", 0, 0, 128},      {"Teal", 0, 128, 128},    {"Purple", 128, 0, 128},  {"Olive", 128, 128, 0},
    {"Silver", 192, 192, 192}, {"Gray", 128, 128, 128}, {"White", 230, 230, 230}, {"Black", 30, 30, 30},
};

namespace {

constexpr double CANVAS_SCALE = 3.0;   // canvas units per image pixel
constexpr double LABEL_RAISE = 4.0;    // canvas units between a label's top and its line
constexpr double LINE_WIDTH = 0.1;

// One line naming the shapefile of the layer (from the settings' list) and what failed.
void Warn(const Cntrs* cntrs, const char* what) {
  const char* file = "contours";
  for (GList* l = Conf_get && cntrs ? Conf_get->contours : nullptr; l; l = l->next) {
    const auto* entry = static_cast<const CntrsFile*>(l->data);
    if (entry->cntrs == cntrs) file = entry->file.c_str();
  }
  g_log(nullptr, G_LOG_LEVEL_WARNING, "cntrs: %s: %s", file, what);
}

void FreeArray(gpointer a) { g_array_unref(static_cast<GArray*>(a)); }

void SetWidth(const Cntrs* cntrs, double width) {
  if (!cntrs || !cntrs->polylines) return;
  for (guint i = 0; i < cntrs->polylines->len; i++)
    g_object_set(g_ptr_array_index(cntrs->polylines, i), "line-width", width, nullptr);
}

}  // namespace

void CntrsLabelScale(const Cntrs* cntrs, const char* font, double scale) {
  if (!cntrs || !cntrs->texts || !font || !(scale > 0)) return;
  PangoFontDescription* desc = pango_font_description_from_string(font);
  // The configured size is the screen's: the canvas scales it by the zoom, so it is divided here.
  const double size = pango_font_description_get_size(desc) / scale;
  if (pango_font_description_get_size_is_absolute(desc))
    pango_font_description_set_absolute_size(desc, size);
  else
    pango_font_description_set_size(desc, std::max(1, int(std::lround(size))));
  for (guint i = 0; i < cntrs->texts->len; i++) g_object_set(g_ptr_array_index(cntrs->texts, i), "font-desc", desc, nullptr);
  pango_font_description_free(desc);
}

double CntrsLineWidth(double scale) { return scale > 0 && 1.0 / scale > LINE_WIDTH ? 1.0 / scale : LINE_WIDTH; }

int SuplColorIndex(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < SUPL_COLOR_COUNT; i++)
    if (std::strcmp(SuplColors[i].name, name) == 0) return i;
  return -1;
}

guint32 SuplColorRgba(int index) {
  const SuplColor& c = SuplColors[index < 0 ? 0 : index % SUPL_COLOR_COUNT];
  return guint32(c.red) << 24 | guint32(c.green) << 16 | guint32(c.blue) << 8 | 0xFFu;
}

Cntrs* CntrsRead(const std::string& path, int field, int x, int y, int width, int height, guint32 charset,
                 double sub_lon, bool fci) {
  CntrsShapes shapes;
  if (!CntrsReadShapes(path, field, CntrsView{x, y, width, height, sub_lon, fci}, charset, &shapes)) return nullptr;
  const CntrsPieces& p = shapes.pieces;
  if (p.lines() == 0) return nullptr;
  Cntrs* cntrs = std::make_unique<Cntrs>().release();  // the caller frees it with CntrsDel
  cntrs->sub_lon = sub_lon;
  cntrs->fci = fci;
  cntrs->lines = g_ptr_array_new_full(guint(p.lines()), FreeArray);
  for (std::size_t i = 0; i < p.lines(); i++) {
    GArray* a = g_array_sized_new(FALSE, FALSE, sizeof(float), guint(2 * p.size(i)));
    g_array_append_vals(a, p.line(i), guint(2 * p.size(i)));
    g_ptr_array_add(cntrs->lines, a);
  }
  if (shapes.has_labels) {
    cntrs->labels = g_ptr_array_new_full(guint(p.lines()), g_free);
    for (const std::string& l : shapes.labels) g_ptr_array_add(cntrs->labels, l.empty() ? nullptr : g_strdup(l.c_str()));
  }
  return cntrs;
}

gboolean CntrsDraw(Cntrs* cntrs, GooCanvasItem* parent, const char* font, const char* color, int, int,
                   int width, int height) {
  if (!cntrs || !cntrs->lines || !parent) {
    Warn(cntrs, "nothing to draw (no lines or no canvas group)");
    return FALSE;
  }
  const guint n = cntrs->lines->len;
  cntrs->polylines = g_ptr_array_sized_new(n);
  if (cntrs->labels) cntrs->texts = g_ptr_array_sized_new(n);
  cntrs->group = goo_canvas_group_new(parent, nullptr);
  if (!cntrs->group) {
    Warn(cntrs, "the canvas group cannot be made");
    return FALSE;
  }
  // Labels start on their line but run on past the image's edge: the layer is cut to the view.
  char clip[96];
  std::snprintf(clip, sizeof clip, "M 0 0 H %.1f V %.1f H 0 Z", CANVAS_SCALE * width, CANVAS_SCALE * height);
  g_object_set(cntrs->group, "clip-path", clip, nullptr);
  GooCanvas* canvas = goo_canvas_item_get_canvas(parent);
  const double line_width = CntrsLineWidth(canvas ? goo_canvas_get_scale(canvas) : 0.0);
  if (color && *color) cntrs->color = SuplColorIndex(color);
  const guint32 stroke = SuplColorRgba(cntrs->color);
  const guint32 text_rgba = SuplColorRgba(cntrs->color < 0 ? 1 : (cntrs->color + 1) % SUPL_COLOR_COUNT);
  const double w = width, h = height;
  gboolean drawn = FALSE;
  for (guint i = 0; i < n; i++) {
    const GArray* a = static_cast<const GArray*>(g_ptr_array_index(cntrs->lines, i));
    const int count = int(a->len / 2);
    if (count < 1) continue;
    const float* v = reinterpret_cast<const float*>(a->data);
    GooCanvasPoints* pts = goo_canvas_points_new(count);
    for (int k = 0; k < count; k++) {
      // Lines are already clipped to the view; the clamp only absorbs float rounding.
      pts->coords[2 * k] = CANVAS_SCALE * std::clamp(double(v[2 * k]), 0.0, w);
      pts->coords[2 * k + 1] = CANVAS_SCALE * std::clamp(double(v[2 * k + 1]), 0.0, h);
    }
    const char* label = cntrs->labels && i < cntrs->labels->len
                            ? static_cast<const char*>(g_ptr_array_index(cntrs->labels, i))
                            : nullptr;
    if (label) {
      GooCanvasItem* t = goo_canvas_text_new(cntrs->group, label, pts->coords[0], pts->coords[1] - LABEL_RAISE,
                                             -1.0, GOO_CANVAS_ANCHOR_NORTH_WEST, "fill-color-rgba", text_rgba,
                                             "font", font, nullptr);
      if (!t) {
        Warn(cntrs, "a label cannot be made");
        goo_canvas_points_unref(pts);
        return FALSE;
      }
      g_ptr_array_add(cntrs->texts, t);
    }
    GooCanvasItem* line = goo_canvas_polyline_new(cntrs->group, FALSE, 0, "line-width", line_width,
                                                  "stroke-color-rgba", stroke, "points", pts, nullptr);
    if (line) {
      g_ptr_array_add(cntrs->polylines, line);
      drawn = TRUE;
    } else {
      Warn(cntrs, "a line cannot be made");
    }
    goo_canvas_points_unref(pts);
  }
  if (Conf_get && Conf_get->label_screen && canvas) CntrsLabelScale(cntrs, font, goo_canvas_get_scale(canvas));
  return drawn;
}

void CntrsSetScale(const GList* contours, double scale) {
  const double width = CntrsLineWidth(scale);
  const bool labels = Conf_get && Conf_get->label_screen;
  for (const GList* l = contours; l; l = l->next)
    if (const auto* entry = static_cast<const CntrsFile*>(l->data)) {
      SetWidth(entry->cntrs, width);
      if (labels) CntrsLabelScale(entry->cntrs, Conf_get->canvas_font.c_str(), scale);
    }
  // The graticule is not in the list: it follows here.
  if (Canv_get && Canv_get->graticule) {
    SetWidth(Canv_get->graticule, width);
    if (labels) CntrsLabelScale(Canv_get->graticule, Conf_get->canvas_font.c_str(), scale);
  }
}

gboolean CntrsSetColor(Cntrs* cntrs, int index) {
  if (!cntrs || !cntrs->lines || !cntrs->polylines) {
    Warn(cntrs, "no lines to colour");
    return FALSE;
  }
  cntrs->color = index;
  const guint32 stroke = SuplColorRgba(index);
  const guint32 text_rgba = SuplColorRgba(index < 0 ? 1 : (index + 1) % SUPL_COLOR_COUNT);
  for (guint i = 0; i < cntrs->polylines->len; i++)
    g_object_set(g_ptr_array_index(cntrs->polylines, i), "stroke-color-rgba", stroke, nullptr);
  if (cntrs->texts)
    for (guint i = 0; i < cntrs->texts->len; i++)
      g_object_set(g_ptr_array_index(cntrs->texts, i), "fill-color-rgba", text_rgba, nullptr);
  return TRUE;
}

void CntrsDel(Cntrs* cntrs) {
  std::unique_ptr<Cntrs> owned(cntrs);
  if (!owned) return;
  // Removing the group from its parent drops the canvas's reference; its children go with it.
  if (cntrs->group && goo_canvas_item_get_parent(cntrs->group)) goo_canvas_item_remove(cntrs->group);
  if (cntrs->polylines) g_ptr_array_unref(cntrs->polylines);
  if (cntrs->lines) g_ptr_array_unref(cntrs->lines);
  if (cntrs->texts) g_ptr_array_unref(cntrs->texts);
  if (cntrs->labels) g_ptr_array_unref(cntrs->labels);
}

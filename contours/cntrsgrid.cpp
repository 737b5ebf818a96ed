#include "contours/cntrsgrid.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "canvas/canv.h"
#include "contours/cntrs.h"
#include "settings/conf.h"

namespace {

constexpr double CANVAS_SCALE = 3.0;  // canvas units per image pixel
constexpr double LABEL_INSET = 2.0;   // canvas units between the image edge and a label
constexpr double REACH = 81.0;        // the satellite sees no further from its point below, degrees
constexpr const char* COLOR = "Silver";

void FreeArray(gpointer a) { g_array_unref(static_cast<GArray*>(a)); }

void AddLine(const std::vector<double>& lon, const std::vector<double>& lat, bool meridian, double degrees,
             const CntrsView& view, CntrsPieces* out, std::vector<CntrsGridLine>* lines) {
  const std::size_t n = CntrsAddLine(lon, lat, view, out);
  for (std::size_t i = 0; i < n; i++) lines->push_back({meridian, degrees, CntrsGridLabel(meridian, degrees)});
}

}  // namespace

std::string CntrsGridLabel(bool meridian, double degrees) {
  const int d = int(std::lround(std::fmod(std::fabs(degrees), 360.0)));
  char buf[32];
  if (d == 0 || (meridian && d == 180))
    std::snprintf(buf, sizeof buf, "%d\u00b0", d);
  else
    std::snprintf(buf, sizeof buf, "%d\u00b0%c", d, meridian ? (degrees < 0 ? 'W' : 'E') : (degrees < 0 ? 'S' : 'N'));
  return buf;
}

void CntrsGridPieces(const CntrsView& view, double step, CntrsPieces* out, std::vector<CntrsGridLine>* lines) {
  if (!(step > 0)) return;
  std::vector<double> lon, lat;
  const int samples = int(std::lround(2 * REACH / CNTRS_GRID_SAMPLE));
  for (double m = std::ceil((view.sub_lon - REACH) / step) * step; m <= view.sub_lon + REACH; m += step) {
    const double mlon = std::remainder(m, 360.0);  // into -180..180
    lon.assign(samples + 1, mlon);
    lat.resize(samples + 1);
    for (int i = 0; i <= samples; i++) lat[i] = REACH - i * CNTRS_GRID_SAMPLE;
    AddLine(lon, lat, true, mlon, view, out, lines);
  }
  for (double p = std::ceil(-REACH / step) * step; p <= REACH; p += step) {
    lat.assign(samples + 1, p);
    lon.resize(samples + 1);
    for (int i = 0; i <= samples; i++) lon[i] = std::remainder(view.sub_lon - REACH + i * CNTRS_GRID_SAMPLE, 360.0);
    AddLine(lon, lat, false, p, view, out, lines);
  }
}

Cntrs* CntrsGridNew(const CntrsView& view, double step, GooCanvasItem* parent, const char* font) {
  CntrsPieces p;
  std::vector<CntrsGridLine> lines;
  CntrsGridPieces(view, step, &p, &lines);
  if (p.lines() == 0 || !parent) return nullptr;
  auto cntrs = std::make_unique<Cntrs>();
  cntrs->sub_lon = view.sub_lon;
  cntrs->fci = view.fci;
  cntrs->lines = g_ptr_array_new_full(guint(p.lines()), FreeArray);
  for (std::size_t i = 0; i < p.lines(); i++) {
    GArray* a = g_array_sized_new(FALSE, FALSE, sizeof(float), guint(2 * p.size(i)));
    g_array_append_vals(a, p.line(i), guint(2 * p.size(i)));
    g_ptr_array_add(cntrs->lines, a);
  }
  if (!CntrsDraw(cntrs.get(), parent, font, COLOR, view.x, view.y, view.width, view.height)) {
    CntrsDel(cntrs.release());
    return nullptr;
  }
  // Labels sit just inside the image where a piece enters it: the top for meridians, the left
  // for parallels (the contour files' placement above the line would put them off the image).
  cntrs->labels = g_ptr_array_new_full(guint(p.lines()), g_free);
  cntrs->texts = g_ptr_array_sized_new(guint(p.lines()));
  const guint32 rgba = SuplColorRgba(cntrs->color);
  for (std::size_t i = 0; i < p.lines(); i++) {
    const float* v = p.line(i);
    const double x = CANVAS_SCALE * v[0], y = CANVAS_SCALE * v[1];
    const bool meridian = lines[i].meridian;
    g_ptr_array_add(cntrs->labels, g_strdup(lines[i].label.c_str()));
    GooCanvasItem* t = goo_canvas_text_new(cntrs->group, lines[i].label.c_str(), x + LABEL_INSET,
                                           meridian ? y + LABEL_INSET : y - LABEL_INSET, -1.0,
                                           meridian ? GOO_CANVAS_ANCHOR_NORTH_WEST : GOO_CANVAS_ANCHOR_SOUTH_WEST,
                                           "fill-color-rgba", rgba, "font", font, nullptr);
    g_ptr_array_add(cntrs->texts, t);
  }
  GooCanvas* canvas = goo_canvas_item_get_canvas(parent);
  if (Conf_get && Conf_get->label_screen && canvas) CntrsLabelScale(cntrs.get(), font, goo_canvas_get_scale(canvas));
  return cntrs.release();
}

void CntrsGridFree() {
  if (!Canv_get) return;
  CntrsDel(Canv_get->graticule);
  Canv_get->graticule = nullptr;
}

void CntrsGridShow(double sub_lon, bool fci) {
  Canv* c = Canv_get;
  const Conf* conf = Conf_get;
  if (!c || !conf) return;
  if (!conf->graticule) {
    CntrsGridFree();
    return;
  }
  if (c->graticule && c->graticule->sub_lon == sub_lon && c->graticule->fci == fci) return;
  CntrsGridFree();
  if (!c->group) return;
  const CntrsView view{conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height, sub_lon, fci};
  c->graticule = CntrsGridNew(view, CNTRS_GRID_STEP, c->group, conf->canvas_font.c_str());
}

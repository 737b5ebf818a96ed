// Reading a shapefile into display lines and labels.
#include <glib.h>

#include <algorithm>
#include <cstring>

#include "contours/cntrs.h"
#include "contours/cntrsshp.h"

const char* const SuplCharsets[SUPL_CHARSET_COUNT] = {"windows-1251", "UTF-8", "ISO-8859-1"};

namespace {

enum class Kind { Lines, Points, Unsupported };

Kind KindOf(int type) {
  switch (type) {
    case SHPT_ARC: case SHPT_ARCZ: case SHPT_ARCM:
    case SHPT_POLYGON: case SHPT_POLYGONZ: case SHPT_POLYGONM:
      return Kind::Lines;
    case SHPT_POINT: case SHPT_POINTZ: case SHPT_POINTM:
    case SHPT_MULTIPOINT: case SHPT_MULTIPOINTZ: case SHPT_MULTIPOINTM:
      return Kind::Points;
    default:
      return Kind::Unsupported;
  }
}

bool EndsWithShp(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".shp") == 0;
}

}  // namespace

std::string CntrsLabel(const char* raw, guint32 charset) {
  if (!raw || charset >= SUPL_CHARSET_COUNT) return "?";
  if (charset == 1) return g_utf8_validate(raw, -1, nullptr) ? std::string(raw) : std::string("?");
  GError* error = nullptr;
  gsize written = 0;
  gchar* text = g_convert(raw, -1, "UTF-8", SuplCharsets[charset], nullptr, &written, &error);
  if (!text) {
    g_clear_error(&error);
    return "?";
  }
  std::string out(text, written);
  g_free(text);
  return out;
}

std::vector<CntrsField> CntrsFieldList(const std::string& path) {
  std::vector<CntrsField> out;
  CntrsDbfPtr dbf = CntrsDbfOpen(path.c_str());
  if (!dbf) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path.c_str());
    return out;
  }
  const int count = DBFGetFieldCount(dbf.get());
  for (int i = 0; i < count; i++) {
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    DBFFieldType type = DBFGetFieldInfo(dbf.get(), i, name, nullptr, nullptr);
    if (type == FTInteger || type == FTDouble || type == FTLogical) continue;
    const char letter = DBFGetNativeFieldType(dbf.get(), i);
    if (letter == 'N' || letter == 'F' || letter == 'L') continue;
    std::string s(name);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (!s.empty()) out.push_back({std::move(s), i});
  }
  return out;
}

int CntrsFieldIndex(const std::string& path, const std::string& name) {
  if (name.empty()) return -1;
  for (const CntrsField& f : CntrsFieldList(path))
    if (g_ascii_strcasecmp(f.name.c_str(), name.c_str()) == 0) return f.index;
  return -1;
}

bool CntrsReadShapes(const std::string& path, int field, const CntrsView& view, guint32 charset,
                     CntrsShapes* out) {
  *out = CntrsShapes{};
  if (!EndsWithShp(path)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path.c_str());
    return false;
  }
  CntrsShpPtr shp = CntrsShpOpen(path.c_str());
  int records = 0, type = 0;
  if (shp) SHPGetInfo(shp.get(), &records, &type, nullptr, nullptr);
  if (!shp || records <= 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path.c_str());
    return false;
  }
  if (KindOf(type) == Kind::Unsupported) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: unsupported shape type %d", path.c_str(), type);
    return false;
  }
  CntrsDbfPtr dbf;
  if (field >= 0) {
    dbf = CntrsDbfOpen(path.c_str());
    if (dbf && DBFGetFieldCount(dbf.get()) > field)
      out->has_labels = true;
    else
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: no attribute field %d", path.c_str(), field);
  }
  const int dbf_records = out->has_labels ? DBFGetRecordCount(dbf.get()) : 0;
  CntrsPieces& pieces = out->pieces;
  for (int r = 0; r < records; r++) {
    CntrsObjectPtr obj(SHPReadObject(shp.get(), r));
    if (!obj) {
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path.c_str());
      out->skipped++;
      continue;
    }
    const Kind kind = KindOf(obj->nSHPType);
    const int nv = std::max(obj->nVertices, 0);
    if (kind == Kind::Unsupported || nv == 0 || !obj->padfX || !obj->padfY) {
      if (obj->nSHPType != SHPT_NULL && nv > 0) out->skipped++;
      continue;
    }
    std::string label;
    if (out->has_labels) {
      const char* raw = r < dbf_records && !DBFIsAttributeNULL(dbf.get(), r, field)
                            ? DBFReadStringAttribute(dbf.get(), r, field)
                            : nullptr;
      label = CntrsLabel(raw, charset);
    }
    const int parts = obj->nParts > 1 && obj->panPartStart ? obj->nParts : 1;
    for (int p = 0; p < parts; p++) {
      // Part starts come from the file: keep them inside the vertex range and ascending.
      int begin = parts > 1 ? std::clamp(obj->panPartStart[p], 0, nv) : 0;
      int end = parts > 1 && p + 1 < parts ? std::clamp(obj->panPartStart[p + 1], begin, nv) : nv;
      std::span<const double> lon(obj->padfX + begin, std::size_t(end - begin));
      std::span<const double> lat(obj->padfY + begin, std::size_t(end - begin));
      const bool single = end - begin == 1;
      std::size_t made = kind == Kind::Points || single ? CntrsAddPoints(lon, lat, view, &pieces)
                                                        : CntrsAddLine(lon, lat, view, &pieces);
      if (out->has_labels)
        for (std::size_t i = 0; i < made; i++)
          out->labels.push_back(i == 0 || kind == Kind::Points ? label : std::string());
    }
  }
  return true;
}

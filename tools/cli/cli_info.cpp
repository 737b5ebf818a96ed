// nubicorn-cli info FILE [--json]: the xRIT header records of a file.
#include <glib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/suplfile.h"
#include "data/wt.h"
#include "data/xrit.h"
#include "tools/cli/cli_fci.h"

namespace {

const char* const USAGE = "Usage: nubicorn-cli info FILE [--json]\n";

// JSON string of raw header text: bytes outside printable ASCII become \u00XX.
std::string Json(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += char(c);
    }
  }
  return o + "\"";
}

// Printable form for the text listing.
std::string Text(const std::string& s) {
  std::string o;
  for (unsigned char c : s) o += (c < 0x20 || c >= 0x7F) ? '.' : char(c);
  return o;
}

// CDS day and milliseconds as an ISO date and time (UTC).
std::string CdsTime(uint16_t days, uint32_t ms) {
  GDateTime* epoch = g_date_time_new_utc(1958, 1, 1, 0, 0, 0);
  GDateTime* t = g_date_time_add(epoch, (GTimeSpan(days) * 86400000 + ms) * 1000);
  char buf[64] = "";
  if (t) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03uZ", g_date_time_get_year(t),
                  g_date_time_get_month(t), g_date_time_get_day_of_month(t),
                  g_date_time_get_hour(t), g_date_time_get_minute(t), g_date_time_get_second(t),
                  unsigned(ms % 1000));
    g_date_time_unref(t);
  }
  g_date_time_unref(epoch);
  return buf;
}

const char* ReprName(int r) {
  switch (r) {
    case XRIT_REPR_NONE: return "none";
    case XRIT_REPR_JPEG: return "JPEG";
    case XRIT_REPR_T4: return "T.4";
    case XRIT_REPR_WT: return "WT";
    default: return "unknown";
  }
}

const char* const PREDICTOR_NAMES[] = {"none", "A", "B", "C"};
const char* const BLOCK_NAMES[] = {"16x16", "32x32", "64x64", "whole segment"};

// The WT stream parameters of a compressed image field, when it has them.
bool StreamParams(const XritHeader& h, std::span<const uint8_t> file, WtParams* p, std::string* err) {
  if (h.compression == 0 || !h.has_segment || h.representation != XRIT_REPR_WT) return false;
  if (h.header_length >= file.size()) {
    *err = "data field missing";
    return false;
  }
  return WtParseHeader(file.subspan(h.header_length), p, err);
}

void PrintJson(const XritHeader& h, const char* path, const WtParams* wt) {
  std::printf("{\n  \"file\": %s,\n  \"file_type\": %d,\n  \"header_length\": %u,\n"
              "  \"data_field_bits\": %llu",
              Json(path).c_str(), h.file_type, h.header_length, (unsigned long long)h.data_bits);
  if (h.has_structure)
    std::printf(",\n  \"image_structure\": {\"nb\": %d, \"nc\": %d, \"nl\": %d, \"compression\": %d}",
                h.nb, h.nc, h.nl, h.compression);
  if (h.has_navigation)
    std::printf(",\n  \"image_navigation\": {\"projection\": %s, \"cfac\": %d, \"lfac\": %d, "
                "\"coff\": %d, \"loff\": %d}",
                Json(h.projection).c_str(), h.cfac, h.lfac, h.coff, h.loff);
  if (!h.data_function.empty())
    std::printf(",\n  \"image_data_function\": %s", Json(h.data_function).c_str());
  if (h.has_annotation)
    std::printf(",\n  \"annotation\": %s,\n  \"compressed_mark\": %s", Json(h.annotation).c_str(),
                h.compressed_mark ? "true" : "false");
  std::printf(",\n  \"encrypted\": %s", h.encrypted ? "true" : "false");
  if (h.has_time)
    std::printf(",\n  \"time_stamp\": {\"days\": %u, \"ms\": %u, \"utc\": %s}", h.days, h.ms,
                Json(CdsTime(h.days, h.ms)).c_str());
  if (!h.ancillary.empty()) std::printf(",\n  \"ancillary_text\": %s", Json(h.ancillary).c_str());
  if (h.has_key) std::printf(",\n  \"key_header\": true");
  if (h.has_segment)
    std::printf(",\n  \"segment_identification\": {\"spacecraft\": %u, \"channel\": %u, "
                "\"segment\": %u, \"planned_start\": %u, \"planned_end\": %u, "
                "\"representation\": %u}",
                h.spacecraft, h.channel, h.segment, h.planned_start, h.planned_end,
                h.representation);
  if (wt)
    std::printf(",\n  \"wt_stream\": {\"bits_per_pixel\": %d, \"width\": %d, \"height\": %d, "
                "\"levels\": %d, \"predictor\": \"%s\", \"block_mode\": \"%s\", "
                "\"restart_interval\": %d, \"lossy\": %d}",
                wt->bpp, wt->width, wt->height, wt->levels, PREDICTOR_NAMES[wt->predictor & 3],
                BLOCK_NAMES[wt->block_mode & 3], wt->restart, wt->lossy);
  std::printf(",\n  \"line_quality_entries\": %zu\n}\n", h.line_quality.size());
}

void PrintText(const XritHeader& h, const char* path, const WtParams* wt) {
  std::printf("file: %s\n", path);
  std::printf("primary: file type %d, header length %u, data field %llu bits\n", h.file_type,
              h.header_length, (unsigned long long)h.data_bits);
  if (h.has_structure)
    std::printf("image structure: NB %d, NC %d, NL %d, compression %d\n", h.nb, h.nc, h.nl,
                h.compression);
  if (h.has_navigation)
    std::printf("image navigation: %s, CFAC %d, LFAC %d, COFF %d, LOFF %d\n",
                Text(h.projection).c_str(), h.cfac, h.lfac, h.coff, h.loff);
  if (!h.data_function.empty())
    std::printf("image data function: %s\n", Text(h.data_function).c_str());
  if (h.has_annotation) std::printf("annotation: %s\n", Text(h.annotation).c_str());
  std::printf("encrypted: %s\n", h.encrypted ? "yes" : "no");
  if (h.has_time)
    std::printf("time stamp: day %u, ms %u (%s)\n", h.days, h.ms, CdsTime(h.days, h.ms).c_str());
  if (!h.ancillary.empty()) std::printf("ancillary text: %s\n", Text(h.ancillary).c_str());
  if (h.has_key) std::printf("key header: present\n");
  if (h.has_segment)
    std::printf("segment identification: spacecraft %u, channel %u, segment %u (planned %u..%u), "
                "representation %u (%s)\n",
                h.spacecraft, h.channel, h.segment, h.planned_start, h.planned_end,
                h.representation, ReprName(h.representation));
  if (wt)
    std::printf("WT stream: %d bits, %d x %d, %d levels, predictor %s, blocks %s, restart interval "
                "%d, %s\n",
                wt->bpp, wt->width, wt->height, wt->levels, PREDICTOR_NAMES[wt->predictor & 3],
                BLOCK_NAMES[wt->block_mode & 3], wt->restart,
                wt->lossy ? ("lossy Q " + std::to_string(wt->lossy)).c_str() : "lossless");
  std::printf("line quality: %zu entries\n", h.line_quality.size());
}

}  // namespace

int CliInfo(int argc, char** argv) {
  const char* file = nullptr;
  bool json = false;
  for (int i = 1; i < argc; i++) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(USAGE, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--json")) json = true;
    else if (!file && argv[i][0] != '-') file = argv[i];
    else {
      std::fputs(USAGE, stderr);
      return 2;
    }
  }
  if (!file) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  if (CliFciFile(file)) return CliInfoFci(file, json);
  // The same bounded reader as every data file: no FIFO, device or oversized file.
  std::vector<uint8_t> data;
  std::string why;
  if (!SuplFileRead(file, SUPL_XRIT_MAX_FILE, &data, &why)) {
    std::fprintf(stderr, "nubicorn-cli info: %s: %s%s\n", file, why.c_str(),
                 why.rfind("larger than", 0) == 0 ? ", more than any xRIT file holds" : "");
    return 1;
  }
  XritHeader h;
  std::string err;
  const std::span<const uint8_t> bytes(data);
  const bool ok = XritParseHeaders(bytes, &h, &err);
  WtParams wt;
  std::string wt_err;
  const bool has_wt = ok && StreamParams(h, bytes, &wt, &wt_err);
  if (!ok) {
    std::fprintf(stderr, "nubicorn-cli info: %s: %s\n", file, err.c_str());
    return 1;
  }
  if (!wt_err.empty()) std::fprintf(stderr, "nubicorn-cli info: %s: WT stream: %s\n", file, wt_err.c_str());
  if (json) PrintJson(h, file, has_wt ? &wt : nullptr);
  else PrintText(h, file, has_wt ? &wt : nullptr);
  return 0;
}

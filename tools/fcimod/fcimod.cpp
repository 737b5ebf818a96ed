// nubicorn-cli for MTG FCI: synth, info and channel on FDHSI chunk files, built as the module
// nubicorn-fci.so that the command-line tool loads only for them.
#include <glib.h>
#include <netcdf.h>
#include <netcdf_filter.h>
#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/fci.h"
#include "data/fci_jls.h"
#include "tools/fcimod/fcimodabi.h"
#include "tools/cli/cli_image.h"
#include "tools/geotiff/geotiff.h"
#include "tools/pgm.h"
#include "tools/png.h"
#include "tools/synth.h"
#include "tools/synthfci.h"
#include "tools/synthland.h"

namespace {

const char* const SYNTH_USAGE =
    "usage: nubicorn-cli synth --satellite MTG-I1..MTG-I4 --out DIR --slot YYYYMMDDhhmm [--count N]\n"
    "                          [--seed S] [--clouds F] [--compress] [--land builtin|SHORE.shp]\n"
    "                          [--channels ir_105,vis_06,...] [--rect X,Y,W,H]\n"
    "  writes N consecutive FDHSI repeat cycles (default 1, every 10 minutes): 40 BODY chunk\n"
    "  files and the TRAIL file, JPEG-LS compressed with --compress; --rect (on the north-up\n"
    "  2 km grid) writes only the chunks it meets and fills only its pixels, --channels only\n"
    "  those channels\n";

const char* const CHANNEL_USAGE =
    "usage: nubicorn-cli channel --satellite MTG-I1 --data DIR --slot YYYYMMDDhhmm --channel NAME\n"
    "                            --rect X,Y,W,H -o|--out OUT.pgm [--display OUT.png] [--geotiff OUT.tif]\n"
    "                            [--at X,Y]\n"
    "  NAME: vis_04 .. nir_22 (1 km, twice the window) or ir_38 .. ir_133; the window is on the\n"
    "  north-up 2 km grid; --geotiff writes the counts georeferenced; --at prints the count and\n"
    "  value of one pixel of the output\n";

// "MTG-I1" .. "MTG-I4" (also "MTGI1", "MTI1") to 1..4; 0 for anything else.
int ParseSpacecraft(const char* v) {
  if (!v) return 0;
  std::string s;
  for (const char* p = v; *p; p++)
    if (*p != '-' && *p != '_') s += char(g_ascii_toupper(*p));
  if (s.size() == 5 && (!s.compare(0, 4, "MTGI")) && s[4] >= '1' && s[4] <= '4') return s[4] - '0';
  if (s.size() == 4 && !s.compare(0, 3, "MTI") && s[3] >= '1' && s[3] <= '4') return s[3] - '0';
  return 0;
}

bool ParseLong(const char* s, long lo, long hi, long* out) {
  if (!s) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno || end == s || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseChannels(const char* text, std::vector<int>* out) {
  if (!text) return false;
  gchar** parts = g_strsplit(text, ",", -1);
  bool ok = parts[0] != nullptr;
  for (int i = 0; ok && parts[i]; i++) {
    const int c = FciChannelIndex(g_strstrip(parts[i]));
    ok = c >= 0;
    out->push_back(c);
  }
  g_strfreev(parts);
  return ok;
}

int Bad(const char* cmd, const char* what, const char* usage) {
  std::fprintf(stderr, "nubicorn-cli %s: %s\n%s", cmd, what, usage);
  return 2;
}

}  // namespace

extern "C" int nubicorn_fci_abi(void) { return FCI_MODULE_ABI_VERSION; }

extern "C" int nubicorn_fci_synth(int argc, char** argv) {
  SynthFciOptions o;
  o.land_shore = SynthLandDefaultShore();
  o.land_lakes = SynthLandDefaultLakes();
  long count = 1;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(SYNTH_USAGE, stdout);
      return 0;
    }
    if (!std::strcmp(a, "--compress")) {
      o.compress = true;
      continue;
    }
    if (!v) return Bad("synth", "an option lacks its value", SYNTH_USAGE);
    i++;
    if (!std::strcmp(a, "--out")) o.out = v;
    else if (!std::strcmp(a, "--slot")) o.slot = v;
    else if (!std::strcmp(a, "--satellite")) {
      if (!(o.spacecraft = ParseSpacecraft(v))) return Bad("synth", "--satellite wants MTG-I1 to MTG-I4", SYNTH_USAGE);
    } else if (!std::strcmp(a, "--count")) {
      if (!ParseLong(v, 1, 144 * 31, &count)) return Bad("synth", "--count wants 1 to 4464", SYNTH_USAGE);
    } else if (!std::strcmp(a, "--seed")) {
      long s = 0;
      if (!ParseLong(v, 0, 4294967295L, &s)) return Bad("synth", "--seed wants 0 to 4294967295", SYNTH_USAGE);
      o.seed = uint32_t(s);
    } else if (!std::strcmp(a, "--clouds")) {
      char* end = nullptr;
      const double f = std::strtod(v, &end);
      if (end == v || *end || !(f >= 0 && f <= 1)) return Bad("synth", "--clouds wants 0 to 1", SYNTH_USAGE);
      o.cloud_cover = f;
    } else if (!std::strcmp(a, "--land")) {
      o.land_shore = std::strcmp(v, "builtin") ? v : "";
      o.land_lakes.clear();
    } else if (!std::strcmp(a, "--channels")) {
      if (!ParseChannels(v, &o.channels)) return Bad("synth", "--channels wants FCI channel names", SYNTH_USAGE);
    } else if (!std::strcmp(a, "--rect")) {
      if (!CliParseRect(v, o.rect) || o.rect[2] <= 0 || o.rect[3] <= 0)
        return Bad("synth", "--rect wants X,Y,W,H with W and H above 0", SYNTH_USAGE);
    } else {
      return Bad("synth", "unknown argument", SYNTH_USAGE);
    }
  }
  if (o.out.empty() || o.slot.empty()) return Bad("synth", "--out and --slot are required", SYNTH_USAGE);
  auto make = [&o](const std::string& slot, std::string* err) {
    o.slot = slot;
    return SynthFciCycle(o, err);
  };
  return CliSynthCycles(o.slot, count, FCI_SLOT_MINUTES, make);
}

extern "C" int nubicorn_fci_info(const char* path, int json) {
  gchar* base = g_path_get_basename(path);
  FciName n;
  const bool named = FciParseName(base, &n);
  g_free(base);
  std::string rows_text;
  int found = 0;
  for (int c = 0; c < FCI_CHANNEL_COUNT; c++) {
    FciChunkMeta m;
    std::string err;
    if (!FciReadMeta(path, c, &m, &err)) continue;
    char line[256];
    if (json)
      std::snprintf(line, sizeof line,
                    "%s{\"channel\":\"%s\",\"first_row\":%d,\"last_row\":%d,\"columns\":%d,\"jpeg_ls\":%s}",
                    found ? "," : "", FciChannels[c].name, m.first_row, m.last_row, m.columns,
                    m.compressed ? "true" : "false");
    else
      std::snprintf(line, sizeof line, "  %-7s rows %d..%d  columns %d%s\n", FciChannels[c].name, m.first_row,
                    m.last_row, m.columns, m.compressed ? "  JPEG-LS" : "");
    rows_text += line;
    found++;
  }
  if (!found && !named) {
    std::fprintf(stderr, "nubicorn-cli info: %s: no FCI channel can be read\n", path);
    return 1;
  }
  if (json) {
    std::printf("{\"fci\":{\"body\":%s,\"chunk\":%d,\"jls\":%s,\"channels\":[%s]}}\n",
                named ? (n.body ? "true" : "false") : "null", named ? n.chunk : 0,
                named && n.jls ? "true" : "false", rows_text.c_str());
  } else {
    if (named)
      std::printf("FCI FDHSI %s, chunk %d, MTI%d, %s\n", n.body ? "BODY" : "TRAIL", n.chunk, n.spacecraft,
                  n.jls ? "JPEG-LS" : "uncompressed");
    std::printf("channels: %d\n%s", found, rows_text.c_str());
  }
  return 0;
}

extern "C" int nubicorn_fci_channel(int argc, char** argv) {
  const char *data = nullptr, *slot = nullptr, *out = nullptr, *display = nullptr, *geotiff = nullptr;
  int channel = -1;
  int32_t rect[4], at[4] = {-1, -1, 0, 0};
  bool have_rect = false, have_at = false;
  for (int i = 1; i < argc; i += 2) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) return Bad("channel", "an option lacks its value", CHANNEL_USAGE);
    if (!std::strcmp(a, "--data")) data = v;
    else if (!std::strcmp(a, "--slot")) slot = v;
    else if (!std::strcmp(a, "--satellite")) {
      if (!ParseSpacecraft(v)) return Bad("channel", "--satellite wants MTG-I1 to MTG-I4", CHANNEL_USAGE);
    } else if (!std::strcmp(a, "--channel")) channel = FciChannelIndex(v);
    else if (!std::strcmp(a, "--rect")) have_rect = CliParseRect(v, rect);
    else if (!std::strcmp(a, "--at")) {
      gchar* t = g_strdup_printf("%s,0,0", v);
      have_at = CliParseRect(t, at);
      g_free(t);
    } else if (!std::strcmp(a, "-o") || !std::strcmp(a, "--out")) out = v;
    else if (!std::strcmp(a, "--display")) display = v;
    else if (!std::strcmp(a, "--geotiff")) geotiff = v;
    else return Bad("channel", "unknown argument", CHANNEL_USAGE);
  }
  if (!data || !slot || channel < 0 || !have_rect || !out)
    return Bad("channel", "--data, --slot, --channel, --rect and --out are required", CHANNEL_USAGE);
  auto img = FciLoadWindow(data, slot, channel, rect);
  if (!img) {
    std::fprintf(stderr, "nubicorn-cli channel: Input data error (%s, %s)\n", data, slot);
    return 1;
  }
  const cv::Mat& m = img->counts;
  std::string err;
  if (!PgmWrite16(out, m.ptr<uint16_t>(), m.cols, m.rows, 65535, &err)) {
    std::fprintf(stderr, "nubicorn-cli channel: %s\n", err.c_str());
    return 1;
  }
  if (display) {
    cv::Mat rgb;
    cv::cvtColor(FciDisplay(*img), rgb, cv::COLOR_GRAY2RGB);
    if (!PngWriteRgb(display, rgb, &err)) {
      std::fprintf(stderr, "nubicorn-cli channel: %s\n", err.c_str());
      return 1;
    }
  }
  if (geotiff && !GeotiffSave(geotiff, m, GeotiffFciGeo(rect, m.cols, m.rows, 0.0),
                              std::string(FciChannels[channel].name) + " " + slot, &err)) {
    std::fprintf(stderr, "nubicorn-cli channel: %s\n", err.c_str());
    return 1;
  }
  const bool refl = img->quantity == FciQuantity::Reflectance;
  std::printf("%s: %dx%d counts, window %d,%d %dx%d, %zu chunk files, %s\n", FciChannels[channel].name, m.cols,
              m.rows, rect[0], rect[1], rect[2], rect[3], img->opened.size(),
              refl ? "reflectance" : "brightness temperature K");
  if (have_at) {
    if (at[0] < 0 || at[1] < 0 || at[0] >= m.cols || at[1] >= m.rows) {
      std::fprintf(stderr, "nubicorn-cli channel: --at is outside the %dx%d image\n", m.cols, m.rows);
      return 2;
    }
    std::printf("at %d,%d: count %u value %.4f\n", at[0], at[1], unsigned(m.at<uint16_t>(at[1], at[0])),
                double(img->values.at<float>(at[1], at[0])));
  }
  return 0;
}

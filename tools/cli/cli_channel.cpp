// nubicorn-cli channel: the count image and display image of one channel for a window.
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/satellite.h"
#include "data/supl.h"
#include "data/suplsave.h"
#include "tools/cli/cli_fci.h"
#include "tools/cli/cli_image.h"
#include "tools/geotiff/geotiff.h"
#include "tools/pgm.h"
#include "tools/png.h"

int CliParseChannel(const char* text) {
  int id;
  if (CliParseInt(text, &id)) return id >= 1 && id <= CHANNEL_COUNT ? id : 0;
  if (!text) return 0;
  // "IR_108", "hrv", "HRV___" and the labels ("IR 10.8") all name a channel.
  auto bare = [](const char* s) {
    std::string b(s);
    while (!b.empty() && b.back() == '_') b.pop_back();
    return b;
  };
  const std::string want = bare(text);
  for (int i = 1; i <= CHANNEL_COUNT; i++)
    if (!g_ascii_strcasecmp(want.c_str(), bare(InfoChannelText[i]).c_str()) ||
        !g_ascii_strcasecmp(text, InfoChannelLabel[i]))
      return i;
  return 0;
}

std::string CliSegmentPath(const char* dir, const char* slot, int id) {
  // The folder may hold any spacecraft's or service's files: take the first name that exists,
  // MSG3 full disk (the default choice) first, so its path is the one reported when none does.
  std::string first;
  for (SatService service : {SatService::Full, SatService::Rapid, SatService::Iodc})
    for (int k = 0; k < SAT_SPACECRAFT_MAX; k++) {
      const Sat sat{(Sat{}.spacecraft - 1 + k) % SAT_SPACECRAFT_MAX + 1, service};
      char name[128];
      std::snprintf(name, sizeof name, SatNameFormat(sat, id == HRV_ID).c_str(),
                    InfoChannelText[id], slot);
      gchar* p = g_build_filename(dir, name, nullptr);
      std::string path(p);
      g_free(p);
      if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return path;
      if (first.empty()) first = path;
    }
  return first;
}

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: nubicorn-cli channel --data DIR --slot YYYYMMDDhhmm --channel ID "
               "--rect X,Y,W,H -o|--out OUT.pgm [--display OUT.png] [--geotiff OUT.tif] [--hrv-east N]\n");
  return 2;
}

}  // namespace

int CliChannel(int argc, char** argv) {
  if (CliFciWanted(argc, argv)) return CliChannelFci(argc, argv);
  const char *data = nullptr, *slot = nullptr, *out = nullptr, *display = nullptr,
             *geotiff = nullptr;
  int id = 0, east = 0;
  int32_t rect[4];
  bool have_rect = false;
  for (int i = 1; i < argc; i += 2) {  // every option takes a value
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) return Usage();
    if (!std::strcmp(a, "--data")) data = v;
    else if (!std::strcmp(a, "--slot")) slot = v;
    else if (!std::strcmp(a, "--channel")) id = CliParseChannel(v);
    else if (!std::strcmp(a, "--rect")) have_rect = CliParseRect(v, rect);
    else if (!std::strcmp(a, "-o") || !std::strcmp(a, "--out")) out = v;
    else if (!std::strcmp(a, "--display")) display = v;
    else if (!std::strcmp(a, "--geotiff")) geotiff = v;
    else if (!std::strcmp(a, "--hrv-east")) {
      if (!CliParseInt(v, &east)) return Usage();
    } else return Usage();
  }
  SlotTime t;
  if (!data || !slot || !SuplParseDate(slot, &t) || !id || !have_rect || !out) return Usage();
  const std::string path = CliSegmentPath(data, slot, id);
  int32_t hrv_east = east;
  auto images = LayerLoadChannel(path.c_str(), id, rect, &hrv_east);
  if (!images) {
    std::fprintf(stderr, "nubicorn-cli channel: Input data error (%s)\n", path.c_str());
    return 1;
  }
  // Both files are written in full before either takes its name: a failure leaves neither.
  const cv::Mat& m = (*images)[0];
  std::string err;
  SuplSave counts(out, SuplPublish::Replace);
  std::optional<SuplSave> picture;
  if (display) picture.emplace(display, SuplPublish::Replace);
  bool ok = PgmEncode16(&counts, m.ptr<uint16_t>(), m.cols, m.rows, 1023);
  if (!ok) err = counts.error();
  if (ok && picture) ok = PngEncodeRgb(&*picture, (*images)[1], &err);
  for (SuplSave* file : {&counts, picture ? &*picture : nullptr})
    if (ok && file && !file->Publish()) {
      ok = false;
      err = file->error();
    }
  if (!ok) {
    std::fprintf(stderr, "nubicorn-cli channel: %s\n", err.c_str());
    return 1;
  }
  if (geotiff && !GeotiffSave(geotiff, m, GeotiffMsgGeo(rect, m.cols, m.rows, GeotiffSegmentLongitude(path)),
                              InfoChannelLabel[id] + std::string(" ") + slot, &err)) {
    std::fprintf(stderr, "nubicorn-cli channel: %s\n", err.c_str());
    return 1;
  }
  std::printf("%s: %dx%d counts, window %d,%d %dx%d", InfoChannelLabel[id], m.cols, m.rows,
              rect[0], rect[1], rect[2], rect[3]);
  if (id == HRV_ID) std::printf(", hrv-east %d", hrv_east);
  std::printf("\n");
  return 0;
}

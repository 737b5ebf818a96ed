#include "data/layer.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/layerframe.h"
#include "data/satellite.h"
#include "data/supl.h"
#include "data/suplremap.h"
#include "data/suplimage.h"
#include "data/supltsan.h"
#include "data/xrit.h"

namespace {

constexpr LayerFrame IR_FRAME = {DISK_ROWS, IR_COLUMNS, SEGMENT_COUNT, 0, {}};

// Lines of one segment as read: the packed lines from `first` on (none when it was not read).
struct SegmentLines {
  SuplBytes bytes;
  int first = 0;
};

// Raw lines [lo, hi] (file order, south first) of the grid that the north-up rows
// r[1] .. r[1] + r[3] - 1 cover.
void RawLines(const LayerFrame& g, const int32_t r[4], int* lo, int* hi) {
  *lo = std::max(g.rows - r[1] - r[3], 0);
  *hi = std::min(g.rows - 1 - r[1], g.rows - 1);
}

// One row of the rect (x, w: its columns) from its packed raw line `line`, raw line q of the
// grid (null: no data), the parts without data 0. Raw pixel p lands in frame column
// cols - 1 - p - shift, so the span of raw pixels the rect needs is read back to front.
void CutLine(const uint8_t* line, const LayerFrame& g, int q, int x, int w, uint16_t* d) {
  int shift = 0, last = 0;
  if (!line || !LayerLinePlace(g, q, &shift, &last)) {
    std::fill(d, d + w, 0);
    return;
  }
  const int fc0 = std::max(x, g.cols - 1 - last - shift), fc1 = std::min(x + w, g.cols - shift);
  if (fc0 >= fc1) {
    std::fill(d, d + w, 0);
    return;
  }
  const int p_lo = g.cols - shift - fc1, p_hi = g.cols - 1 - shift - fc0;  // raw pixels needed
  std::fill(d, d + (fc0 - x), 0);
  SuplUnpack10Reversed(line, p_lo, p_hi, d + (fc0 - x));
  std::fill(d + (fc1 - x), d + w, 0);
}

// The rect of the north-up frame straight from the packed segments in file order (lines
// south first, each east first): row fr of the frame is raw line rows - 1 - fr. Only the lines
// the rect needs are unpacked. Rows of segments not read and the parts without data are 0.
cv::Mat CutFrame(const std::vector<SegmentLines>& segs, const LayerFrame& g, const int32_t r[4]) {
  const int x = r[0], y = r[1], w = r[2], h = r[3];
  cv::Mat out(h, w, CV_16UC1);
  const size_t line_bytes = size_t(g.cols) * 10 / 8;
  SuplParallelFor(cv::Range(0, h), [&](const cv::Range& range) {
    for (int j = range.start; j < range.end; j++) {
      const int fr = y + j;
      const int q = g.rows - 1 - fr;  // raw line
      const SegmentLines* seg = fr >= 0 && fr < g.rows ? &segs[q / SEGMENT_LINES] : nullptr;
      const int at = seg ? q % SEGMENT_LINES - seg->first : -1;
      const bool have = seg && at >= 0 && size_t(at + 1) * line_bytes <= seg->bytes.size();
      CutLine(have ? seg->bytes.data() + size_t(at) * line_bytes : nullptr, g, q, x, w,
              out.ptr<uint16_t>(j));
    }
  });
  return out;
}

// File names of the segments whose rows the rect touches, by segment index k (empty: not
// touched).
std::vector<std::string> SegmentNames(const char* path, const LayerFrame& g, const int32_t r[4]) {
  std::string name(path);
  const size_t at = name.size() - NAME_LENGTH + 40;  // segment digits of the file name
  int lo, hi;
  RawLines(g, r, &lo, &hi);
  std::vector<std::string> names(size_t(g.count));
  for (int k = 0; k < g.count; k++) {
    if (hi < k * SEGMENT_LINES || lo >= (k + 1) * SEGMENT_LINES) continue;
    char digits[12];
    std::snprintf(digits, sizeof digits, "%02d", (k + 1) % 100);
    name[at] = digits[0];
    name[at + 1] = digits[1];
    names[size_t(k)] = name;
  }
  return names;
}

// Compressed segments are decoded whole, side by side, each on one thread (a segment's restart
// intervals would otherwise compete with its neighbours for the same cores); then the rect is
// cut from the decoded lines. files: the opened segments, by index (fd < 0: not usable). False
// when none of them could be read.
bool ReadDecoded(const std::vector<XritSegmentFile>& files, const std::vector<std::string>& names,
                 const LayerFrame& g, const int32_t r[4], std::vector<std::string>* notes, cv::Mat* out) {
  const size_t line_bytes = size_t(g.cols) * 10 / 8;
  int lo, hi;
  RawLines(g, r, &lo, &hi);
  std::vector<int> ks;
  for (int k = 0; k < g.count; k++)
    if (files[size_t(k)].fd >= 0) ks.push_back(k);
  std::vector<SegmentLines> segs(size_t(g.count));
  const int n = int(ks.size());
  const int threads = n > 1 ? 1 : 0;
  SuplParallelFor(cv::Range(0, n), [&](const cv::Range& range) {
    for (int i = range.start; i < range.end; i++) {
      const int k = ks[size_t(i)];
      const int first = std::max(lo - k * SEGMENT_LINES, 0);
      const int last = std::min(hi - k * SEGMENT_LINES, SEGMENT_LINES - 1);
      int from = 0;
      SuplBytes buf = XritSegmentLines(files[size_t(k)], names[size_t(k)].c_str(), first,
                                       last - first + 1, &from, threads, &(*notes)[size_t(k)]);
      if (buf.size() >= size_t(last + 1 - from) * line_bytes)
        segs[size_t(k)] = {std::move(buf), from};
    }
  });
  if (std::all_of(segs.begin(), segs.end(), [](const SegmentLines& s) { return s.bytes.empty(); }))
    return false;
  *out = CutFrame(segs, g, r);
  return true;
}

// Crop rows per piece of a plain read: their packed lines (under 250 kB for HRV) are still in
// the core's cache when they are unpacked.
constexpr int PIECE_ROWS = 32;

// Uncompressed segments opened for the rect, read from any thread.
struct PlainRead {
  const std::vector<XritSegmentFile>& files;  // by segment index; fd < 0: not usable
  const std::vector<std::string>& names;
  const LayerFrame& g;
  const int32_t* r;
  std::atomic<bool> any{false};  // some line was read
};

// Rows [j0, j1) of the rect into rows 0.. of out, each run of rows in one segment with one
// pread into buf (at least PIECE_ROWS lines) and unpacked at once. Rows off the strip, of
// segments not usable and of lines that could not be read are 0.
void CutRows(PlainRead& pr, int j0, int j1, SuplBytes& buf, cv::Mat& out) {
  const LayerFrame& g = pr.g;
  const int x = pr.r[0], y = pr.r[1], w = pr.r[2];
  const size_t line_bytes = size_t(g.cols) * 10 / 8;
  const int piece = int(buf.size() / line_bytes);
  for (int j = j0; j < j1;) {
    const int fr = y + j;
    const int q = g.rows - 1 - fr;  // raw line: descends as j grows
    const int k = q / SEGMENT_LINES;
    const bool on = fr >= 0 && fr < g.rows && pr.files[size_t(k)].fd >= 0;
    // The following rows in the same segment (or likewise off the strip), at most a piece:
    // lines q - n + 1 .. q of segment k, in file order.
    int j_end = j + 1;
    const int j_max = std::min(j1, j + piece);
    if (fr < 0 || fr >= g.rows) {
      while (j_end < j_max && (y + j_end < 0 || y + j_end >= g.rows)) j_end++;
    } else {
      while (j_end < j_max && y + j_end < g.rows && (g.rows - 1 - y - j_end) / SEGMENT_LINES == k)
        j_end++;
    }
    const int n = j_end - j;
    const bool read = on && XritSegmentReadInto(pr.files[size_t(k)], pr.names[size_t(k)].c_str(),
                                                q - (n - 1) - k * SEGMENT_LINES, n, buf.data());
    for (int jj = j; jj < j_end; jj++)
      CutLine(read ? buf.data() + size_t(n - 1 - (jj - j)) * line_bytes : nullptr, g, q - (jj - j), x,
              w, out.ptr<uint16_t>(jj - j0));
    if (read) pr.any.store(true, std::memory_order_relaxed);
    j = j_end;
  }
}

// The rect read from uncompressed segments piece by piece. False when no line could be read.
bool ReadPlain(PlainRead& pr, cv::Mat* out) {
  const int h = pr.r[3];
  cv::Mat crop(h, pr.r[2], CV_16UC1);
  const size_t line_bytes = size_t(pr.g.cols) * 10 / 8;
  SuplParallelFor(cv::Range(0, (h + PIECE_ROWS - 1) / PIECE_ROWS), [&](const cv::Range& range) {
    SuplBytes buf(size_t(PIECE_ROWS) * line_bytes);
    for (int piece = range.start; piece < range.end; piece++) {
      const int j0 = piece * PIECE_ROWS, j1 = std::min(h, j0 + PIECE_ROWS);
      cv::Mat rows = crop.rowRange(j0, j1);
      CutRows(pr, j0, j1, buf, rows);
    }
  });
  if (!pr.any.load()) return false;
  *out = std::move(crop);
  return true;
}

// Opens the segments the rect touches. False when none can be used; *compressed when one of
// them must be decoded whole. notes[k]: the warning about segment k, if any.
bool OpenSegments(const std::vector<std::string>& names, std::vector<XritSegmentFile>* files,
                  bool* compressed, std::vector<std::string>* notes) {
  files->clear();
  files->resize(names.size());
  notes->assign(names.size(), std::string());
  bool anything = false;
  *compressed = false;
  for (size_t k = 0; k < names.size(); k++) {
    if (names[k].empty() || !XritSegmentOpen(names[k].c_str(), &(*files)[k], &(*notes)[k])) continue;
    anything = true;
    *compressed = *compressed || (*files)[k].compressed;
  }
  return anything;
}

// The first segment in segment order with a warning, as "NAME(what)" (NAME without folder).
std::string FirstDamage(const std::vector<std::string>& names, const std::vector<std::string>& notes) {
  for (size_t k = 0; k < names.size() && k < notes.size(); k++) {
    if (notes[k].empty()) continue;
    const size_t slash = names[k].find_last_of('/');
    return names[k].substr(slash == std::string::npos ? 0 : slash + 1) + "(" + notes[k] + ")";
  }
  return {};
}

// A window the path's service never sends: rapid scan has segments 6 to 8 only. Warns.
bool ServiceLacks(const char* path, const int32_t window[4]) {
  Sat sat;
  if (!SatFromName(path + std::strlen(path) - NAME_LENGTH, &sat) || sat.service != SatService::Rapid)
    return false;
  const auto [first, last] = LayerSegments(window, false);
  const auto [sent_first, sent_last] = SatServiceSegments(sat, false);
  if (first >= sent_first) return false;
  g_log(nullptr, G_LOG_LEVEL_WARNING,
        "%s: view window %d,%d %dx%d needs segments %d to %d; the %s service sends segments %d to %d only",
        path, window[0], window[1], window[2], window[3], first, last, SatServiceName(sat.service),
        sent_first, sent_last);
  return true;
}

// display, when given for HRV, receives the grey display image made in the resampling pass.
cv::Mat LoadMsg(const char* path, int32_t window[4], bool hrv, int32_t* east,
                LayerHrvMaps* maps, cv::Mat* display, std::string* damaged) {
  if (!path || std::strlen(path) < size_t(NAME_LENGTH)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path ? path : "(null)");
    return {};
  }
  if (!window) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: no view window", path);
    return {};
  }
  if (window[2] <= 0 || window[3] <= 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: view window %d,%d %dx%d is empty", path, window[0],
          window[1], window[2], window[3]);
    return {};
  }
  // The view window is shrunk in place to end at the disk; a window that is refused stays as
  // it was.
  int32_t rect[4];
  std::copy(window, window + 4, rect);
  if (!LayerClampRect(rect, DISK_ROWS, 0, IR_COLUMNS) || rect[0] < 0 || rect[1] < 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: view window %d,%d %dx%d lies outside the disk (%dx%d)",
          path, window[0], window[1], window[2], window[3], IR_COLUMNS, DISK_ROWS);
    return {};
  }
  if (ServiceLacks(path, rect)) return {};
  std::copy(rect, rect + 4, window);
  LayerFrame g = IR_FRAME;
  LayerHrvMaps local;
  int32_t key[LAYER_HRV_KEY] = {};  // of the HRV maps
  bool have_maps = false;
  if (hrv) {
    if (!maps) maps = &local;
    if (!LayerHrvCrop(path, window, east, &g, maps, rect, key, &have_maps)) return {};
  }
  const std::vector<std::string> names = SegmentNames(path, g, rect);
  std::vector<XritSegmentFile> files;
  std::vector<std::string> notes;
  bool compressed = false;
  const bool opened = OpenSegments(names, &files, &compressed, &notes);
  if (damaged) *damaged = FirstDamage(names, notes);
  if (!opened) return {};
  PlainRead pr{files, names, g, rect};
  cv::Mat crop;
  if (compressed) {
    const bool read = ReadDecoded(files, names, g, rect, &notes, &crop);
    if (damaged) *damaged = FirstDamage(names, notes);
    if (!read) return {};
  } else if (!hrv && !ReadPlain(pr, &crop)) {
    return {};
  }
  if (!hrv) return crop;

  if (!have_maps) {
    LayerHrvMapsMake(window, *east, rect, maps);
    std::copy(rect, rect + 4, maps->crop);
    std::copy(key, key + LAYER_HRV_KEY, maps->key);
  }
  cv::Mat out;
  if (!crop.empty()) {
    SuplRemapSep(crop, maps->sep, out, display);
    return out;
  }
  // Plain segments: each stripe of the resampling reads and unpacks just the crop rows it
  // needs, which then stay in the core's cache; the whole crop never exists.
  const size_t line_bytes = size_t(g.cols) * 10 / 8;
  SuplRemapSepRows(
      cv::Size(rect[2], rect[3]),
      [&](int r0, int r1, cv::Mat& rows) {
        SuplBytes buf(size_t(PIECE_ROWS) * line_bytes);
        CutRows(pr, r0, r1, buf, rows);
      },
      maps->sep, out, display);
  if (!pr.any.load()) return {};
  return out;
}

}  // namespace

bool LayerClampRect(int32_t r[4], int rows, int left, int right) {
  int64_t w = std::min<int64_t>(r[2], int64_t(right) - r[0]);
  int64_t h = std::min<int64_t>(r[3], int64_t(rows) - r[1]);
  r[2] = int32_t(w);
  r[3] = int32_t(h);
  return w > 0 && h > 0 && int64_t(r[0]) + w > left && int64_t(r[1]) + h > 0;
}

std::pair<int, int> LayerSegments(const int32_t window[4], bool hrv) {
  const int64_t top = std::max<int64_t>(window[1], 0);
  const int64_t bottom = std::min<int64_t>(int64_t(window[1]) + window[3], 3712);  // exclusive
  if (window[3] <= 0 || top >= bottom) return {0, -1};
  auto segment = [](int64_t line) { return int((line - 1) / SEGMENT_LINES) + 1; };  // line from the south, 1-based
  if (!hrv) return {segment(3712 - (bottom - 1)), segment(3712 - top)};
  const std::array<int32_t, 4> hw = LayerHrvWindow(window);
  const int64_t lo = std::max<int64_t>(int64_t(hw[1]) - LAYER_HRV_MARGIN, 1);
  const int64_t hi = std::min<int64_t>(int64_t(hw[1]) + hw[3] + LAYER_HRV_MARGIN, HRV_GRID_SIZE);
  return {segment(lo), segment(hi)};
}

namespace {

cv::Mat LoadMsgCaught(const char* path, int32_t window[4], bool hrv, int32_t* east,
                      LayerHrvMaps* maps, cv::Mat* display, std::string* damaged) {
  int32_t fallback_east = HRV_EAST_DEFAULT;
  if (!east) east = &fallback_east;
  if (damaged) damaged->clear();
  try {
    return LoadMsg(path, window, hrv, east, maps, display, damaged);
  } catch (const cv::Exception& e) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", e.what());
  } catch (const std::bad_alloc& e) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", e.what());
  }
  if (maps) maps->key[LAYER_HRV_KEY - 1] = 0;
  return {};
}

}  // namespace

cv::Mat LayerLoadMsg(const char* path, int32_t window[4], bool hrv, int32_t* east,
                     LayerHrvMaps* maps) {
  return LoadMsgCaught(path, window, hrv, east, maps, nullptr, nullptr);
}

std::optional<std::array<cv::Mat, 3>> LayerLoadChannel(const char* path, int id,
                                                       int32_t window[4], int32_t* hrv_east,
                                                       LayerHrvMaps* maps, std::string* damaged) {
  if (damaged) damaged->clear();
  std::array<cv::Mat, 3> images;
  if (id >= 1 && id <= CHANNEL_COUNT) {
    // HRV's display image comes out of the resampling pass itself.
    const bool hrv = id == HRV_ID;
    images[0] = LoadMsgCaught(path, window, hrv, hrv_east, maps, hrv ? &images[1] : nullptr, damaged);
    if (!images[0].empty() && !hrv) images[1] = SuplGray2Rgb(images[0], 3);
  }
  if (images[0].empty() || images[1].empty()) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path ? path : "(null)");
    return std::nullopt;
  }
  return images;
}

#include "tools/synth.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/supl.h"
#include "data/wt.h"
#include "data/xrit.h"
#include "tools/synthprologue.h"
#include "tools/synthscene.h"
#include "tools/xritwrite.h"

namespace {

constexpr int IR_LAST_SEGMENT = 8, HRV_LAST_SEGMENT = 24;
constexpr int HRV_STRIP_SEGMENT = 19;  // first HRV segment of the northern strip
constexpr int HRV_STRIP_LINE = (HRV_STRIP_SEGMENT - 1) * SEGMENT_LINES + 1;  // 8353
constexpr int HRV_LINES = HRV_LAST_SEGMENT * SEGMENT_LINES;                  // 11136

// The segments a cycle has: from first_segment (1: the whole disk) to 8, HRV from the one at
// the same line, or the northern strip (7 and 8, HRV 19 to 24; rapid scan, which sends
// nothing else, 6 to 8).
struct IrStrip {
  int first_segment, segments, rows, first_line;  // first line 1, 2785 (rapid scan 2321)
  int hrv_first_segment;
  int strip_row;  // the row of the northern strip's first line (rapid scan: of its own first)
};
IrStrip IrStripOf(const Sat& s, int first_segment) {
  const bool rapid = s.service == SatService::Rapid;
  const int first = rapid || first_segment < 1 ? SatFirstSegment(s) : std::min(first_segment, HRV_STRIP_SEGMENT / 3 + 1);
  const int n = IR_LAST_SEGMENT - first + 1, line = (first - 1) * SEGMENT_LINES + 1;
  return {first, n, n * SEGMENT_LINES, line, std::min(3 * (first - 1) + 1, HRV_STRIP_SEGMENT),
          rapid ? 0 : (HRV_STRIP_SEGMENT / 3) * SEGMENT_LINES + 1 - line};
}

// Navigation of the segment files.
constexpr int32_t CFAC_IR = -13642337, CFAC_HRV = -40927014;
constexpr int32_t COFF_IR = 1856, COFF_HRV = 5566;
// Column and line scaling of the projection: HRV grid distances from the sub-satellite point
// times HRV_TO_IR give 3712-grid distances (both grids see the same scan angles).
constexpr double HRV_TO_IR = 781648333.0 / 2344944941.0;

constexpr int64_t SCAN_START_MS = 9000, FORWARD_SCAN_MS = 762000;
constexpr int64_t RAPID_FORWARD_SCAN_MS = 249000;  // the northern third within the 5-minute cycle

// Acquisition time of a line of the 3712 grid; rapid scan sweeps only its own segments, so its
// lines fit in the shorter cycle.
int64_t LineTimeMs(const Sat& sat, int64_t t0_ms, double ir_line) {
  if (sat.service != SatService::Rapid) return t0_ms + SCAN_START_MS + int64_t((ir_line - 1) * FORWARD_SCAN_MS / 3712.0);
  const double first = (SatFirstSegment(sat) - 1) * SEGMENT_LINES + 1;
  return t0_ms + SCAN_START_MS + int64_t((ir_line - first) * RAPID_FORWARD_SCAN_MS / (3712.0 - first + 1));
}

struct Strips {
  IrStrip strip;
  double sub_lon = 0;                         // longitude the satellite sees the scene from
  std::array<std::vector<uint16_t>, 12> ir;  // index channel id 1..11: strip rows x 3712, file order
  std::vector<SynthHrvParts> hrv_ir;          // strip rows x 3712: what HRV is made of on the 3712 grid
  std::vector<uint16_t> hrv;                  // HRV lines from the first segment's on x 5568, file order
};

// Runs row_fn for rows 0 .. rows - 1 on up to `threads` threads (the caller's among them).
// Rows are handed out one at a time, so a thread that cannot be started costs only speed.
void RunRows(int rows, int threads, const std::function<void(int)>& row_fn) {
  std::atomic<int> next{0};
  auto work = [&] {
    for (int r; (r = next.fetch_add(1)) < rows;) row_fn(r);
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; t++) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (auto& th : pool) th.join();
}

// Rows are in file order: row r is grid line first_line + r; column i is grid column i + 1.
void RenderIr(const SynthScene& scene, int threads, Strips* s) {
  const int rows = s->strip.rows, first_line = s->strip.first_line;
  for (int ch = 1; ch <= 11; ch++) s->ir[ch].assign(size_t(rows) * IR_COLUMNS, 0);
  s->hrv_ir.assign(size_t(rows) * IR_COLUMNS, SynthHrvParts{});
  RunRows(rows, threads, [&](int r) {
    size_t base = size_t(r) * IR_COLUMNS;
    SynthPixelCounts px;
    for (int i = 0; i < IR_COLUMNS; i++) {
      double lat, lon;
      if (GeoPixelToLatLon(i + 1, first_line + r, &lat, &lon, s->sub_lon) != 0) continue;  // space
      SynthPixel(scene, lat, lon, &px);
      for (int ch = 1; ch <= 11; ch++) s->ir[ch][base + i] = px.counts[ch];
      s->hrv_ir[base + i] = px.hrv_parts;
    }
  });
}

// 3712-grid position of an HRV raw pixel: raw index i of a line is HRV column east + i.
inline double HrvToIrColumn(int east, double i) { return COFF_IR + (east + i - COFF_HRV) * HRV_TO_IR; }
inline double HrvToIrLine(double hrv_line) { return COFF_IR + (hrv_line - COFF_HRV) * HRV_TO_IR; }

bool OnEarth(double column, double line) {
  double lat, lon;
  return GeoPixelToLatLon(column, line, &lat, &lon) == 0;
}

// HRV lines first .. first + rows - 1 of one window (raw index i of a line is HRV column
// east + i) into out (file order): the 3712-grid scene (parts: n rows from grid line src_line)
// at the exact position of every HRV pixel with its 1 km detail, the limb found with the
// projection itself.
void RenderHrvBand(const SynthScene& scene, const SynthHrvParts* parts, int n, int src_line, int first,
                   int rows, int east, int threads, uint16_t* out) {
  RunRows(rows, threads, [&](int q) {
    double line = HrvToIrLine(first + q);
    // The Earth covers one run of each line, widest at the sub-satellite column.
    int mid = std::clamp(COFF_HRV - east, 0, HRV_COLUMNS - 1);
    if (!OnEarth(HrvToIrColumn(east, mid), line)) return;
    int lo = 0, hi = mid;  // first on-Earth index in [lo, hi]
    if (OnEarth(HrvToIrColumn(east, 0), line)) hi = 0;
    while (lo < hi) {
      int m2 = (lo + hi) / 2;
      if (OnEarth(HrvToIrColumn(east, m2), line)) hi = m2; else lo = m2 + 1;
    }
    int first_on = hi;
    lo = mid, hi = HRV_COLUMNS - 1;  // last on-Earth index in [lo, hi]
    if (OnEarth(HrvToIrColumn(east, hi), line)) lo = hi;
    while (lo < hi) {
      int m2 = (lo + hi + 1) / 2;
      if (OnEarth(HrvToIrColumn(east, m2), line)) lo = m2; else hi = m2 - 1;
    }
    int last = lo;
    SynthHrvLine(scene.hrv_noise, parts, n, IR_COLUMNS, HrvToIrColumn(east, 0) - 1.0, HRV_TO_IR, line - src_line,
                 first_on, last, out + size_t(q) * HRV_COLUMNS);
  });
}

// The window of an HRV line: its east column, or 0 when the line lies in neither window.
int HrvEastOf(int line) {
  const SynthHrvCoverage& c = SYNTH_HRV;
  if (line >= c.upper_south && line <= c.upper_north) return c.upper_east;
  if (line >= c.lower_south && line <= c.lower_north) return c.lower_east;
  return 0;
}

// HRV of the cycle's segments. The northern strip is made in one piece from the strip's own
// rows of the scene (their cover softened apart from the rows south of them), so it comes out
// the same whether the cycle holds more or not; the lines south of it in pieces of one
// segment, each split where the window changes.
void RenderHrv(const SynthScene& scene, int threads, Strips* s) {
  const int first = (s->strip.hrv_first_segment - 1) * SEGMENT_LINES + 1;
  s->hrv.assign(size_t(HRV_LINES - first + 1) * HRV_COLUMNS, 0);
  const int strip_row = s->strip.strip_row, strip_rows = s->strip.rows - strip_row;
  SynthHrvParts* parts = s->hrv_ir.data();
  SynthHrvParts* strip = parts + size_t(strip_row) * IR_COLUMNS;
  SynthHrvSpreadCover(strip, strip_rows, IR_COLUMNS);
  if (strip_row > 0) SynthHrvSpreadCover(parts, strip_row, IR_COLUMNS);
  RenderHrvBand(scene, strip, strip_rows, s->strip.first_line + strip_row, HRV_STRIP_LINE,
                HRV_LINES - HRV_STRIP_LINE + 1, SYNTH_HRV.upper_east, threads,
                s->hrv.data() + size_t(HRV_STRIP_LINE - first) * HRV_COLUMNS);
  for (int line = first; line < HRV_STRIP_LINE;) {
    const int east = HrvEastOf(line);
    int end = std::min(line + SEGMENT_LINES, HRV_STRIP_LINE);
    for (int l = line + 1; l < end; l++)
      if (HrvEastOf(l) != east) end = l;
    if (east)
      RenderHrvBand(scene, parts, s->strip.rows, s->strip.first_line, line, end - line, east, threads,
                    s->hrv.data() + size_t(line - first) * HRV_COLUMNS);
    line = end;
  }
}

Bytes SegmentHeader(const Sat& sat, int ch, int seg, const std::string& slot, int64_t t0_ms, int east,
                    uint64_t data_bits, bool compressed) {
  bool hrv = ch == HRV_ID;
  int nc = hrv ? HRV_COLUMNS : IR_COLUMNS;
  std::string name = SatSegmentName(sat, InfoChannelText[ch], seg, slot);
  std::vector<XritLineEntry> lines(SEGMENT_LINES);
  for (int l = 0; l < SEGMENT_LINES; l++) {
    int grid_line = (seg - 1) * SEGMENT_LINES + l + 1;
    double ir_line = hrv ? (grid_line + 2) / 3.0 : grid_line;
    int64_t ms = LineTimeMs(sat, t0_ms, ir_line);
    lines[l].line = grid_line;
    lines[l].time = XritCdsFromUnix(ms / 1000, int(ms % 1000));
  }
  uint32_t header_length = XRIT_PRIMARY_LENGTH + XRIT_STRUCTURE_LENGTH + XRIT_NAVIGATION_LENGTH +
                           XritAnnotationLength(name) + XRIT_TIME_LENGTH + XRIT_SEGMENT_ID_LENGTH +
                           XritLineQualityLength(lines.size());
  Bytes b;
  b.reserve(header_length);
  XritWritePrimary(&b, XRIT_FILE_IMAGE, header_length, data_bits);
  XritWriteImageStructure(&b, 10, uint16_t(nc), SEGMENT_LINES, compressed ? 1 : 0);
  // An HRV segment's columns are counted from the east column of the window its first line is in.
  const int seg_east = hrv ? HrvEastOf((seg - 1) * SEGMENT_LINES + 1) : 0;
  int32_t coff = hrv ? COFF_HRV - (seg_east ? seg_east : east) + 1 : COFF_IR;
  int32_t loff = (hrv ? COFF_HRV : COFF_IR) - SEGMENT_LINES * (seg - 1);
  int32_t cfac = hrv ? CFAC_HRV : CFAC_IR;
  XritWriteNavigation(&b, SatProjectionName(SatNominalLongitude(sat)), cfac, cfac, coff, loff);
  XritWriteAnnotation(&b, name);
  XritWriteTimeStamp(&b, lines.back().time);  // stamped with its last line
  // Planned segments: the whole disk, or the rapid scan's northern ones.
  const int planned_start = SatServiceSegments(sat, hrv).first;
  XritWriteSegmentId(&b, uint16_t(SatSpacecraftId(sat)), uint8_t(ch), uint16_t(seg), uint16_t(planned_start),
                     hrv ? 24 : 8, compressed ? XRIT_REPR_WT : XRIT_REPR_NONE);
  XritWriteLineQuality(&b, lines);
  return b;
}

bool WriteSegment(const Sat& sat, const std::string& dir, int ch, int seg, const std::string& slot,
                  int64_t t0_ms, int east, const uint16_t* counts, bool compress, std::string* err) {
  int nc = ch == HRV_ID ? HRV_COLUMNS : IR_COLUMNS;
  const std::string name = SatSegmentName(sat, InfoChannelText[ch], seg, slot);
  Bytes field;
  if (compress) {
    WtImage img{10, nc, SEGMENT_LINES};
    if (!WtEncode(counts, img, WtDefaultParams(img), &field)) {
      if (err) *err = name + ": WT encoding failed";
      return false;
    }
  } else {
    XritPack10Bit(counts, size_t(nc) * SEGMENT_LINES, &field);
  }
  Bytes head = SegmentHeader(sat, ch, seg, slot, t0_ms, east, uint64_t(field.size()) * 8, compress);
  return XritWriteFile(dir + "/" + name, head, field, err);
}

bool WriteAncillary(const std::string& path, const std::string& name, uint8_t file_type,
                    int64_t t0_ms, const Bytes& field, std::string* err) {
  uint32_t header_length = XRIT_PRIMARY_LENGTH + XritAnnotationLength(name) + XRIT_TIME_LENGTH;
  Bytes head;
  XritWritePrimary(&head, file_type, header_length, uint64_t(field.size()) * 8);
  XritWriteAnnotation(&head, name);  // the prologue reader expects it second
  XritWriteTimeStamp(&head, XritCdsFromUnix(t0_ms / 1000, int(t0_ms % 1000)));
  return XritWriteFile(path, head, field, err);
}

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string SynthSegmentName(int channel, int segment, const std::string& slot) {
  return SatSegmentName(Sat{}, InfoChannelText[channel], segment, slot);
}

std::string SynthPrologueName(const std::string& slot) { return SatPrologueName(Sat{}, slot); }

std::string SynthEpilogueName(const std::string& slot) { return SatEpilogueName(Sat{}, slot); }

bool SynthParseSlot(const std::string& text, int64_t* unix_time, std::string* err, int step_minutes) {
  auto fail = [&](const std::string& why) {
    if (err) *err = "bad slot '" + text + "': " + why;
    return false;
  };
  if (text.size() != 12 || !AllDigits(text)) return fail("expected 12 digits YYYYMMDDhhmm");
  int year = std::stoi(text.substr(0, 4)), month = std::stoi(text.substr(4, 2));
  int day = std::stoi(text.substr(6, 2)), hour = std::stoi(text.substr(8, 2));
  int minute = std::stoi(text.substr(10, 2));
  if (year < 1970 || year > 2099 || month < 1 || month > 12 || day < 1 || day > SuplDaysInMonth(year, month - 1))
    return fail("no such date");
  if (hour > 23 || minute > 59) return fail("no such time");
  if (step_minutes == 15 && minute % 15 != 0) return fail("a repeat cycle starts on a quarter hour");
  if (step_minutes <= 0 || minute % step_minutes != 0)
    return fail("a repeat cycle starts on a " + std::to_string(step_minutes) + "-minute step");
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  *unix_time = int64_t(timegm(&tm));
  return true;
}

std::string SynthSlotText(int64_t unix_time) {
  time_t t = time_t(unix_time);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min);
  return buf;
}

bool SynthCycle(const SynthOptions& o, std::string* err) {
  int64_t t0 = 0;
  const Sat& sat = o.satellite;
  if (!SynthParseSlot(o.slot, &t0, err, SatSlotMinutes(sat))) return false;
  if (o.out.empty()) {
    if (err) *err = "no output folder";
    return false;
  }
  if (g_mkdir_with_parents(o.out.c_str(), 0755) != 0) {
    if (err) *err = o.out + ": " + std::strerror(errno);
    return false;
  }
  int threads = o.threads > 0 ? std::min(o.threads, 64)
                              : int(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
  const std::string slot = SynthSlotText(t0);
  const int64_t t0_ms = t0 * 1000;
  const int east = SYNTH_HRV.upper_east;

  SynthScene scene = SynthSceneMake(o.seed, t0, o.cloud_cover, o.land_shore, o.land_lakes);
  Strips s;
  s.strip = IrStripOf(sat, o.first_segment);
  s.sub_lon = SatNominalLongitude(sat);
  RenderIr(scene, threads, &s);
  RenderHrv(scene, threads, &s);

  // The prologue first and the epilogue last, as a watcher expects them to arrive; the
  // segments in between, several at a time (encoding is the costly part when compressing).
  const std::string prologue = SatPrologueName(sat, slot), epilogue = SatEpilogueName(sat, slot);
  if (!WriteAncillary(o.out + "/" + prologue, prologue, XRIT_FILE_PROLOGUE, t0_ms,
                      SynthPrologueField(t0, SYNTH_HRV, sat), err))
    return false;
  struct Job {
    int ch, seg;
    const uint16_t* counts;
  };
  std::vector<Job> jobs;
  for (int ch = 1; ch <= 11; ch++)
    for (int k = 0; k < s.strip.segments; k++)
      jobs.push_back({ch, s.strip.first_segment + k, s.ir[ch].data() + size_t(k) * SEGMENT_LINES * IR_COLUMNS});
  for (int k = 0; k <= HRV_LAST_SEGMENT - s.strip.hrv_first_segment; k++)
    jobs.push_back({HRV_ID, s.strip.hrv_first_segment + k, s.hrv.data() + size_t(k) * SEGMENT_LINES * HRV_COLUMNS});
  std::vector<std::string> errors(jobs.size());
  std::vector<char> ok(jobs.size(), 0);
  RunRows(int(jobs.size()), threads, [&](int j) {
    ok[j] = WriteSegment(sat, o.out, jobs[j].ch, jobs[j].seg, slot, t0_ms, east, jobs[j].counts, o.compress,
                         &errors[j]);
  });
  for (size_t j = 0; j < jobs.size(); j++)
    if (!ok[j]) {
      if (err) *err = errors[j];
      return false;
    }
  return WriteAncillary(o.out + "/" + epilogue, epilogue, XRIT_FILE_EPILOGUE, t0_ms,
                        SynthEpilogueField(t0, SYNTH_HRV, sat), err);
}

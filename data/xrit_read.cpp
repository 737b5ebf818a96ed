// XritSegmentRead: one segment file to its packed 10-bit stream.
#include <glib.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "data/suplfile.h"
#include "data/xrit.h"

namespace {

// Logs the one warning of a segment, "PATH(what)", and hands `what` to the caller.
void Warn(const char* path, const std::string& what, std::string* note) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(%s)", path ? path : "(null)", what.c_str());
  if (note) *note = what;
}

std::string Short(int lines) {
  return "short: " + std::to_string(lines) + " of " + std::to_string(SEGMENT_LINES) + " lines";
}

// Bytes read first: the whole header of a real segment (6198 bytes) fits.
constexpr size_t HEAD_CHUNK = 8192;

}  // namespace

SuplBytes XritSegmentRead(const char* path, int threads) {
  int from = 0;
  return XritSegmentReadLines(path, 0, SEGMENT_LINES, &from, threads);
}

XritSegmentFile::XritSegmentFile(XritSegmentFile&& o) noexcept
    : fd(std::exchange(o.fd, -1)), header(std::move(o.header)), columns(o.columns),
      line_bytes(o.line_bytes), compressed(o.compressed), lines(o.lines),
      field_bytes(o.field_bytes) {}

XritSegmentFile& XritSegmentFile::operator=(XritSegmentFile&& o) noexcept {
  if (this != &o) {
    SuplFd old(fd);  // closes the file this one held
    fd = std::exchange(o.fd, -1);
    header = std::move(o.header);
    columns = o.columns;
    line_bytes = o.line_bytes;
    compressed = o.compressed;
    lines = o.lines;
    field_bytes = o.field_bytes;
  }
  return *this;
}

XritSegmentFile::~XritSegmentFile() { SuplFd close_it(fd); }

bool XritSegmentOpen(const char* path, XritSegmentFile* out, std::string* note) {
  *out = XritSegmentFile();
  if (!path) return Warn(path, "input", note), false;
  off_t st_size = 0;
  std::string why;
  SuplFd fd = SuplFileOpen(path, SUPL_XRIT_MAX_FILE, &st_size, &why);
  if (!fd) return Warn(path, "input: " + why, note), false;
  if (st_size <= 0) return Warn(path, "input: empty", note), false;
  const size_t file_size = size_t(st_size);
  try {
    std::vector<uint8_t> head(std::min(file_size, HEAD_CHUNK));
    if (!SuplFileReadAt(fd.get(), head.data(), head.size(), 0))
      return Warn(path, "input: read error", note), false;
    if (head.size() >= 8) {
      // The total header length is checked against the file's size before it sizes a buffer.
      const size_t total = size_t(head[4]) << 24 | size_t(head[5]) << 16 | size_t(head[6]) << 8 | head[7];
      if (total > head.size() && total <= file_size) {
        const size_t had = head.size();
        head.resize(total);
        if (!SuplFileReadAt(fd.get(), head.data() + had, total - had, off_t(had)))
          return Warn(path, "input: read error", note), false;
      }
    }
    XritHeader h;
    if (!XritParseHeaders(head, &h, &why)) return Warn(path, "input: " + why, note), false;
    if (h.file_type != XRIT_FILE_IMAGE) return Warn(path, "input: not an image file", note), false;
    if (!h.has_structure) return Warn(path, "input: no image structure", note), false;
    if (h.encrypted) return Warn(path, "encrypted", note), false;
    // The format fixes these for the channel: a header that says otherwise would decode into
    // noise, so the segment counts as unreadable.
    if (h.nb != 10) return Warn(path, "depth: NB " + std::to_string(h.nb) + ", not 10", note), false;
    const int columns = XritChannelColumns(h, path);
    if (columns == 0) return Warn(path, "width: channel unknown", note), false;
    if (h.nc != columns)
      return Warn(path, "width: NC " + std::to_string(h.nc) + ", not " + std::to_string(columns), note),
             false;
    if (h.nl != SEGMENT_LINES)
      return Warn(path, "strip: NL " + std::to_string(h.nl) + ", not " + std::to_string(SEGMENT_LINES),
                  note),
             false;
    const uint64_t avail = file_size - h.header_length;
    const uint64_t field_bytes = h.data_bits / 8 + (h.data_bits % 8 != 0);
    const size_t line_bytes = size_t(columns) * 10 / 8;
    int lines = SEGMENT_LINES;
    if (h.compression == 0) {
      if (!XritCheckPlainField(h, h.data_bits, &why)) return Warn(path, "input: " + why, note), false;
      // A field cut short keeps the whole lines that arrived.
      if (field_bytes > avail) {
        lines = int(std::min<uint64_t>(avail / line_bytes, SEGMENT_LINES));
        if (lines == 0) return Warn(path, Short(0), note), false;
        Warn(path, Short(lines), note);
      }
    }
    out->compressed = h.compression != 0;
    out->columns = columns;
    out->line_bytes = line_bytes;
    out->lines = lines;
    out->field_bytes = std::min(field_bytes, avail);
    out->cut = field_bytes > avail;
    out->header = std::move(h);
    out->fd = fd.release();
    return true;
  } catch (const std::bad_alloc&) {
    return Warn(path, "malloc", note), false;
  }
}

bool XritSegmentReadInto(const XritSegmentFile& f, const char* path, int first, int count,
                         uint8_t* dst) {
  if (f.fd < 0 || f.compressed || first < 0 || count < 0 || first + count > SEGMENT_LINES)
    return Warn(path, "input", nullptr), false;
  // Lines past the end of a field cut short are 0 (the opening warned about them).
  const int have = std::clamp(f.lines - first, 0, count);
  if (!SuplFileReadAt(f.fd, dst, f.line_bytes * size_t(have),
                      off_t(f.header.header_length + f.line_bytes * size_t(first))))
    return Warn(path, "input: read error", nullptr), false;
  std::fill(dst + f.line_bytes * size_t(have), dst + f.line_bytes * size_t(count), uint8_t(0));
  return true;
}

SuplBytes XritSegmentReadLines(const char* path, int first, int count, int* from,
                               int threads) {
  *from = 0;
  XritSegmentFile f;
  if (!XritSegmentOpen(path, &f)) return {};
  return XritSegmentLines(f, path, first, count, from, threads);
}

SuplBytes XritSegmentLines(const XritSegmentFile& f, const char* path, int first, int count,
                           int* from, int threads, std::string* note) {
  *from = 0;
  first = std::clamp(first, 0, SEGMENT_LINES);
  count = std::clamp(count, 0, SEGMENT_LINES - first);
  try {
    if (!f.compressed) {  // the field is the packed stream: only the lines asked for
      SuplBytes lines(f.line_bytes * size_t(count));  // every byte is written
      if (!XritSegmentReadInto(f, path, first, count, lines.data())) {
        if (note) *note = "input: read error";
        return {};
      }
      *from = first;
      return lines;
    }
    const XritHeader& h = f.header;
    std::vector<uint8_t> field(size_t(f.field_bytes));
    if (!SuplFileReadAt(f.fd, field.data(), field.size(), off_t(h.header_length)))
      return Warn(path, "input: read error", note), SuplBytes();
    std::vector<uint8_t> packed;
    bool compressed = false;
    int whole = 0;
    // A field cut short gives the lines decoded before the stream ended; the decoder fills
    // the rest with 0.
    const bool ok = XritDecodeField(h, field, path, &packed, nullptr, &compressed, threads, &whole);
    if (f.cut) {
      if (!ok || packed.size() < size_t(f.columns) * 580) return Warn(path, Short(0), note), SuplBytes();
      Warn(path, Short(whole), note);
    } else if (!ok) {
      return Warn(path, compressed ? "compressed" : "input", note), SuplBytes();
    }
    if (packed.size() < size_t(f.columns) * 580) return Warn(path, "compressed", note), SuplBytes();
    return SuplBytes(packed.begin(), packed.end());  // a decoded field: small beside its decoding
  } catch (const std::bad_alloc&) {
    return Warn(path, "malloc", note), SuplBytes();
  }
}

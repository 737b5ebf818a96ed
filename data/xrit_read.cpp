// XritSegmentRead: one segment file to its packed 10-bit stream.
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <new>
#include <utility>

#include "data/xrit.h"

namespace {

// Largest file taken for a segment; real ones stay below 4 MB.
constexpr off_t MAX_SEGMENT_FILE = 64 << 20;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

SuplBytes Warn(const char* path, const char* what) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(%s)", path, what);
  return {};
}

// pread until `n` bytes are in or the file ends; false on error or a short file.
bool ReadAt(int fd, uint8_t* dst, size_t n, off_t at) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, dst + got, n - got, at + off_t(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
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
      line_bytes(o.line_bytes), compressed(o.compressed) {}

XritSegmentFile& XritSegmentFile::operator=(XritSegmentFile&& o) noexcept {
  if (this != &o) {
    if (fd >= 0) close(fd);
    fd = std::exchange(o.fd, -1);
    header = std::move(o.header);
    columns = o.columns;
    line_bytes = o.line_bytes;
    compressed = o.compressed;
  }
  return *this;
}

XritSegmentFile::~XritSegmentFile() {
  if (fd >= 0) close(fd);
}

bool XritSegmentOpen(const char* path, XritSegmentFile* out) {
  *out = XritSegmentFile();
  if (!path) return Warn("(null)", "input"), false;
  Fd fd(open(path, O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      st.st_size > MAX_SEGMENT_FILE)
    return Warn(path, "input"), false;
  const size_t file_size = size_t(st.st_size);
  try {
    std::vector<uint8_t> head(std::min(file_size, HEAD_CHUNK));
    if (!ReadAt(fd.get(), head.data(), head.size(), 0)) return Warn(path, "input"), false;
    if (head.size() >= 8) {
      const size_t total = size_t(head[4]) << 24 | size_t(head[5]) << 16 | size_t(head[6]) << 8 | head[7];
      if (total > head.size() && total <= file_size) {
        const size_t had = head.size();
        head.resize(total);
        if (!ReadAt(fd.get(), head.data() + had, total - had, off_t(had)))
          return Warn(path, "input"), false;
      }
    }
    XritHeader h;
    if (!XritParseHeaders(head, &h, nullptr) || h.file_type != XRIT_FILE_IMAGE || !h.has_structure)
      return Warn(path, "input"), false;
    if (h.encrypted) return Warn(path, "encrypted"), false;
    const int columns = XritChannelColumns(h, path);
    if (columns == 0 || h.nc != columns) return Warn(path, "width"), false;
    if (h.nl != SEGMENT_LINES) return Warn(path, "strip"), false;
    const uint64_t avail = file_size - h.header_length;
    const uint64_t field_bytes = h.data_bits / 8 + (h.data_bits % 8 != 0);
    if (field_bytes > avail) return Warn(path, "input"), false;
    const size_t need = size_t(columns) * 580;
    if (h.compression == 0 && (!XritCheckPlainField(h, h.data_bits, nullptr) || field_bytes < need))
      return Warn(path, "input"), false;
    out->compressed = h.compression != 0;
    out->columns = columns;
    out->line_bytes = size_t(columns) * 10 / 8;
    out->header = std::move(h);
    out->fd = fd.release();
    return true;
  } catch (const std::bad_alloc&) {
    return Warn(path, "malloc"), false;
  }
}

bool XritSegmentReadInto(const XritSegmentFile& f, const char* path, int first, int count,
                         uint8_t* dst) {
  if (f.fd < 0 || f.compressed || first < 0 || count < 0 || first + count > SEGMENT_LINES ||
      !ReadAt(f.fd, dst, f.line_bytes * size_t(count),
              off_t(f.header.header_length + f.line_bytes * size_t(first))))
    return Warn(path ? path : "(null)", "input"), false;
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
                           int* from, int threads) {
  *from = 0;
  first = std::clamp(first, 0, SEGMENT_LINES);
  count = std::clamp(count, 0, SEGMENT_LINES - first);
  try {
    if (!f.compressed) {  // the field is the packed stream: only the lines asked for
      SuplBytes lines(f.line_bytes * size_t(count));  // every byte is read into
      if (!XritSegmentReadInto(f, path, first, count, lines.data())) return {};
      *from = first;
      return lines;
    }
    const XritHeader& h = f.header;
    const uint64_t field_bytes = h.data_bits / 8 + (h.data_bits % 8 != 0);
    std::vector<uint8_t> field;
    field.resize(size_t(field_bytes));
    if (!ReadAt(f.fd, field.data(), field.size(), off_t(h.header_length)))
      return Warn(path, "input");
    std::vector<uint8_t> packed;
    bool compressed = false;
    if (!XritDecodeField(h, field, path, &packed, nullptr, &compressed, threads))
      return Warn(path, compressed ? "compressed" : "input");
    if (packed.size() < size_t(f.columns) * 580) return Warn(path, "compressed");
    return SuplBytes(packed.begin(), packed.end());  // a decoded field: small beside its decoding
  } catch (const std::bad_alloc&) {
    return Warn(path, "malloc");
  }
}

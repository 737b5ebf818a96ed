// XritSegmentRead: one segment file to its packed 10-bit stream.
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

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

 private:
  int fd_;
};

std::vector<uint8_t> Warn(const char* path, const char* what) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(%s)", path, what);
  return {};
}

// The whole file in one read (a loop only for short reads). False when it cannot be read.
bool ReadAll(const char* path, std::vector<uint8_t>* buf, bool* no_memory) {
  Fd fd(open(path, O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size <= 0 || st.st_size > MAX_SEGMENT_FILE) return false;
  try {
    buf->resize(size_t(st.st_size));
  } catch (const std::bad_alloc&) {
    *no_memory = true;
    return false;
  }
  size_t got = 0;
  while (got < buf->size()) {
    const ssize_t n = read(fd.get(), buf->data() + got, buf->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // error, or the file shrank under us
    got += size_t(n);
  }
  return true;
}

}  // namespace

std::vector<uint8_t> XritSegmentRead(const char* path) {
  if (!path) return Warn("(null)", "input");
  std::vector<uint8_t> buf;
  bool no_memory = false;
  if (!ReadAll(path, &buf, &no_memory)) return Warn(path, no_memory ? "malloc" : "input");

  XritHeader h;
  if (!XritParseHeaders(buf, &h, nullptr) || h.file_type != XRIT_FILE_IMAGE || !h.has_structure)
    return Warn(path, "input");
  if (h.encrypted) return Warn(path, "encrypted");
  const int columns = XritChannelColumns(h, path);
  if (columns == 0 || h.nc != columns) return Warn(path, "width");
  if (h.nl != SEGMENT_LINES) return Warn(path, "strip");

  const uint64_t avail = buf.size() - h.header_length;
  const uint64_t field_bytes = h.data_bits / 8 + (h.data_bits % 8 != 0);
  if (h.data_bits / 8 > avail || field_bytes > avail) return Warn(path, "input");
  const size_t need = size_t(columns) * 580;

  try {
    if (h.compression == 0) {
      // Fast path: the field is the packed stream; move it to the front of the buffer we have.
      if (!XritCheckPlainField(h, h.data_bits, nullptr) || field_bytes < need)
        return Warn(path, "input");
      buf.erase(buf.begin(), buf.begin() + h.header_length);
      buf.resize(size_t(field_bytes));
      return buf;
    }
    std::vector<uint8_t> packed;
    bool compressed = false;
    std::span<const uint8_t> field(buf.data() + h.header_length, size_t(field_bytes));
    if (!XritDecodeField(h, field, path, &packed, nullptr, &compressed))
      return Warn(path, compressed ? "compressed" : "input");
    if (packed.size() < need) return Warn(path, "compressed");
    return packed;
  } catch (const std::bad_alloc&) {
    return Warn(path, "malloc");
  }
}

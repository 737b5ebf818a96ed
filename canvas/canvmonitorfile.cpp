// The monitor's files: which belong to a cycle, when one is complete, and moving it out of the
// working directory without losing a byte.
#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "app/platform.h"
#include "canvas/canvmonitor.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "settings/confwindow.h"

namespace {

// Closes a descriptor on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the error a deferred write may give.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens path for reading only when it is a regular file: O_NONBLOCK, so a FIFO or device
// named like a segment cannot hold the caller, then fstat. -1 (errno set) otherwise.
int OpenRegular(const std::string& path, struct stat* st) {
  const int fd = g_open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  // Reads of a regular file never block; the flag only mattered for the open.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// Copies in to out; the number of bytes copied, or -1 (errno set).
off_t CopyAll(int in, int out) {
  char buf[1 << 16];
  off_t total = 0;
  for (;;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return total;
    if (!WriteAll(out, buf, size_t(n))) return -1;
    total += n;
  }
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Makes the new name in dir durable before the source goes.
void SyncFolder(const std::string& file) {
  GStr dir(g_path_get_dirname(file.c_str()));
  Fd fd(g_open(dir.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (fd.get() >= 0) fsync(fd.get());
}

}  // namespace

std::vector<std::string> CanvMonitorCycleFiles(const std::string& t) { return CanvMonitorCycleFiles(Sat{}, t); }

std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t, const int32_t window[4]) {
  std::vector<std::string> out;
  const ConfRect r{window[0], window[1], window[2], window[3]};
  for (int ch = 1; ch <= HRV_ID; ch++) {
    const std::vector<std::string> files = ConfWindowFiles(sat, r, ch, t);
    out.insert(out.end(), files.begin(), files.end());
  }
  out.push_back(SatPrologueName(sat, t));
  out.push_back(SatEpilogueName(sat, t));
  return out;
}

std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t) {
  std::vector<std::string> out;
  for (int ch = 1; ch <= HRV_ID; ch++) {
    const auto [first, last] = SatServiceSegments(sat, ch == HRV_ID);
    for (int seg = first; seg <= last; seg++) out.push_back(SatSegmentName(sat, InfoChannelText[ch], seg, t));
  }
  out.push_back(SatPrologueName(sat, t));
  out.push_back(SatEpilogueName(sat, t));
  return out;
}

bool CanvMonitorComplete(const std::string& path) {
  struct stat st;
  Fd fd(OpenRegular(path, &st));
  if (fd.get() < 0) return false;
  // The primary header: type 0, record length 16, file type, total header length (u32),
  // data field length in bits (u64), all big-endian.
  unsigned char h[16];
  if (pread(fd.get(), h, sizeof h, 0) != ssize_t(sizeof h)) return false;
  if (h[0] != 0 || h[1] != 0 || h[2] != 16) return false;
  uint64_t header = 0, bits = 0;
  for (int i = 4; i < 8; i++) header = header << 8 | h[i];
  for (int i = 8; i < 16; i++) bits = bits << 8 | h[i];
  if (header < 16 || bits > (uint64_t(1) << 60)) return false;
  return uint64_t(st.st_size) >= header + (bits + 7) / 8;
}

bool CanvMonitorCopyMove(const std::string& from, const std::string& to) {
  struct stat before;
  Fd in(OpenRegular(from, &before));
  if (in.get() < 0) return false;
  std::string tmp = to + ".XXXXXX";
  Fd out(g_mkstemp_full(tmp.data(), O_WRONLY | O_CLOEXEC, 0644));
  if (out.get() < 0) return false;
  // The copy is published only when it holds every byte the source has and the source did
  // not change while it was read: a writer still at work keeps its file.
  const off_t copied = CopyAll(in.get(), out.get());
  int e = errno;
  bool ok = copied >= 0 && fsync(out.get()) == 0;
  if (copied >= 0 && !ok) e = errno;
  if (!out.Close() && ok) {
    ok = false;
    e = errno;
  }
  struct stat after, written;
  if (ok && (fstat(in.get(), &after) != 0 || g_stat(tmp.c_str(), &written) != 0 || !SameFile(before, after) ||
             written.st_size != copied || copied != after.st_size)) {
    ok = false;
    e = EAGAIN;
  }
  if (ok && !PlatformMoveFile(tmp, to)) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    g_unlink(tmp.c_str());
    errno = e;
    return false;
  }
  SyncFolder(to);
  if (g_unlink(from.c_str()) != 0)
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s copied but not removed: %s", from.c_str(), std::strerror(errno));
  return true;
}

bool CanvMonitorMove(const std::string& from, const std::string& to) {
  struct stat st;
  if (g_lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  if (PlatformMoveFile(from, to)) return true;
  if (errno != EXDEV) return false;
  return CanvMonitorCopyMove(from, to);
}

// Data files opened without blocking on special files, and read within a size bound.
#include "data/suplfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

SuplFd& SuplFd::operator=(SuplFd&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(o.fd_, -1);
  }
  return *this;
}

SuplFd::~SuplFd() {
  if (fd_ >= 0) close(fd_);
}

SuplFd SuplFileOpen(const char* path, size_t cap, off_t* size, std::string* err) {
  auto fail = [err](std::string why) {
    if (err) *err = std::move(why);
    return SuplFd();
  };
  if (!path) return fail("no file name");
  SuplFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) return fail(std::strerror(errno));
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  if (st.st_size < 0 || (cap > 0 && uint64_t(st.st_size) > cap))
    return fail("larger than " + std::to_string(cap) + " bytes");
  const int flags = fcntl(fd.get(), F_GETFL);
  if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(std::strerror(errno));
  if (size) *size = st.st_size;
  return fd;
}

bool SuplFileReadAt(int fd, uint8_t* dst, size_t n, off_t at) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, dst + got, n - got, at + off_t(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool SuplFileRead(const char* path, size_t cap, std::vector<uint8_t>* out, std::string* err) {
  off_t size = 0;
  SuplFd fd = SuplFileOpen(path, cap, &size, err);
  if (!fd) return false;
  try {
    out->resize(size_t(size));
  } catch (const std::bad_alloc&) {
    if (err) *err = "out of memory";
    return false;
  }
  // One byte more than fstat said must not be there: a file still growing is not taken.
  uint8_t extra = 0;
  if (!SuplFileReadAt(fd.get(), out->data(), out->size(), 0) ||
      pread(fd.get(), &extra, 1, size) != 0) {
    if (err) *err = "changed while it was read";
    out->clear();
    return false;
  }
  return true;
}

// Opening and reading data files (segments, prologues, epilogues, CLI input) without blocking
// on special files and without reading more than a file of the format can hold.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The largest legitimate xRIT file: an uncompressed HRV segment (5568 x 464 pixels of 10 bits,
// 3 229 440 bytes) with its headers (a few kB); prologues and epilogues are smaller.
inline constexpr size_t SUPL_XRIT_MAX_FILE = size_t(4) << 20;

// An owned file descriptor, closed when it goes. Move-only.
class SuplFd {
 public:
  SuplFd() = default;
  explicit SuplFd(int fd) : fd_(fd) {}
  SuplFd(SuplFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  SuplFd& operator=(SuplFd&& o) noexcept;
  SuplFd(const SuplFd&) = delete;
  SuplFd& operator=(const SuplFd&) = delete;
  ~SuplFd();
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Opens `path` read-only for a data file. The open itself never blocks: it is made with
// O_NONBLOCK | O_CLOEXEC, so a FIFO without a writer, a device or a socket named like a data
// file cannot hang the caller; fstat then refuses anything that is not a regular file (FIFO,
// device, socket, folder), and O_NONBLOCK is cleared again for the reads of a regular file.
// A regular file larger than `cap` bytes is refused too (`cap` 0: no size limit). Symbolic
// links are followed: what counts is the file they lead to (a link to /dev/zero is refused).
// On success the descriptor and, when size is given, the file's size; on failure an empty
// SuplFd and a short reason in *err ("not a regular file", "larger than N bytes", strerror).
// Thread-safe; logs nothing.
SuplFd SuplFileOpen(const char* path, size_t cap, off_t* size, std::string* err);

// pread until `n` bytes are in or the file ends: false on an error or a short read.
bool SuplFileReadAt(int fd, uint8_t* dst, size_t n, off_t at);

// The whole of a regular file of at most `cap` bytes (SuplFileOpen's checks) into *out. A
// file that grows or shrinks while it is read is refused. False with a reason in *err.
bool SuplFileRead(const char* path, size_t cap, std::vector<uint8_t>* out, std::string* err);

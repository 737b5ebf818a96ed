// Write, check, then publish: the one way the program makes a file.
#include "data/suplsave.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Gives temp the name `name` unless something already has it (EEXIST then).
bool LinkNoReplace(const std::string& temp, const std::string& name) {
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link is refused just as well when the name exists.
  if (link(temp.c_str(), name.c_str()) != 0) return false;
  unlink(temp.c_str());
  return true;
}

// The new name survives a crash only once its folder reaches the disk too.
void SyncFolder(const std::string& file) {
  gchar* dir = g_path_get_dirname(file.c_str());
  const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  g_free(dir);
}

}  // namespace

std::string SuplNumberedName(const std::string& path, int n) {
  const size_t slash = path.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  if (dot == std::string::npos || dot <= base) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

SuplSave::SuplSave(std::string target, SuplPublish mode, const std::string& ending)
    : target_(std::move(target)), mode_(mode) {
  struct stat st;
  if (mode == SuplPublish::Replace && stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    stream_ = true;
    fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) Fail("create", errno);
    return;
  }
  const size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string temp = dir + "." + base + ".XXXXXX" + ending;
  fd_ = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    Fail("create", errno);
    return;
  }
  temp_ = std::move(temp);
}

SuplSave::~SuplSave() {
  if (fd_ >= 0) close(fd_);
  if (!published_ && !temp_.empty()) g_unlink(temp_.c_str());
}

bool SuplSave::Fail(const char* what, int err) {
  if (error_.empty()) error_ = std::string("cannot ") + what + " " + target_ + ": " + std::strerror(err);
  return false;
}

bool SuplSave::Write(const void* data, size_t n) {
  if (!ok()) return false;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t k = write(fd_, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return Fail("write", k < 0 ? errno : ENOSPC);
    p += k;
    n -= size_t(k);
    written_ += k;
  }
  return true;
}

bool SuplSave::Publish() {
  if (!ok() || published_) return false;
  if (stream_) {
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return Fail("write", errno);
    path_ = target_;
    published_ = true;
    return true;
  }
  // Delayed allocation reports a full disk only here; a short file means a writer lost bytes.
  if (fsync(fd_) != 0) return Fail("write", errno);
  struct stat st;
  if (fstat(fd_, &st) != 0) return Fail("write", errno);
  if (elsewhere_ ? st.st_size == 0 : st.st_size != written_) {
    error_ = "cannot write " + target_ + ": the file holds " + std::to_string(st.st_size) + " bytes, not " +
             (elsewhere_ ? std::string("a complete file") : std::to_string(written_));
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Fail("write", errno);

  if (mode_ == SuplPublish::Replace) {
    if (g_rename(temp_.c_str(), target_.c_str()) != 0) return Fail("complete", errno);
    path_ = target_;
  } else {
    for (int n = 1; path_.empty(); n++) {
      if (n > SUPL_NUMBERED_MAX) return Fail("complete", EEXIST);
      const std::string name = n == 1 ? target_ : SuplNumberedName(target_, n);
      if (LinkNoReplace(temp_, name))
        path_ = name;
      else if (errno != EEXIST)
        return Fail("complete", errno);
    }
  }
  published_ = true;
  SyncFolder(path_);
  return true;
}

bool SuplSaveBytes(const std::string& path, const void* data, size_t n, SuplPublish mode, std::string* err) {
  SuplSave out(path, mode);
  const bool ok = out.Write(data, n) && out.Publish();
  if (!ok && err) *err = out.error();
  return ok;
}

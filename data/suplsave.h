// Files the program writes: every byte goes into a temporary file in the target's folder, is
// checked through the close and the flush to disk, and only then takes its final name in one
// step. A failure leaves no file under the name and keeps any earlier file as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// How a finished file takes its name.
enum class SuplPublish {
  Replace,   // the name the user asked for (a command-line -o): an earlier file is replaced at once
  Numbered,  // never replace: the name itself, else "-2", "-3", ... before its extension
};

// The n-th name of path (n >= 2): "-n" before the extension of the last component, or at the
// end when it has none ("dir/201607041200.txt", 2 -> "dir/201607041200-2.txt").
std::string SuplNumberedName(const std::string& path, int n);

// Highest number tried for SuplPublish::Numbered before giving up.
inline constexpr int SUPL_NUMBERED_MAX = 9999;

class SuplSave {
 public:
  // Creates the temporary file ".<name>.XXXXXX<ending>" beside target (ending: for writers that
  // choose the format by the extension, e.g. ".avi"). ok() is false, with the reason in error(),
  // when it cannot be made (missing or read-only folder). With Replace, a target that is no
  // regular file (/dev/stdout, a pipe) is written directly: a stream has no name to publish.
  SuplSave(std::string target, SuplPublish mode, const std::string& ending = "");
  ~SuplSave();  // removes the temporary file unless it was published
  SuplSave(const SuplSave&) = delete;
  SuplSave& operator=(const SuplSave&) = delete;

  bool ok() const { return error_.empty(); }
  // "cannot create|write|complete <target>: <reason>"; empty while all is well.
  const std::string& error() const { return error_; }
  const std::string& target() const { return target_; }
  // The temporary file, for a writer that opens it by name (then call WrittenElsewhere()); empty
  // when the target is written directly.
  const std::string& temp() const { return temp_; }

  // Appends n bytes; false from the first failed write on (nothing more is written).
  bool Write(const void* data, size_t n);
  bool Write(const std::string& s) { return Write(s.data(), s.size()); }
  // The temporary file was filled by another writer through temp(): Publish then checks that
  // it is not empty instead of comparing its size with the bytes given to Write.
  void WrittenElsewhere() { elsewhere_ = true; }

  // Flushes the file to disk, checks its size and the close, and gives it its name. True with
  // path() set to the name taken; false with error() set, the temporary file removed and any
  // file under the name untouched.
  bool Publish();
  const std::string& path() const { return path_; }

 private:
  bool Fail(const char* what, int err);

  std::string target_, temp_, path_, error_;
  SuplPublish mode_;
  int fd_ = -1;
  bool stream_ = false;
  off_t written_ = 0;
  bool elsewhere_ = false;
  bool published_ = false;
};

// Writes the bytes to path in one SuplSave; false with the reason in *err.
bool SuplSaveBytes(const std::string& path, const void* data, size_t n, SuplPublish mode, std::string* err);

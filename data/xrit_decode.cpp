// Data fields of xRIT segments: plain, native WT, or EUMETSAT's xRITDecompress as a fallback.
#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "data/gholder.h"
#include "data/suplfile.h"
#include "data/wt.h"
#include "data/xrit.h"

namespace {

bool Fail(std::string* err, std::string why) {
  if (err) *err = std::move(why);
  return false;
}

// A private temporary folder, removed with whatever it holds when the object goes.
class TempDir {
 public:
  TempDir() {
    GError* e = nullptr;
    path_.reset(g_dir_make_tmp("nubicorn-xrit-XXXXXX", &e));
    if (e) g_error_free(e);
  }
  ~TempDir() {
    if (!path_) return;
    if (GDir* d = g_dir_open(path_.get(), 0, nullptr)) {
      while (const char* name = g_dir_read_name(d)) {
        GStr f(g_build_filename(path_.get(), name, nullptr));
        g_remove(f.get());
      }
      g_dir_close(d);
    }
    g_rmdir(path_.get());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const char* path() const { return path_.get(); }

 private:
  GStr path_;
};

// Runs `xRITDecompress FILE` in a private folder and takes the data field of the file it names
// on its "Decompressed file: NAME" line. No shell is involved.
bool ExternalDecode(const char* program, const char* path, const XritHeader& h,
                    std::vector<uint8_t>* packed, std::string* err) {
  if (!path) return Fail(err, "no file for the external decoder");
  TempDir dir;
  if (!dir.path()) return Fail(err, "no temporary folder");
  GStr abs(g_canonicalize_filename(path, nullptr));
  char* argv[] = {const_cast<char*>(program), abs.get(), nullptr};
  char* out_raw = nullptr;
  gint status = 0;
  GError* e = nullptr;
  const gboolean ran = g_spawn_sync(dir.path(), argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr,
                                    nullptr, &out_raw, nullptr, &status, &e);
  GStr out(out_raw);
  if (!ran) {
    std::string why = std::string("xRITDecompress did not run: ") + (e ? e->message : "?");
    if (e) g_error_free(e);
    return Fail(err, why);
  }
  if (!g_spawn_check_wait_status(status, nullptr)) return Fail(err, "xRITDecompress failed");
  const char* key = "Decompressed file: ";
  const char* at = out ? std::strstr(out.get(), key) : nullptr;
  if (!at) return Fail(err, "xRITDecompress named no output file");
  at += std::strlen(key);
  std::string name(at, std::strcspn(at, "\r\n"));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  // Only a plain name inside our folder is accepted.
  GStr base(g_path_get_basename(name.c_str()));
  GStr file(g_build_filename(dir.path(), base.get(), nullptr));
  std::vector<uint8_t> bytes;
  std::string why;
  if (!SuplFileRead(file.get(), SUPL_XRIT_MAX_FILE, &bytes, &why))
    return Fail(err, "cannot read the output of xRITDecompress: " + why);
  std::span<const uint8_t> all(bytes);
  const size_t size = bytes.size();
  XritHeader d;
  if (!XritParseHeaders(all, &d, err)) return false;
  if (d.compression != 0 || d.nc != h.nc || d.nl != h.nl)
    return Fail(err, "xRITDecompress output does not match the segment");
  const uint64_t avail = size - d.header_length;
  const uint64_t field_bytes = d.data_bits / 8 + (d.data_bits % 8 != 0);  // no overflow
  if (field_bytes > avail) return Fail(err, "xRITDecompress output truncated");
  if (!XritCheckPlainField(d, d.data_bits, err)) return false;
  packed->assign(all.begin() + d.header_length, all.begin() + d.header_length + ptrdiff_t(field_bytes));
  return true;
}

}  // namespace

bool XritDecodeField(const XritHeader& h, std::span<const uint8_t> field, const char* path,
                     std::vector<uint8_t>* packed, std::string* err, bool* compressed,
                     int threads, int* whole_lines) {
  if (compressed) *compressed = false;
  if (whole_lines) *whole_lines = 0;
  packed->clear();
  if (h.compression == 0) {
    if (!XritCheckPlainField(h, uint64_t(field.size()) * 8, err)) return false;
    packed->assign(field.begin(), field.end());
    if (whole_lines) *whole_lines = h.nl;
    return true;
  }
  if (compressed) *compressed = true;
  if (!h.has_segment) return Fail(err, "compressed field without a segment identification");
  if (h.representation == XRIT_REPR_JPEG) return Fail(err, "JPEG data fields are not decoded");
  if (h.representation == XRIT_REPR_T4) return Fail(err, "T.4 data fields are not decoded");
  if (h.representation != XRIT_REPR_WT)
    return Fail(err, "unknown data field representation " + std::to_string(h.representation));

  if (h.nb <= 0 || h.nc <= 0 || h.nl <= 0) return Fail(err, "image structure missing or empty");
  const size_t want = (size_t(h.nb) * size_t(h.nc) * size_t(h.nl) + 7) / 8;
  WtResult r;
  std::string why;
  if (WtDecode(field, WtImage{h.nb, h.nc, h.nl}, WtOptions{threads}, &r, &why)) {
    if (r.packed.size() >= want) {
      *packed = std::move(r.packed);
      if (whole_lines) *whole_lines = int(std::count(r.line_ok.begin(), r.line_ok.end(), 1));
      return true;
    }
    why = "WT decoder returned " + std::to_string(r.packed.size()) + " bytes";
  }
  GStr program(g_find_program_in_path("xRITDecompress"));
  if (program) {
    std::string ext;
    if (ExternalDecode(program.get(), path, h, packed, &ext)) {
      if (whole_lines) *whole_lines = h.nl;
      return true;
    }
    why += "; " + ext;
  }
  return Fail(err, why);
}

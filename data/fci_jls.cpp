// The JPEG-LS HDF5 filter, registered in-process: HDF5 calls it for every chunk of a variable
// whose pipeline names filter 32018, in both directions.
#include "data/fci_jls.h"

#include <H5Epublic.h>
#include <H5Ppublic.h>
#include <H5Spublic.h>
#include <H5Tpublic.h>
#include <H5Zpublic.h>
#include <H5public.h>
#include <charls/charls.h>

#include <cstring>
#include <mutex>

#include "data/fci.h"

namespace {

// A chunk larger than this is refused before any allocation: FCI's largest, a 1 km chunk of
// 279 x 11136 samples, is far below it.
constexpr size_t MAX_DECODED = size_t(1) << 28;

// A whole stream ends with the EOI marker (FF D9), perhaps with one pad byte. CharLS takes very
// long over a stream cut short before it, so such a stream is refused without decoding.
bool EndsWithEoi(const uint8_t* s, size_t n) {
  auto at = [&](size_t k) { return n >= k + 2 && s[n - k - 2] == 0xFF && s[n - k - 1] == 0xD9; };
  return at(0) || at(1);
}

struct Params {
  unsigned bytes, components, lines, samples;
  unsigned bits, jls_components, ilv, near, maxval, t1, t2, t3, reset;
};

bool ReadParams(const unsigned* p, size_t n, Params* out) {
  if (!p || n != FCI_JLS_PARAMS) return false;
  std::memcpy(out, p, sizeof *out);
  if ((out->bytes != 1 && out->bytes != 2) || out->components < 1 || out->components > 4 ||
      out->lines < 1 || out->lines > 65535 || out->samples < 1 || out->samples > 65535)
    return false;
  return size_t(out->bytes) * out->components * out->lines * out->samples <= MAX_DECODED;
}

herr_t SetLocal(hid_t dcpl, hid_t type, hid_t space) {
  unsigned user[FCI_JLS_USER_PARAMS] = {};
  size_t nuser = FCI_JLS_USER_PARAMS;
  unsigned flags = 0;
  if (H5Pget_filter_by_id2(dcpl, FCI_JLS_FILTER, &flags, &nuser, user, 0, nullptr, nullptr) < 0) return -1;
  hsize_t dims[3] = {};
  const int rank = H5Pget_chunk(dcpl, 3, dims);
  (void)space;
  unsigned p[FCI_JLS_PARAMS] = {};
  p[0] = unsigned(H5Tget_size(type));
  if (rank == 2) {
    p[1] = 1, p[2] = unsigned(dims[0]), p[3] = unsigned(dims[1]);
  } else if (rank == 3) {
    p[1] = unsigned(dims[0]), p[2] = unsigned(dims[1]), p[3] = unsigned(dims[2]);
  } else {
    return -1;
  }
  std::memcpy(p + 4, user, sizeof user);
  if (p[4] == 0) p[4] = 8 * p[0];
  p[5] = p[1];
  return H5Pmodify_filter(dcpl, FCI_JLS_FILTER, H5Z_FLAG_OPTIONAL, FCI_JLS_PARAMS, p);
}

htri_t CanApply(hid_t dcpl, hid_t type, hid_t space) {
  (void)space;
  if (H5Tget_class(type) != H5T_INTEGER) return 0;
  const size_t bytes = H5Tget_size(type);
  if (bytes != 1 && bytes != 2) return 0;
  hsize_t dims[3] = {};
  const int rank = H5Pget_chunk(dcpl, 3, dims);
  return rank == 2 || rank == 3 ? 1 : 0;
}

// HDF5's side of the filter: replaces *buf by the other form and returns its size, 0 on failure
// (encoding: HDF5 then keeps the chunk as it was, the filter being optional).
size_t Filter(unsigned flags, size_t nparams, const unsigned params[], size_t nbytes, size_t* buf_size,
              void** buf) {
  std::vector<uint8_t> out;
  const auto* src = static_cast<const uint8_t*>(*buf);
  const bool ok = (flags & H5Z_FLAG_REVERSE) ? FciJlsDecode(src, nbytes, params, nparams, &out)
                                             : FciJlsEncode(src, nbytes, params, nparams, &out);
  if (!ok || out.empty()) return 0;
  if (!(flags & H5Z_FLAG_REVERSE) && out.size() >= nbytes) return 0;  // no gain: store as it is
  void* mem = H5allocate_memory(out.size(), false);
  if (!mem) return 0;
  std::memcpy(mem, out.data(), out.size());
  H5free_memory(*buf);
  *buf = mem;
  *buf_size = out.size();
  return out.size();
}

const H5Z_class2_t FILTER_CLASS = {H5Z_CLASS_T_VERS, H5Z_filter_t(FCI_JLS_FILTER), 1, 1, "JPEG-LS",
                                   CanApply, SetLocal, Filter};

}  // namespace

bool FciJlsDecode(const uint8_t* src, size_t n, const unsigned* params, size_t nparams,
                  std::vector<uint8_t>* dst) {
  Params p;
  if (!src || !ReadParams(params, nparams, &p) || !EndsWithEoi(src, n)) return false;
  try {
    charls::jpegls_decoder d;
    d.source(src, n);
    d.read_header();
    const charls::frame_info f = d.frame_info();
    if (f.width != p.samples || f.height != p.lines || f.component_count != int32_t(p.components) ||
        f.bits_per_sample < 2 || f.bits_per_sample > int32_t(8 * p.bytes))
      return false;
    const size_t size = size_t(p.bytes) * p.components * p.lines * p.samples;
    if (d.destination_size() != size) return false;
    dst->resize(size);
    d.decode(dst->data(), dst->size());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool FciJlsEncode(const uint8_t* src, size_t n, const unsigned* params, size_t nparams,
                  std::vector<uint8_t>* dst) {
  Params p;
  if (!src || !ReadParams(params, nparams, &p)) return false;
  if (n != size_t(p.bytes) * p.components * p.lines * p.samples) return false;
  if (p.bits < 2 || p.bits > 8 * p.bytes || p.ilv > 2 || p.jls_components != p.components) return false;
  try {
    charls::jpegls_encoder e;
    e.frame_info({p.samples, p.lines, int32_t(p.bits), int32_t(p.components)});
    e.near_lossless(int32_t(p.near));
    if (p.components > 1) e.interleave_mode(charls::interleave_mode(p.ilv));
    if (p.maxval || p.t1 || p.t2 || p.t3 || p.reset)
      e.preset_coding_parameters({int32_t(p.maxval), int32_t(p.t1), int32_t(p.t2), int32_t(p.t3), int32_t(p.reset)});
    // Room for a stream slightly larger than the samples, headers included.
    dst->resize(n + n / 5 + 8192);
    e.destination(dst->data(), dst->size());
    dst->resize(e.encode(src, n));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool FciJlsRegister() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = H5Zregister(&FILTER_CLASS) >= 0; });
  // Failures come back as values, not printed stacks. A thread-safe HDF5 keeps this setting per
  // thread: the window's monitor reads chunks on its worker.
  thread_local bool silenced = false;
  if (!silenced) silenced = H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr) >= 0;
  return ok;
}

// The JPEG-LS HDF5 filter of FCI chunks (filter 32018), on CharLS. Each filtered HDF5 chunk is
// one plain JPEG-LS stream (SOI .. EOI) of the chunk's samples; the filter's 13 parameters are
// the sample size in bytes, the chunk's components, lines and samples per line, then the
// coding parameters: bits per sample, components, interleave mode, NEAR, MAXVAL, T1, T2, T3,
// RESET (0: the defaults). Writers set the last nine; the filter fills in the first four.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int FCI_JLS_FILTER = 32018;
inline constexpr int FCI_JLS_PARAMS = 13;
inline constexpr int FCI_JLS_USER_PARAMS = 9;

// Decodes one filtered chunk (src, n bytes) with the filter's 13 parameters into dst, which is
// resized to components * lines * samples * bytes. False (dst unspecified) when the parameters
// are not FCI_JLS_PARAMS values, the stream is not JPEG-LS or its frame differs from them.
bool FciJlsDecode(const uint8_t* src, size_t n, const unsigned* params, size_t nparams,
                  std::vector<uint8_t>* dst);
// Encodes a chunk of samples (native byte order) with the filter's 13 parameters. False when
// they describe no image CharLS can code or src has another size.
bool FciJlsEncode(const uint8_t* src, size_t n, const unsigned* params, size_t nparams,
                  std::vector<uint8_t>* dst);

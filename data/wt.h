// Decoder of wavelet-compressed (WT) HRIT data fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct WtImage {
  int nb = 10;   // bits per pixel (HRIT image structure NB)
  int nc = 0;    // columns (NC)
  int nl = 0;    // lines (NL)
};

struct WtResult {
  std::vector<uint8_t> packed;   // nc * nl pixels, nb bits each, MSB first, no line padding
  std::vector<uint8_t> line_ok;  // one entry per line: 1 decoded, 0 lost (zero-filled)
};

// Decodes `field` (the whole data field, from its FF 01 marker) for image `img`.
// Returns false with a one-line reason in *err when nothing could be decoded.
bool WtDecode(std::span<const uint8_t> field, const WtImage& img, WtResult* out, std::string* err);

// Decoder and encoder of wavelet-compressed (WT) HRIT data fields.
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
  std::vector<uint8_t> line_ok;  // one entry per line: 1 decoded, 0 lost or partly zero-filled
  std::vector<int32_t> quality;  // per line: nc = good, -k = first k pixels good, 0 = lost
};

// Coding parameters carried by the stream header (also the encoder's choices).
struct WtParams {
  int bpp = 10;        // bits per pixel field of the header (0 means 16)
  int width = 0;       // must equal NC
  int height = 0;      // must equal NL
  int levels = 4;      // wavelet levels, 3..6
  int predictor = 3;   // 0 none, 1 A, 2 B, 3 C
  int block_mode = 0;  // 0 16x16, 1 32x32, 2 64x64, 3 whole segment
  int restart = 0;     // blocks per coder run, 0 = one run
  int lossy = 0;       // lossy parameter Q, 0 = lossless
};

struct WtOptions {
  int threads = 0;  // 0: all cores when the segment is large enough, 1: single-threaded
};

// Block side for a block mode 0..2 (16, 32, 64); 0 for whole-segment mode.
int WtBlockSize(int block_mode);

// Reads the stream header (FF 01, parameter word, FF 02) at the start of `field`.
// Returns false with a one-line reason when the markers are missing or a value is out of range.
bool WtParseHeader(std::span<const uint8_t> field, WtParams* params, std::string* err);

// Decodes `field` (the whole data field, from its FF 01 marker) for image `img`.
// Damaged runs are zero-filled and reported in the line quality; returns false with a one-line
// reason in *err when nothing could be decoded (bad header, size mismatch, every block corrupt).
bool WtDecode(std::span<const uint8_t> field, const WtImage& img, WtResult* out, std::string* err);
bool WtDecode(std::span<const uint8_t> field, const WtImage& img, const WtOptions& opt,
              WtResult* out, std::string* err);

// As WtDecode, but writes nc * nl counts (row-major, clamped to 0 .. 2^nb - 1) into *counts and
// the per-line quality into *quality (either may be null), skipping the bit packing.
bool WtDecodeCounts(std::span<const uint8_t> field, const WtImage& img, const WtOptions& opt,
                    std::vector<uint16_t>* counts, std::vector<int32_t>* quality,
                    std::string* err);

// Encodes nc * nl counts (row-major, each < 2^nb) losslessly with `params` (width, height and
// bpp are taken from img; lossy must be 0) into *field, from FF 01 to FF 03.
// Returns false (field untouched) when the parameters are invalid for the image.
bool WtEncode(const uint16_t* counts, const WtImage& img, const WtParams& params,
              std::vector<uint8_t>* field);

// The parameters of received MSG segments: 4 levels, predictor C, 16x16 blocks, one block row
// per restart interval.
WtParams WtDefaultParams(const WtImage& img);

// Packs nc * nl counts into the nb-bit MSB-first stream; unpacks it again.
std::vector<uint8_t> WtPack(const uint16_t* counts, size_t count, int nb);
std::vector<uint16_t> WtUnpack(std::span<const uint8_t> packed, size_t count, int nb);

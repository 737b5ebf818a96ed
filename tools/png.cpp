#include "tools/png.h"

#include <png.h>

#include "data/suplsave.h"

namespace {

void WriteChunk(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<SuplSave*>(png_get_io_ptr(png));
  // libpng leaves through the longjmp of Encode; only plain locals live in between.
  if (!out->Write(data, n)) png_error(png, "write failed");
}

void Flush(png_structp) {}

// The libpng part, kept apart so that nothing with a destructor lives across its setjmp.
bool Encode(const cv::Mat& rgb, SuplSave* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, WriteChunk, Flush);
  // Fast deflate, as the codecs of OpenCV use: display images are large and mostly smooth.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, png_uint_32(rgb.cols), png_uint_32(rgb.rows), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < rgb.rows; y++) png_write_row(png, rgb.ptr<png_byte>(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool PngEncodeRgb(SuplSave* out, const cv::Mat& rgb, std::string* err) {
  if (rgb.empty() || rgb.type() != CV_8UC3) {
    if (err) *err = "cannot write " + out->target() + ": no 8-bit RGB image";
    return false;
  }
  if (Encode(rgb, out)) return true;
  if (err) *err = out->ok() ? "cannot write " + out->target() + ": PNG encoding failed" : out->error();
  return false;
}

bool PngWriteRgb(const std::string& path, const cv::Mat& rgb, std::string* err) {
  SuplSave out(path, SuplPublish::Replace);
  if (!out.ok()) {
    if (err) *err = out.error();
    return false;
  }
  if (!PngEncodeRgb(&out, rgb, err)) return false;
  if (out.Publish()) return true;
  if (err) *err = out.error();
  return false;
}

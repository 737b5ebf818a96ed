// Temporary: replaced by the native decoder.
#include "data/wt.h"

bool WtDecode(std::span<const uint8_t>, const WtImage&, WtResult*, std::string* err) {
  if (err) *err = "no WT decoder";
  return false;
}

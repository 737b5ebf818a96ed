// Binary PGM output of 16-bit counts.
#pragma once

#include <cstdint>
#include <string>

class SuplSave;

// Writes a P5 PGM of width x height big-endian 16-bit samples with the given maxval into out
// (not yet published); false when a write failed (the reason in out->error()).
bool PgmEncode16(SuplSave* out, const uint16_t* samples, int width, int height, int maxval);
// The same as a file that replaces path only when complete (SuplPublish::Replace). False with a
// reason in *err, and path as it was, when the file cannot be written.
bool PgmWrite16(const std::string& path, const uint16_t* samples, int width, int height,
                int maxval, std::string* err);

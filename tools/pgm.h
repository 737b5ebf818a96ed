// Binary PGM output of 16-bit counts.
#pragma once

#include <cstdint>
#include <string>

// Writes a P5 PGM of width x height big-endian 16-bit samples with the given maxval.
// False with a reason in *err when the file cannot be written.
bool PgmWrite16(const std::string& path, const uint16_t* samples, int width, int height,
                int maxval, std::string* err);

// SEVIRI Level 1.5 prologue reader: the HRV upper window of a slot.
#pragma once

#include <glib.h>

#include <cstdint>
#include <cstdio>

inline constexpr long PROLOGUE_DATA_SIZE = 425461;  // Level 1.5 header, bytes

// The in-memory prologue record (temporary).
struct Prologue;

// From the full path of any segment of a slot, reads the slot's prologue in the same folder and
// fills out = {upper west column, upper north line, upper east column, upper south line}.
// FALSE with one warning "%s" (the segment path) on any failure.
gboolean LayerPrologueWindow(const char* path, int32_t out[4]);
// Reads an open prologue file into *rec: 0 success, 3 when a header test fails or it is truncated.
int PrologueRead(FILE* file, Prologue* rec);

// Owning handles of shapelib objects.
#pragma once

#include <shapefil.h>

#include <memory>

#include "data/gholder.h"

using CntrsShpPtr = GHolder<SHPInfo, SHPClose>;
using CntrsDbfPtr = GHolder<DBFInfo, DBFClose>;
using CntrsObjectPtr = GHolder<SHPObject, SHPDestroyObject>;

// Read-only handles of the .shp/.shx pair or the .dbf beside path; NULL when they cannot be opened.
inline CntrsShpPtr CntrsShpOpen(const char* path) { return CntrsShpPtr(SHPOpen(path, "rb")); }
inline CntrsDbfPtr CntrsDbfOpen(const char* path) { return CntrsDbfPtr(DBFOpen(path, "rb")); }

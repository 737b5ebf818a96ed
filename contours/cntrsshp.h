// Owning handles of shapelib objects.
#pragma once

#include <shapefil.h>

#include <memory>

struct CntrsShpClose {
  void operator()(SHPInfo* h) const { SHPClose(h); }
};
struct CntrsDbfClose {
  void operator()(DBFInfo* h) const { DBFClose(h); }
};
struct CntrsObjectFree {
  void operator()(SHPObject* o) const { SHPDestroyObject(o); }
};
using CntrsShpPtr = std::unique_ptr<SHPInfo, CntrsShpClose>;
using CntrsDbfPtr = std::unique_ptr<DBFInfo, CntrsDbfClose>;
using CntrsObjectPtr = std::unique_ptr<SHPObject, CntrsObjectFree>;

// Read-only handles of the .shp/.shx pair or the .dbf beside path; NULL when they cannot be opened.
inline CntrsShpPtr CntrsShpOpen(const char* path) { return CntrsShpPtr(SHPOpen(path, "rb")); }
inline CntrsDbfPtr CntrsDbfOpen(const char* path) { return CntrsDbfPtr(DBFOpen(path, "rb")); }

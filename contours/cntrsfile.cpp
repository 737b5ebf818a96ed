// Freeing contour file entries and their loaded layers.
#include <memory>

#include "contours/cntrs.h"

void InfoCntrsFileDel(gpointer entry) {
  std::unique_ptr<CntrsFile> owned(static_cast<CntrsFile*>(entry));
  if (owned) CntrsDel(owned->cntrs);
}

void InfoCntrsDel(GList* link) {
  if (!link || !link->data) return;
  InfoCntrsFileDel(link->data);
  link->data = nullptr;
}

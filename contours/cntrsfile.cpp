// Freeing contour file entries and their loaded layers.
#include <memory>

#include "contours/cntrs.h"

void CntrsDel(Cntrs* cntrs) {
  std::unique_ptr<Cntrs> owned(cntrs);
  if (!owned) return;
  // Removing the group from its parent drops the canvas's reference; its children go with it.
  if (cntrs->group) goo_canvas_item_remove(cntrs->group);
  if (cntrs->polylines) g_ptr_array_unref(cntrs->polylines);
  if (cntrs->lines) g_ptr_array_unref(cntrs->lines);
  if (cntrs->texts) g_ptr_array_unref(cntrs->texts);
  if (cntrs->labels) g_ptr_array_unref(cntrs->labels);
}

void InfoCntrsFileDel(gpointer entry) {
  std::unique_ptr<CntrsFile> owned(static_cast<CntrsFile*>(entry));
  if (owned) CntrsDel(owned->cntrs);
}

void InfoCntrsDel(GList* link) {
  if (!link || !link->data) return;
  InfoCntrsFileDel(link->data);
  link->data = nullptr;
}

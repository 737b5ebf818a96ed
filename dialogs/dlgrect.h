// The view rectangle arithmetic of the Interface page (image x = 3712 - column, y = 3712 - line;
// integer divisions truncate toward zero).
#pragma once

#include <glib.h>

#include "settings/conf.h"

// Why a rectangle cannot be the view window.
enum class DlgRectFault { kNone, kOffDisk, kOutside };

// kNone when the rectangle is a usable window by the settings rule (ConfRectValid: non-empty,
// inside the area the channels are loaded from), kOutside otherwise.
DlgRectFault DlgRectCheck(const ConfRect& r);
// Centre pixel of the rectangle in degrees, seen from a satellite over sub_lon; FALSE (outputs
// untouched) when it is off the Earth.
bool DlgRectCentre(const ConfRect& r, double* lat, double* lon, double sub_lon = 0.0);
// The rectangle of the same size centred on the place at image (px, py).
ConfRect DlgRectAtPlace(const ConfRect& r, gint32 px, gint32 py);
// The rectangle moved so that its centre column is that of (lat, lon) (east_west) or its centre
// line that of (lat, lon) (!east_west). kOffDisk, *out untouched, when the satellite (over
// sub_lon) cannot see the point.
DlgRectFault DlgRectAtCentre(const ConfRect& r, double lat, double lon, bool east_west, ConfRect* out,
                             double sub_lon = 0.0);
// The image position (x, y) of a place as seen from 0° moved to the view from sub_lon, through
// its latitude and longitude, to the nearest pixel. FALSE (outputs untouched) when either
// satellite cannot see it.
bool DlgRectPlaceSeen(gint32 x, gint32 y, double sub_lon, gint32* out_x, gint32* out_y);
// New width (horizontal) or height, the centre kept: x += (width - w) / 2.
ConfRect DlgRectResize(const ConfRect& r, gint32 size, bool horizontal);

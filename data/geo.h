// Normalized geostationary projection (sub-satellite longitude 0).
#pragma once

// Column and line of the 3712 grid (columns from the east, lines from the south) to geodetic
// degrees. 0 and *lat, *lon set; -1 (outputs untouched) when the position is off the Earth.
int GeoPixelToLatLon(double column, double line, double* lat, double* lon);
// Geodetic degrees to column and line of the 3712 grid, or of the 11136 HRV grid when hrv != 0.
// 0 and outputs set; -1 (outputs untouched) when the satellite cannot see the point.
int GeoLatLonToPixel(double lat, double lon, double* column, double* line, int hrv);

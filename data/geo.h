// Normalized geostationary projection of a satellite over longitude sub_lon (degrees east; 0 for
// the full-disk service, 9.5 for the Rapid Scan Service). With sub_lon 0 the results are
// exactly those of the plain projection over the Greenwich meridian.
//
// Between the 3712 and the HRV grid of one satellite (pixel to degrees and back with the same
// sub_lon) the longitude cancels, so that mapping needs no longitude.
#pragma once

// Column and line of the 3712 grid (columns from the east, lines from the south) to geodetic
// degrees, longitude in -180..180. 0 and *lat, *lon set; -1 (outputs untouched) when the
// position is off the Earth.
int GeoPixelToLatLon(double column, double line, double* lat, double* lon, double sub_lon = 0.0);
// Geodetic degrees (latitude clamped to +-90, longitude to +-180) to column and line of the
// 3712 grid, or of the 11136 HRV grid when hrv != 0. 0 and outputs set; -1 (outputs untouched)
// when the satellite cannot see the point.
int GeoLatLonToPixel(double lat, double lon, double* column, double* line, int hrv, double sub_lon = 0.0);

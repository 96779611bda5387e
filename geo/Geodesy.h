// Distance, course and geoid height on WGS 84. Points are single-precision
// (longitude, latitude) pairs in degrees; results are single precision.
// A NaN or infinite coordinate gives NaN (distances, courses, turns) or no
// geoid value (0); nothing divides by zero.
#pragma once

const double c_fWgs84A = 6378137.0;                  // equatorial radius, m
const double c_fWgs84F = 1.0 / 298.257223563;        // flattening
extern const double g_fWgs84E2;                      // e² = 2f − f²

// Distance on the ellipsoid in metres (arc from the chord between the two
// earth-centred points, on the first point's normal radius).
float GetDistance(float fLon1, float fLat1, float fLon2, float fLat2);
// A cheaper local distance in metres (the odometers' one).
float GetLocalDistance(float fLon1, float fLat1, float fLon2, float fLat2);
// Initial course from point 1 to point 2 in degrees [0, 360).
float GetCourse(float fLon1, float fLat1, float fLon2, float fLat2);
// course(B → C) − course(A → B) brought into [−180, 180].
float GetTurnAngle(float fLonA, float fLatA, float fLonB, float fLatB, float fLonC, float fLatC);
// Height of the geoid above the ellipsoid in metres (10° table, bilinear).
float GetGeoidHeight(float fLat, float fLon);

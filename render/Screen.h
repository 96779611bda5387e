// Screen scale factors of the map display. The shell sets them once at
// start from its own (the integer dpi factors); screen lengths in the map
// display are scaled by them.
#pragma once

namespace render {

void SetScreenScale(int nScaleX, int nScaleY);
int GetScaleFactorX();
int GetScaleFactorY();
inline int ScaleX(int n) { return n * GetScaleFactorX(); }
inline int ScaleY(int n) { return n * GetScaleFactorY(); }
// a on a screen whose horizontal factor is 1, b otherwise.
inline int PickByDpi(int a, int b) { return GetScaleFactorX() == 1 ? a : b; }

}  // namespace render

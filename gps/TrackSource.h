// Recorded track points replayed as fixes (the demo player reads one). The
// readers of the track file formats live above positioning (exchange/):
// the program installs their opener at start-up, and without one no track
// can be opened.
#pragma once
#include "gps/GpsFix.h"

class CTrackSource {
 public:
  // The next point into the fix (position; time, altitude and depth when
  // the point has them; speed, vertical speed and course from the previous
  // point). False when there are no more.
  virtual bool NextPoint(GpsFix& fix) = 0;
  // Back to the first point; the previous point is forgotten.
  virtual void Rewind() = 0;
  // Frees the source.
  virtual void Destroy() = 0;

 protected:
  virtual ~CTrackSource() {}
};

// Opens the track file at the path; null when it cannot be opened or is no
// track file.
typedef CTrackSource* (*PfnOpenTrackSource)(const char16_t* pszPath);

// Installs the opener (null: none); returns the one installed before.
PfnOpenTrackSource SetTrackSourceOpener(PfnOpenTrackSource pfn);
// Opens through the installed opener; null without one.
CTrackSource* OpenTrackSource(const char16_t* pszPath);

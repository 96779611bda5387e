// The 27 fixed map scales, index 0 (most detailed) to 26 (least detailed).
// At index i a pixel covers anDen[unit] / nNum map units, so 40 pixels
// cover the label length. The metric column is given; the nautical and
// statute columns are computed from the label values (feet for indices
// 0-8, miles from 9 on).
#pragma once
#include <cstddef>
#include <cstdint>

struct ScaleEntry {
  int32_t nCode;          // level code by which map files name zoom levels
  float fLabelMetric;     // metres below index 12, kilometres from 12
  float fLabelFeetMiles;  // feet below index 9, miles from 9
  int32_t nNum;
  int32_t anDen[3];       // by distance unit: 0 metric, 1 nautical, 2 statute
};

const size_t c_cScales = 27;
const int c_nMaxScaleIndex = 26;
// The first index whose metric label is in kilometres, and the first whose
// feet/miles label is in miles.
const int c_nFirstKmScale = 12;
const int c_nFirstMileScale = 9;

// The scale table: g_cScales[i] is row i, and g_cScales itself compares as
// the row count ("i < g_cScales").
struct CScaleTable {
  const ScaleEntry& operator[](size_t i) const;
  constexpr operator size_t() const { return c_cScales; }
  const ScaleEntry* begin() const;
  const ScaleEntry* end() const;
};
extern const CScaleTable g_cScales;

// The denominator of a row for a distance unit computed from the label
// (what the nautical and statute columns hold); exposed for the table check.
int32_t ComputeScaleDenominator(size_t i, int nDistanceUnit);

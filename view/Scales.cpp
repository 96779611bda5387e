// The scale table. The metric denominators are given; the nautical and
// statute ones follow from the feet/miles labels and are computed by the
// compiler from the unit constants, then checked against the printed table.
#include "view/Scales.h"

#include <array>
#include <utility>

#include "platform/Debug.h"

namespace {

constexpr double c_fFeetPerUnit = 0.061110405624731357;
// The constants are single precision, as the program has always had them:
// 0.018626451f is exactly 20 000 000 / 2^30 and 1609.3f is 1609.300049;
// only these values reproduce the printed columns to the last digit.
constexpr double c_fNauticalMilesPerUnit = double(0.018626451f) / 1852;
constexpr double c_fStatuteMilesPerUnit = double(0.018626451f) / double(1609.3f);

struct ScaleRow {
  int32_t nCode;
  float fLabelMetric;
  float fLabelFeetMiles;
  int32_t nNum;
  int32_t nDenMetric;
};

constexpr ScaleRow c_aRows[c_cScales] = {
    {29, 5, 20, 40000, 268435},        {28, 8, 30, 40000, 429496},
    {27, 12, 50, 40000, 644245},       {27, 20, 80, 40000, 1073741},
    {26, 30, 120, 40000, 1610612},     {25, 50, 200, 40000, 2684354},
    {25, 80, 300, 40000, 4294967},     {24, 120, 500, 4000, 644245},
    {23, 200, 800, 4000, 1073741},     {23, 300, 0.2f, 4000, 1610612},
    {22, 500, 0.3f, 4000, 2684354},    {21, 800, 0.5f, 4000, 4294967},
    {21, 1.2f, 0.7f, 400, 644245},     {20, 2, 1, 400, 1073741},
    {19, 3, 1.5f, 400, 1610612},       {18, 5, 2.5f, 400, 2684354},
    {18, 8, 4, 400, 4294967},          {17, 12, 7, 40, 644245},
    {16, 20, 10, 40, 1073741},         {16, 30, 15, 40, 1610612},
    {15, 50, 25, 40, 2684354},         {14, 80, 40, 40, 4294967},
    {14, 120, 70, 40, 6442450},        {13, 200, 100, 40, 10737418},
    {12, 300, 150, 40, 16106127},      {12, 500, 250, 40, 26843545},
    {11, 800, 400, 40, 42949672},
};

// den = whole part of (label length in map units × num / 40).
constexpr int32_t ComputeDen(size_t i, int nUnit) {
  const ScaleRow& row = c_aRows[i];
  double fUnits = 0;
  if (nUnit == 0) {
    const double fMetres = i < size_t(c_nFirstKmScale) ? row.fLabelMetric : row.fLabelMetric * 1000.0;
    fUnits = fMetres * (1073741824.0 / 20000000.0);
  } else if (i < size_t(c_nFirstMileScale)) {
    fUnits = row.fLabelFeetMiles / c_fFeetPerUnit;
  } else {
    fUnits = row.fLabelFeetMiles / (nUnit == 1 ? c_fNauticalMilesPerUnit : c_fStatuteMilesPerUnit);
  }
  return int32_t(fUnits * row.nNum / 40);
}

constexpr ScaleEntry MakeEntry(size_t i) {
  return ScaleEntry{c_aRows[i].nCode, c_aRows[i].fLabelMetric, c_aRows[i].fLabelFeetMiles,
                    c_aRows[i].nNum, {c_aRows[i].nDenMetric, ComputeDen(i, 1), ComputeDen(i, 2)}};
}

template <size_t... I>
constexpr auto MakeTable(std::index_sequence<I...>) {
  return std::array<ScaleEntry, sizeof...(I)>{MakeEntry(I)...};
}

constexpr std::array<ScaleEntry, c_cScales> c_aScales = MakeTable(std::make_index_sequence<c_cScales>());

// The printed nautical and statute columns.
constexpr int32_t c_aPrinted[c_cScales][2] = {
    {327276, 327276},     {490914, 490914},     {818191, 818191},     {1309106, 1309106},
    {1963659, 1963659},   {3272765, 3272765},   {4909147, 4909147},   {818191, 818191},
    {1309106, 1309106},   {1988569, 1727972},   {2982854, 2591959},   {4971424, 4319931},
    {695999, 604790},     {994284, 863986},     {1491427, 1295979},   {2485712, 2159965},
    {3977139, 3455945},   {695999, 604790},     {994284, 863986},     {1491427, 1295979},
    {2485712, 2159965},   {3977139, 3455945},   {6959994, 6047904},   {9942849, 8639863},
    {14914273, 12959795}, {24857123, 21599659}, {39771397, 34559455},
};

constexpr bool CheckTable() {
  for (size_t i = 0; i < c_cScales; ++i) {
    if (c_aScales[i].anDen[1] != c_aPrinted[i][0] || c_aScales[i].anDen[2] != c_aPrinted[i][1])
      return false;
    if (ComputeDen(i, 0) != c_aRows[i].nDenMetric)
      return false;
  }
  return true;
}
static_assert(CheckTable(), "computed scale denominators differ from the printed table");

}  // namespace

const CScaleTable g_cScales;

const ScaleEntry& CScaleTable::operator[](size_t i) const {
  ASSERT(i < c_cScales);
  return c_aScales[i < c_cScales ? i : c_cScales - 1];
}

const ScaleEntry* CScaleTable::begin() const {
  return c_aScales.data();
}

const ScaleEntry* CScaleTable::end() const {
  return c_aScales.data() + c_cScales;
}

int32_t ComputeScaleDenominator(size_t i, int nDistanceUnit) {
  if (i >= c_cScales || nDistanceUnit < 0 || nDistanceUnit > 2)
    return 0;
  return ComputeDen(i, nDistanceUnit);
}

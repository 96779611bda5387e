// Every number the geodesy, unit and view modules take, from arbitrary
// bytes: NaN, infinities, denormals and extreme integers must neither crash
// nor reach undefined behaviour (the build runs with ASan and UBSan).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "geo/Geodesy.h"
#include "geo/Sun.h"
#include "geo/Units.h"
#include "view/FastMath.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

namespace {

class CReader {
 public:
  CReader(const uint8_t* p, size_t cb) : m_p(p), m_cb(cb) {}
  template <typename T>
  T Get() {
    T t{};
    const size_t cb = m_cb < sizeof(T) ? m_cb : sizeof(T);
    memcpy(&t, m_p, cb);
    m_p += cb;
    m_cb -= cb;
    return t;
  }
  size_t Left() const { return m_cb; }

 private:
  const uint8_t* m_p;
  size_t m_cb;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData) {
  CReader r(pData, cbData);
  char16_t sz[96], szUnit[32];

  UnitOptions options{};
  options.dwElevationUnit = r.Get<uint8_t>();
  options.dwDistanceUnit = r.Get<uint8_t>();
  options.dwAreaUnit = r.Get<uint8_t>();
  options.dwAzimuthFormat = r.Get<uint8_t>();
  options.dwPositionFormat = r.Get<uint8_t>();
  options.dwStreetAddressFormat = r.Get<uint8_t>();
  SetUnitOptions(options);

  const double f = r.Get<double>();
  const float a = r.Get<float>(), b = r.Get<float>(), c = r.Get<float>(), d = r.Get<float>();
  FormatGeneralNumber(f, sz, 96);
  FormatGroupedInteger(r.Get<uint32_t>(), sz, 96);
  FormatDistance(f, sz, 96, szUnit, 32);
  FormatElevation(f, (r.Get<uint8_t>() & 1) ? unMeters : unFeet, r.Get<uint8_t>() & 1, sz, 96, szUnit, 32);
  FormatSpeed(f, sz, 96, szUnit, 32);
  FormatVerticalSpeed(f, sz, 96, szUnit, 32);
  FormatArea(f, sz, 96, szUnit, 32);
  FormatDuration(f, sz, 96);
  FormatAzimuth(f, sz, 96);
  FormatPosition(f, a, sz, 96);
  FormatPosition(a, f, sz, 8);
  // Coordinates as typed: the input's first bytes as text, and what the
  // formatter writes.
  char16_t szTyped[48] = {};
  for (size_t i = 0; i + 1 < 48 && 2 * i + 1 < cbData; ++i)
    szTyped[i] = char16_t(pData[2 * i] | pData[2 * i + 1] << 8);
  double fTyped = 0;
  ParseCoordinate(szTyped, true, &fTyped);
  ParseCoordinate(szTyped, false, &fTyped);
  FormatLatitude(f, sz, 96);
  ParseCoordinate(sz, true, &fTyped);

  GetDistance(a, b, c, d);
  GetLocalDistance(a, b, c, d);
  GetCourse(a, b, c, d);
  GetTurnAngle(a, b, c, d, a, d);
  GetGeoidHeight(a, b);
  GetSunEventTime(r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>(), a, b, r.Get<uint8_t>() & 1);
  NormalizeDegrees(c);
  NormalizeHours(d);

  fast_floor(a);
  fast_floor_d(f);
  fast_sqrt(r.Get<uint32_t>());
  fast_sin(a);
  fast_cos(b);
  fast_atan2(r.Get<int32_t>(), r.Get<int32_t>());
  vmath::MulDiv(r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>());
  DegreesToMap(f);
  DegreesToMap2(f);
  MetresToMap(f);

  CMapPosition pos;
  pos.SetScreenScale(r.Get<int8_t>(), r.Get<int8_t>());
  pos.SetOrigin(r.Get<int32_t>(), r.Get<int32_t>());
  pos.SetViewSize(r.Get<int32_t>(), r.Get<int32_t>());
  pos.SetAngle(r.Get<int32_t>());
  pos.SetCentre(r.Get<int32_t>(), r.Get<int32_t>());
  pos.SetScale(r.Get<uint8_t>() % 32);
  pos.GetScaleText(sz, 96);
  pos.Pan(r.Get<int32_t>(), r.Get<int32_t>());
  pos.ToScreen(r.Get<int32_t>(), r.Get<int32_t>());
  pos.ToScreenDoubled(r.Get<int32_t>(), r.Get<int32_t>());
  pos.ToMap(r.Get<int32_t>(), r.Get<int32_t>());
  pos.GetViewRect();
  const MapRectL rect{r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>(), r.Get<int32_t>()};
  pos.IsAtLeast(rect, r.Get<int32_t>(), r.Get<int32_t>());
  pos.FitRect(rect);

  // The rest is a point list.
  MapPoint apt[64];
  size_t cPoints = 0;
  while (cPoints < 64 && r.Left() >= 8) {
    apt[cPoints].x = r.Get<int32_t>();
    apt[cPoints].y = r.Get<int32_t>();
    ++cPoints;
  }
  VPoint aOut[64];
  pos.ToScreenMany(apt, aOut, cPoints);
  const MapPoint pt = cPoints > 0 ? apt[0] : MapPoint{0, 0};
  MapPoint n;
  size_t iSeg;
  PtAlgo::PolylineLength(apt, apt + cPoints, a);
  PtAlgo::PolylineLengthFast(apt, apt + cPoints, a);
  PtAlgo::NearestPointOnPolyline(pt, apt, cPoints, true, b, &n, &iSeg);
  PtAlgo::FindSegmentWithin(pt, apt, cPoints, false, b, f);
  PtAlgo::PointInPolygon(pt, apt + (cPoints > 0 ? 1 : 0), cPoints > 0 ? cPoints - 1 : 0);
  PtAlgo::PolygonHitTest(pt, apt, cPoints, c, d);
  return 0;
}

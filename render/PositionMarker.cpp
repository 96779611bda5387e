#include "render/PositionMarker.h"

#include <cmath>

#include "render/Screen.h"
#include "view/MapUnits.h"

void DrawPositionMarker(platform::CCanvas* pDst, const CMapPosition& view, const CursorMark& cursor) {
  if (pDst == nullptr || !cursor.fValid)
    return;
  const VPoint pt = view.ToScreen(DegreesToMap(cursor.dLon), DegreesToMap(cursor.dLat));
  const int r = render::ScaleX(9);
  const platform::CPen pen(platform::psSolid, render::PickByDpi(2, 3), RGB(255, 255, 255));
  const platform::CBrush brush(platform::bkSolid, RGB(220, 30, 30));
  const platform::CPen* pOldPen = pDst->SelectPen(&pen);
  const platform::CBrush* pOldBrush = pDst->SelectBrush(&brush);
  if (cursor.dHeading >= 0 && cursor.dHeading <= 360) {
    const double a = (cursor.dHeading - view.GetAngle()) * 3.14159265358979 / 180.0;
    const double s = std::sin(a), c = std::cos(a);
    auto at = [&](double dx, double dy) {
      return VPoint{pt.x + int(std::lround(dx * c - dy * s)), pt.y + int(std::lround(dx * s + dy * c))};
    };
    const VPoint arrow[4] = {at(0, -r * 1.4), at(r, r), at(0, r * 0.4), at(-r, r)};
    pDst->Polygon(arrow, 4);
  } else {
    pDst->Ellipse(pt.x - r / 2, pt.y - r / 2, pt.x + r / 2, pt.y + r / 2);
  }
  pDst->SelectPen(pOldPen);
  pDst->SelectBrush(pOldBrush);
}

#include "navigation/GuidanceDraw.h"

#include <cmath>
#include <cstdio>

#include "geo/Units.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

void DrawPointerLine(platform::CCanvas* pDst, const CMapPosition& view, float fLon, float fLat,
                     int32_t xTargetStored, int32_t yTargetStored, bool fDense) {
  VPoint pts[2] = {view.ToScreen(DegreesToMap(fLon), DegreesToMap(fLat)),
                   view.ToScreenDoubled(xTargetStored, yTargetStored)};
  const platform::CPen outer(platform::psSolid, fDense ? 17 : 9, c_crPointerOuter);
  const platform::CPen inner(platform::psSolid, fDense ? 9 : 5, c_crPointerInner);
  const platform::CPen* pOld = pDst->SelectPen(&outer);
  pDst->Polyline(pts, 2);
  pDst->SelectPen(&inner);
  pDst->Polyline(pts, 2);
  pDst->SelectPen(pOld);
}

int32_t ManeuverArrowAngle(int32_t nKind) {
  switch (nKind) {
    case mkKeepLeft: return -30;
    case mkKeepRight: return 30;
    case mkLeft: return -90;
    case mkRight: return 90;
    case mkSharpLeft: return -135;
    case mkSharpRight: return 135;
    case mkFromRound: return 90;
    case mkUTurnRight: return 180;
    case mkUTurnLeft: return -180;
    default: return 0;
  }
}

namespace {

// A U-turn: up on one side, across the top and back down on the other side
// with the head pointing down (nSide -1: back on the left, 1: on the
// right). A head turned straight back would lie on its own stem.
int UTurnArrow(int nSide, VPoint* p, int x0, int y0, int nSize) {
  const double s = nSize / 64.0;
  const int xc = x0 + nSize / 2, yc = y0 + nSize / 2;
  const int w = int(std::lround(5 * s)), g = int(std::lround(10 * s)), nHead = int(std::lround(12 * s));
  const int yTop = y0 + int(std::lround(10 * s)), yHead = yc + int(std::lround(6 * s));
  const int xUp = xc - nSide * g, xDown = xc + nSide * g;  // the two shafts' middles
  int c = 0;
  p[c++] = VPoint{xUp - nSide * w, y0 + nSize - 2};
  p[c++] = VPoint{xUp - nSide * w, yTop};
  p[c++] = VPoint{xDown + nSide * w, yTop};
  p[c++] = VPoint{xDown + nSide * w, yHead};
  p[c++] = VPoint{xDown + nSide * nHead, yHead};
  p[c++] = VPoint{xDown, yHead + nHead};
  p[c++] = VPoint{xDown - nSide * nHead, yHead};
  p[c++] = VPoint{xDown - nSide * w, yHead};
  p[c++] = VPoint{xDown - nSide * w, yTop + 2 * w};
  p[c++] = VPoint{xUp + nSide * w, yTop + 2 * w};
  p[c++] = VPoint{xUp + nSide * w, y0 + nSize - 2};
  return c;
}

}  // namespace

int ManeuverArrow(int32_t nKind, VPoint* p, int x0, int y0, int nSize) {
  if (nKind == mkUTurnLeft || nKind == mkUTurnRight) return UTurnArrow(nKind == mkUTurnLeft ? -1 : 1, p, x0, y0, nSize);
  // The stem: from the bottom centre up to the middle.
  const double s = nSize / 64.0;
  const int xc = x0 + nSize / 2, yc = y0 + nSize / 2;
  const int w = int(std::lround(5 * s));
  const double a = ManeuverArrowAngle(nKind) * 3.14159265358979 / 180.0;
  const double dx = std::sin(a), dy = -std::cos(a);  // screen y grows downwards
  const double nx = -dy, ny = dx;                     // across the head's direction
  const double fLen = 22 * s, fHead = 12 * s;
  int c = 0;
  p[c++] = VPoint{xc - w, y0 + nSize - 2};
  p[c++] = VPoint{xc - w, yc};
  // The head's shaft and its tip.
  const double xe = xc + dx * fLen, ye = yc + dy * fLen;
  auto Pt = [](double x, double y) { return VPoint{int32_t(std::lround(x)), int32_t(std::lround(y))}; };
  p[c++] = Pt(xc - nx * w, yc - ny * w);
  p[c++] = Pt(xe - nx * w, ye - ny * w);
  p[c++] = Pt(xe - nx * fHead, ye - ny * fHead);
  p[c++] = Pt(xe + dx * fHead, ye + dy * fHead);
  p[c++] = Pt(xe + nx * fHead, ye + ny * fHead);
  p[c++] = Pt(xe + nx * w, ye + ny * w);
  p[c++] = Pt(xc + nx * w, yc + ny * w);
  p[c++] = VPoint{xc + w, yc};
  p[c++] = VPoint{xc + w, y0 + nSize - 2};
  return c;
}

void DrawManeuverDisplay(platform::CCanvas* pDst, const VRect& rc, const NavigationState& st, bool fDense) {
  const int k = fDense ? 2 : 1;
  // Off the route the display turns red until the route is found again.
  const platform::CBrush back(platform::bkSolid, st.nState == nsOffRoute ? c_crOffRouteDisplay : 0x202020);
  const platform::CBrush white(platform::bkSolid, 0xFFFFFF);
  const platform::CPen edge(platform::psSolid, k, 0xFFFFFF);
  const platform::CPen none(platform::psNull, 0, 0);
  pDst->FillRect(rc, &back);
  const int nSize = 64 * k;
  const int x0 = rc.left + ((rc.right - rc.left) - nSize) / 2, y0 = rc.top + 4 * k;
  const platform::CPen* pOldPen = pDst->SelectPen(&none);
  const platform::CBrush* pOldBrush = pDst->SelectBrush(&white);
  pDst->SetBkMode(platform::bmTransparent);
  pDst->SetTextColor(0xFFFFFF);
  if (st.nManeuverKind == mkToRound) {
    // The roundabout: a ring, the way in from below, the exit number inside.
    pDst->SelectPen(&edge);
    const platform::CPen ring(platform::psSolid, 6 * k, 0xFFFFFF);
    pDst->SelectPen(&ring);
    pDst->SelectBrush(&back);
    pDst->Ellipse(x0 + 14 * k, y0 + 8 * k, x0 + nSize - 14 * k, y0 + nSize - 20 * k);
    VPoint stem[2] = {{x0 + nSize / 2, y0 + nSize - 2}, {x0 + nSize / 2, y0 + nSize - 20 * k}};
    pDst->Polyline(stem, 2);
    char16_t sz[8];
    platform::Format(sz, 8, u"%u", unsigned(st.nManeuverParameter & 0xFF));
    VRect rcText{x0, y0 + 8 * k, x0 + nSize, y0 + nSize - 20 * k};
    pDst->DrawTextIn(sz, -1, rcText, platform::dtCenter | platform::dtVCenter | platform::dtSingleLine);
  } else if (st.nManeuverKind != mkNone) {
    VPoint pts[12];
    int c = ManeuverArrow(st.nManeuverKind, pts, x0, y0, nSize);
    pDst->Polygon(pts, c);
  } else {
    // Straight on (or the end ahead): a plain arrow up.
    VPoint pts[12];
    int c = ManeuverArrow(mkNone, pts, x0, y0, nSize);
    pDst->Polygon(pts, c);
  }
  char16_t szValue[32], szUnit[16], sz[64];
  FormatDistance(st.nDistanceToManeuver, szValue, 32, szUnit, 16);
  platform::Format(sz, 64, u"%s %s", szValue, szUnit);
  VRect rcLine{rc.left, y0 + nSize + 2 * k, rc.right, y0 + nSize + 22 * k};
  pDst->DrawTextIn(sz, -1, rcLine, platform::dtCenter | platform::dtSingleLine);
  FormatDistance(st.nDistanceToEnd, szValue, 32, szUnit, 16);
  platform::Format(sz, 64, u"\u2691 %s %s", szValue, szUnit);
  rcLine.top += 20 * k;
  rcLine.bottom += 20 * k;
  pDst->DrawTextIn(sz, -1, rcLine, platform::dtCenter | platform::dtSingleLine);
  pDst->SelectPen(pOldPen);
  pDst->SelectBrush(pOldBrush);
}

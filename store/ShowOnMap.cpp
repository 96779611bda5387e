#include "store/ShowOnMap.h"

#include "settings/Settings.h"
#include "settings/SettingsTable.h"

void ShowWaypoint(CMapPosition& pos, const Waypoint& wp) {
  pos.SetCentre(wp.x >> 1, wp.y >> 1);
  SetBool(setting::ShowWaypoints.pszName, true);
}

bool ShowRoute(CMapPosition& pos, const Route& route) {
  size_t cPoints = route.points.size();
  if (cPoints == 0) return false;
  if (cPoints == 1) {
    pos.SetCentre(route.points[0].GetX() >> 1, route.points[0].GetY() >> 1);
  } else {
    ASSERT(cPoints >= 2);
    const RouteRect& rc = route.rcBounds;
    pos.SetCentre(int32_t((int64_t(rc.left) + rc.right) / 2), int32_t((int64_t(rc.top) + rc.bottom) / 2));
    MapRectL rect = {rc.left, rc.top, rc.right, rc.bottom};
    pos.FitRect(rect);
  }
  SetBool(setting::ShowRoutes.pszName, true);
  return true;
}

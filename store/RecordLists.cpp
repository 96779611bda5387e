#include "store/RecordLists.h"

#include <algorithm>

#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Geodesy.h"
#include "geo/Units.h"
#include "platform/Str.h"
#include "platform/WinTypes.h"

namespace {

ListSort LoadSort(const SettingDef& col, const SettingDef& order, int cColumns) {
  ListSort sort;
  int n = int(GetDword(col.pszName, col.dwDefault));
  sort.nColumn = n >= 0 && n < cColumns ? n : -1;
  sort.fAscending = GetBool(order.pszName, order.dwDefault != 0);
  return sort;
}

void SaveSort(const SettingDef& col, const SettingDef& order, const ListSort& sort) {
  SetDword(col.pszName, DWORD(sort.nColumn));
  SetBool(order.pszName, sort.fAscending);
}

std::u16string ResText(uint32_t ids) {
  char16_t sz[256];
  return LoadResString(ids, sz, 256);
}

float Lon(const Waypoint& wp) { return float(StoredToDegrees(wp.x)); }
float Lat(const Waypoint& wp) { return float(StoredToDegrees(wp.y)); }

std::u16string ValueAndUnit(const char16_t* pszValue, const char16_t* pszUnit) {
  std::u16string str = pszValue;
  if (*pszUnit) str += std::u16string(u" ") + pszUnit;
  return str;
}

// Compares two waypoints by a column: negative, zero or positive.
int CompareWaypoints(const Waypoint& a, const Waypoint& b, int nColumn, float fLon, float fLat) {
  auto cmp = [](double x, double y) { return x < y ? -1 : x > y ? 1 : 0; };
  switch (nColumn) {
    case wlcType: return cmp(a.GetType(), b.GetType());
    case wlcName: return platform::StrCmpI(a.strName.c_str(), b.strName.c_str());
    case wlcDistance:
      return cmp(GetDistance(fLon, fLat, Lon(a), Lat(a)), GetDistance(fLon, fLat, Lon(b), Lat(b)));
    case wlcBearing: return cmp(GetCourse(fLon, fLat, Lon(a), Lat(a)), GetCourse(fLon, fLat, Lon(b), Lat(b)));
    case wlcCreated: return cmp(a.dTime, b.dTime);
    case wlcShow: return cmp(a.GetShow(), b.GetShow());
    case wlcAltitude:
      // waypoints without altitude before all others
      if (a.HasAltitude() != b.HasAltitude()) return a.HasAltitude() ? 1 : -1;
      return a.HasAltitude() ? cmp(a.fAltitude, b.fAltitude) : 0;
    case wlcRoutes: return cmp(a.cRoutePoints, b.cRoutePoints);
  }
  return 0;
}

int CompareRoutes(const Route& a, const Route& b, int nColumn) {
  auto cmp = [](double x, double y) { return x < y ? -1 : x > y ? 1 : 0; };
  switch (nColumn) {
    case rlcName: return platform::StrCmpI(a.strName.c_str(), b.strName.c_str());
    case rlcPoints: return cmp(double(a.points.size()), double(b.points.size()));
    case rlcLength: return cmp(GetRouteLength(a), GetRouteLength(b));
    case rlcChanged: return cmp(a.dTime, b.dTime);
  }
  return 0;
}

}  // namespace

ListSort LoadWaypointListSort() {
  return LoadSort(setting::Waypoints_SortCol, setting::Waypoints_SortOrder, wlcColumns);
}
void SaveWaypointListSort(const ListSort& sort) {
  SaveSort(setting::Waypoints_SortCol, setting::Waypoints_SortOrder, sort);
}
ListSort LoadRouteListSort() { return LoadSort(setting::Routes_SortCol, setting::Routes_SortOrder, rlcColumns); }
void SaveRouteListSort(const ListSort& sort) { SaveSort(setting::Routes_SortCol, setting::Routes_SortOrder, sort); }

void ClickListColumn(ListSort& sort, int nColumn) {
  if (sort.nColumn == nColumn) {
    sort.fAscending = !sort.fAscending;
  } else {
    sort.nColumn = nColumn;
    sort.fAscending = true;
  }
}

std::vector<Waypoint*> GetWaypointRows(const CWaypointStore& store, const ListSort& sort, float fLon, float fLat) {
  std::vector<Waypoint*> rows;
  for (Waypoint* p = store.FirstWaypoint(); p; p = p->pNext)
    if (!p->IsDeleted()) rows.push_back(p);
  if (sort.nColumn >= 0)
    std::stable_sort(rows.begin(), rows.end(), [&](const Waypoint* a, const Waypoint* b) {
      int n = CompareWaypoints(*a, *b, sort.nColumn, fLon, fLat);
      return sort.fAscending ? n < 0 : n > 0;
    });
  return rows;
}

std::vector<Route*> GetRouteRows(const CWaypointStore& store, const ListSort& sort) {
  std::vector<Route*> rows;
  for (Route* p = store.FirstRoute(); p; p = p->pNext)
    if (!p->IsDeleted()) rows.push_back(p);
  if (sort.nColumn >= 0)
    std::stable_sort(rows.begin(), rows.end(), [&](const Route* a, const Route* b) {
      int n = CompareRoutes(*a, *b, sort.nColumn);
      return sort.fAscending ? n < 0 : n > 0;
    });
  return rows;
}

std::u16string GetWaypointCell(const Waypoint& wp, WaypointListColumn column, float fLon, float fLat,
                               PfnFormatDate pfnDate) {
  char16_t szValue[64], szUnit[32];
  switch (column) {
    case wlcType: {
      unsigned nType = wp.GetType();
      return ResText(c_idsFirstSymbolName + (nType < c_cWaypointCount ? nType : c_nDefaultSymbol));
    }
    case wlcName: return wp.strName;
    case wlcDistance:
      FormatDistance(GetDistance(fLon, fLat, Lon(wp), Lat(wp)), szValue, 64, szUnit, 32);
      return ValueAndUnit(szValue, szUnit);
    case wlcBearing:
      FormatAzimuth(GetCourse(fLon, fLat, Lon(wp), Lat(wp)), szValue, 64);
      return szValue;
    case wlcCreated: return wp.dTime != 0 && pfnDate ? pfnDate(wp.dTime) : ResText(c_idsNoValue);
    case wlcShow: return ResText(c_idsFirstShowMode + (wp.GetShow() < 3 ? wp.GetShow() : unsigned(wsIconAndName)));
    case wlcAltitude:
      if (!wp.HasAltitude()) return ResText(c_idsNoValue);
      FormatElevation(wp.fAltitude, unMeters, true, szValue, 64, szUnit, 32);
      return ValueAndUnit(szValue, szUnit);
    case wlcRoutes: return platform::FormatStr(u"%u", unsigned(wp.cRoutePoints));
    case wlcColumns: break;
  }
  return std::u16string();
}

std::u16string GetRouteCell(const Route& route, RouteListColumn column, PfnFormatDate pfnDate) {
  char16_t szValue[64], szUnit[32];
  switch (column) {
    case rlcName: return route.strName;
    case rlcPoints: return platform::FormatStr(u"%u", unsigned(route.points.size()));
    case rlcLength:
      FormatDistance(GetRouteLength(route), szValue, 64, szUnit, 32);
      return ValueAndUnit(szValue, szUnit);
    case rlcDuration: return ResText(c_idsNoValue);
    case rlcChanged: return route.dTime != 0 && pfnDate ? pfnDate(route.dTime) : ResText(c_idsNoValue);
    case rlcColumns: break;
  }
  return std::u16string();
}

uint32_t GetActiveRouteRowColor(uint32_t crWindow) {
  auto less32 = [](unsigned c) { return c >= 32 ? c - 32 : 0u; };
  return RGB(less32(GetRValue(crWindow)), less32(GetGValue(crWindow)), less32(GetBValue(crWindow)));
}

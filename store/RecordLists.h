// What the waypoint and route list dialogs show: their columns, the rows
// in the chosen order and the text of each cell. The sort state is kept in
// the settings ("Waypoints_SortCol", "Waypoints_SortOrder", "Routes_...").
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "store/WaypointStore.h"

enum WaypointListColumn {
  wlcType,      // "Тип": the symbol's name
  wlcName,      // "Название"
  wlcDistance,  // "Расстояние" from the map centre
  wlcBearing,   // "Азимут" from the map centre
  wlcCreated,   // "Дата создания"
  wlcShow,      // "Вид"
  wlcAltitude,  // "Высота"
  wlcRoutes,    // "Маршрутов": route points on the waypoint
  wlcColumns
};

enum RouteListColumn {
  rlcName,      // "Название"
  rlcPoints,    // "Точек"
  rlcLength,    // "Длина"
  rlcDuration,  // "Длительность"
  rlcChanged,   // "Дата изменения"
  rlcColumns
};

const uint32_t c_idsFirstShowMode = 2200;        // "Значок", "Значок и имя", "Значок и описание"
const uint32_t c_idsFirstWaypointColumn = 2203;  // the waypoint list's headers in column order
const uint32_t c_idsFirstRouteColumn = 2211;     // the route list's headers
const uint32_t c_idsNoValue = 2216;              // "-"

struct ListSort {
  int nColumn;      // −1: store order
  bool fAscending;
};

ListSort LoadWaypointListSort();
void SaveWaypointListSort(const ListSort& sort);
ListSort LoadRouteListSort();
void SaveRouteListSort(const ListSort& sort);
// A click on a column header sorts by it; a click on the sorted column
// reverses the order.
void ClickListColumn(ListSort& sort, int nColumn);

// The non-deleted records in store order, then stably sorted. Distance
// and bearing are measured from (fLon, fLat), the centre of the map view.
std::vector<Waypoint*> GetWaypointRows(const CWaypointStore& store, const ListSort& sort, float fLon, float fLat);
std::vector<Route*> GetRouteRows(const CWaypointStore& store, const ListSort& sort);

// The cell texts; dates come from pfnDate (the dialog's local date format)
// and "-" stands for a missing value.
typedef std::u16string (*PfnFormatDate)(double dTime);
std::u16string GetWaypointCell(const Waypoint& wp, WaypointListColumn column, float fLon, float fLat,
                               PfnFormatDate pfnDate);
std::u16string GetRouteCell(const Route& route, RouteListColumn column, PfnFormatDate pfnDate);

// The background of the active route's row: the window colour with 32
// taken from each of red, green and blue.
uint32_t GetActiveRouteRowColor(uint32_t crWindow);

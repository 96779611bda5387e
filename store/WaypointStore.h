// The waypoint and route store: two singly linked lists kept together in
// Waypoints.bin. New records go to the head of their list; deletion only
// sets the deleted flag, and deleted records are dropped at the next save.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/Waypoint.h"

const uint32_t c_idsWaypointsDamaged = 2130;  // "Файл Waypoints.bin (...) повреждён."

enum StoreLoadResult {
  slrLoaded,    // the file was read completely
  slrMissing,   // no file: empty store, no message
  slrDamaged,   // message 2130; what was valid before the damage is loaded
};

class CWaypointStore {
 public:
  // ppActiveRoute: where the active route is kept (the program passes
  // &g_pActiveRoute); null keeps it inside the store.
  explicit CWaypointStore(Route** ppActiveRoute = nullptr);
  ~CWaypointStore();
  CWaypointStore(const CWaypointStore&) = delete;
  CWaypointStore& operator=(const CWaypointStore&) = delete;

  // Frees every record; the active route is cleared.
  void Clear();
  // Changes whenever records may have been freed (Clear, Load): holders of
  // record pointers compare it to drop what they kept.
  uint32_t GetGeneration() const { return m_nGeneration; }

  Waypoint* FirstWaypoint() const { return m_pWaypoints; }
  Route* FirstRoute() const { return m_pRoutes; }
  Route* ActiveRoute() const { return *m_ppActiveRoute; }
  void SetActiveRoute(Route* pRoute);
  size_t CountWaypoints() const;  // not deleted
  size_t CountRoutes() const;     // not deleted

  // Reads a whole store from bytes. fNavigation: the setting "Navigation";
  // with it an active route of the file becomes the active route.
  StoreLoadResult Load(const uint8_t* pb, size_t cb, bool fNavigation);
  // Writes the whole store (recomputing every route's bounding rectangle).
  void Save(std::vector<uint8_t>& out);

  // The file forms: a missing file leaves the store empty; a damaged file
  // is renamed aside (to a name given in strKeptAs) so that the next save
  // cannot overwrite it. Save replaces the file atomically.
  StoreLoadResult LoadFile(const char16_t* pszPath, bool fNavigation, std::u16string* pstrKeptAs = nullptr);
  bool SaveFile(const char16_t* pszPath);

  // Takes over a record made by the caller (importers) at the head of its list.
  void AddWaypoint(Waypoint* pWaypoint);
  void AddRoute(Route* pRoute);

  // A new waypoint at the head of the list: show mode 1, symbol 18, the
  // name given or generated.
  Waypoint* NewWaypoint(double dLon, double dLat, double dTime, float fAltitude, bool fHasAltitude,
                        const char16_t* pszName = nullptr);
  // A new route at the head of the list: colour 0xE800E8, the given time,
  // the name given or generated.
  Route* NewRoute(double dTime, const char16_t* pszName = nullptr);

  // "%03d" with the first number from 1 not used by a non-deleted record.
  std::u16string MakeWaypointName() const;
  // Without a base the same as for waypoints; else the base itself when no
  // route has it, or "base (n)" with the first free n from 1.
  std::u16string MakeRouteName(const char16_t* pszBase = nullptr) const;

  // Route editing; none is allowed on the active route (false).
  bool InsertWaypoint(Route* pRoute, int iAfter, Waypoint* pWaypoint);  // iAfter −1: at the start
  bool DeletePoint(Route* pRoute, size_t iPoint);
  bool MovePointUp(Route* pRoute, size_t iPoint);
  bool MovePointDown(Route* pRoute, size_t iPoint);
  bool ReverseRoute(Route* pRoute);
  // Closing the route editor with OK.
  void SetRouteProperties(Route* pRoute, double dTime, const std::u16string& strName,
                          const std::u16string& strText2, uint32_t crColor);

  // Not allowed for the active route. Points release their waypoints; a
  // waypoint made for a route is deleted when no route point is left on it.
  bool DeleteRoute(Route* pRoute);
  // Only a waypoint no route point refers to can be deleted.
  bool DeleteWaypoint(Waypoint* pWaypoint);

  // The nearest non-deleted waypoint to a map point (map units) not farther
  // than fRadius metres, or null.
  Waypoint* FindNearestWaypoint(int32_t xMap, int32_t yMap, float fRadius) const;

 private:
  Waypoint* m_pWaypoints;
  Route* m_pRoutes;
  Route* m_pActiveOwn;
  Route** m_ppActiveRoute;
  uint32_t m_nGeneration;
};

// The route under guidance; the program's store keeps its active route here.
extern Route* g_pActiveRoute;
// The program's waypoints and routes (Waypoints.bin beside the program).
extern CWaypointStore g_waypointStore;

// Turn angles (with the follow-up rule for router maneuvers) and the
// bounding rectangle; after every change of points and after loading.
void RecomputeRoute(Route& route);
void RecomputeBounds(Route& route);
// Sum of the segment lengths in metres between two point indices.
float GetRouteLength(const Route& route, size_t iFrom, size_t iTo);
float GetRouteLength(const Route& route);

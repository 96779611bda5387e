// Route editing on the map: the route being edited, the waypoint being
// moved, the objects a context menu was opened for (the selected waypoint,
// or the selected route with the route point found by the hit test) and a
// route point dragged with the pointer. Hit tests work in screen pixels
// through the view; the operations behind the map's commands work on the
// store and say whether it changed (the caller then saves and refreshes).
//
// Nothing is allowed on the active route (the route under guidance, which
// is "locked"): operations on it are refused without touching the store.
// The state never keeps a deleted record: deleting the edited route ends
// editing, deleting the moving waypoint stops moving, and a store cleared
// or loaded again resets the whole state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/Canvas.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

class CWaypointStore;
struct Route;
struct Waypoint;

// Hit-test tolerances in display units (pixels at the screen scale 1).
const int c_nWaypointHitTolerance = 10;    // about the size of the icons
const int c_nRouteHitTolerance = 6;        // distance to a route's segment
const int c_nRoutePointHitTolerance = 8;   // a route point to drag

// The context menus of the map page, chosen by what the pointer is on.
enum MapContextMenu : unsigned {
  mcmMap = 101,              // nothing of the store under the pointer
  mcmRoute = 206,            // a route under the pointer
  mcmWaypoint = 207,         // a waypoint under the pointer
  mcmEditing = 208,          // a route is being edited
  mcmMovingWaypoint = 209,   // a waypoint is being moved
};

// The route's calculation by the router after its points changed; the
// router installs it. Without one nothing is calculated.
typedef void (*PfnCalculateRoute)(CWaypointStore& store, Route& route);

class CMapEdit {
 public:
  explicit CMapEdit(CWaypointStore* pStore);
  CMapEdit(const CMapEdit&) = delete;
  CMapEdit& operator=(const CMapEdit&) = delete;

  // Forgets everything (the store was cleared or loaded again).
  void Reset();
  void SetCalculateRoute(PfnCalculateRoute pfn) { m_pfnCalculate = pfn; }

  Route* GetEditedRoute() const;
  Waypoint* GetMovingWaypoint() const;
  Waypoint* GetSelectedWaypoint() const;
  Route* GetSelectedRoute() const;
  int GetSelectedPoint() const;  // the hit route point of the selected route, −1 without
  bool IsEditing() const { return GetEditedRoute() != nullptr; }
  bool IsMoving() const { return GetMovingWaypoint() != nullptr; }

  // Hit tests at screen point (x, y). The waypoint whose point is nearest
  // within the waypoint tolerance (hidden and deleted ones are never hit).
  Waypoint* HitWaypoint(const CMapPosition& view, int x, int y) const;
  // The route with the segment nearest within the route tolerance, and in
  // *piPoint the index of that segment's first point (a route of one point:
  // that point).
  Route* HitRoute(const CMapPosition& view, int x, int y, int* piPoint) const;
  // The point of the route nearest within the route point tolerance, −1.
  int HitRoutePoint(const CMapPosition& view, const Route& route, int x, int y) const;

  // The context menu's objects: the waypoint under the pointer (when
  // waypoints are shown), else the route under it (when routes are shown).
  // True when one was found.
  bool SelectAt(const CMapPosition& view, int x, int y, bool fWaypointsShown, bool fRoutesShown);
  void SelectWaypoint(Waypoint* pWaypoint);
  void SelectRoute(Route* pRoute, int iPoint);
  void ClearSelection();
  // The menu for the current selection and state.
  MapContextMenu ChooseContextMenu() const;

  // Menu enabling.
  bool IsLocked(const Route* pRoute) const;         // the active route
  bool IsWaypointLocked(const Waypoint* pWaypoint) const;  // on the active route
  bool CanStartRoute() const;             // "Начать маршрут": no route edited
  bool CanAppend() const;                 // "Добавить к маршруту"
  bool IsWaypointInEditedRoute() const;   // the selected waypoint
  bool CanRemoveFromRoute() const;        // "Удалить из маршрута"
  bool CanMoveWaypoint() const;           // "Переместить"
  bool CanChangeSelectedRoute() const;    // the route menu's items
  bool CanContinueSelectedRoute() const;  // "Продолжить маршрут"
  bool CanMoveHere() const;               // "Переместить точку сюда"

  // The commands. ptMap is the map point under the pointer (map units),
  // dTime the current time (variant time) for new records. Each returns
  // whether the store changed; each forgets the selection.
  bool AppendToRoute(const MapPoint& ptMap, double dTime);  // "Add to route"
  bool RemoveFromRoute();                                   // "Remove from route"
  bool StartRoute(const MapPoint& ptMap, double dTime);     // "Start route"
  bool MoveHere(const MapPoint& ptMap);                     // "Move point here"
  bool InsertPoint(const MapPoint& ptMap, double dTime);    // "Insert point into route"
  bool ReverseSelectedRoute();                              // "Reverse route"
  bool DeleteSelectedRoute();                               // "Delete route"
  bool DeleteSelectedWaypoint();                            // "Delete point"
  // State only (the store is not changed): whether the state changed, so
  // that the caller redraws.
  bool ContinueSelectedRoute();  // "Continue route"
  bool EndEditing();             // "Finish editing"
  bool StartMoving();            // "Move"
  bool CancelMoving();           // "Cancel"

  // Dragging a point of the edited route. BeginDrag starts when the pointer
  // is on one of its points (with the waypoints shown); DragTo follows the
  // pointer; EndDrag stores the point's new place (a point of a waypoint
  // moves the waypoint, and every route through it is recomputed) and
  // returns whether the store changed. CancelDrag drops it.
  bool BeginDrag(const CMapPosition& view, int x, int y, bool fWaypointsShown);
  void DragTo(int x, int y);
  bool EndDrag(const CMapPosition& view, int x, int y);
  void CancelDrag();
  bool IsDragging() const;
  int GetDragPoint() const;
  VPoint GetDragPosition() const { return m_ptDrag; }

 private:
  // Drops whatever the store no longer holds.
  void Sync() const;
  bool IsLive(const Route* pRoute) const;
  void Calculate(Route& route);
  Waypoint* NewRouteWaypoint(const MapPoint& ptMap, double dTime);
  // Moves a waypoint and recomputes every route through it.
  void MoveWaypoint(Waypoint* pWaypoint, int32_t x2, int32_t y2);

  CWaypointStore* m_pStore;
  PfnCalculateRoute m_pfnCalculate;
  mutable uint32_t m_nGeneration;
  mutable Route* m_pEdited;
  mutable Waypoint* m_pMoving;
  mutable Waypoint* m_pSelectedWaypoint;
  mutable Route* m_pSelectedRoute;
  mutable int m_iSelectedPoint;
  mutable int m_iDragPoint;
  VPoint m_ptDrag;
};

// The program's editing model over g_waypointStore.
extern CMapEdit g_mapEdit;

// Overlays of the map page: the route being edited through all its points
// (a solid grey pen, 1 pixel or 2 on high-density displays, and over it a
// dotted white pen of 1 pixel; a dragged point follows the pointer) unless
// it is the route under guidance; the selected and the moving waypoint
// ringed.
void DrawEditedRouteOverlay(platform::CCanvas* pDst, const CMapPosition& view, const CMapEdit& edit);
void DrawSelectionOverlay(platform::CCanvas* pDst, const CMapPosition& view, const CMapEdit& edit);
// The same for g_mapEdit, in the form of MapOverlays.
void DrawEditedRouteOverlay(platform::CCanvas* pDst, const CMapPosition& view);
void DrawSelectionOverlay(platform::CCanvas* pDst, const CMapPosition& view);

const COLORREF c_crEditedRoute = 0x808080;
const COLORREF c_crEditedRouteDots = 0xFFFFFF;
const COLORREF c_crSelectedRing = 0xFF8000;  // blue
const COLORREF c_crMovingRing = 0x0000FF;    // red
